// The mod as the host sees it: exports by name, the mod object's life and the start-up order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <Mod/CppUserModBase.hpp>

#include "support/mod_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        using ::testing::Contains;
        using ::testing::ElementsAre;
        using ::testing::IsEmpty;
        using LifecycleTest = ModTest;
        using RC::Unreal::UObject;

        const std::pair<Library, const RC::CharType*> LibraryFunctions[] = {
            {Library::Core, STR("VEXA_CPP_SendToUE4SSLog")},       {Library::Core, STR("VEXA_CPP_RegisterWorldActor")},
            {Library::Core, STR("VEXA_CPP_DestroyedWorldActor")},  {Library::Core, STR("VEXA_CPP_GetNamesFromDir")},
            {Library::Core, STR("VEXA_CPP_GetFileContents")},      {Library::Core, STR("VEXA_CPP_SaveFile")},
            {Library::Core, STR("VEXA_CPP_DoesFileExist")},        {Library::Anim, STR("VEXA_Anim_CPP_GetResponse")},
            {Library::Proxy, STR("BRMB_CPP_RegisterProxy")},       {Library::Proxy, STR("BRMB_CPP_DestroyedProxy")},
        };
    } // namespace

    TEST_F(LifecycleTest, EveryEntryPointIsExportedUnderItsPlainName)
    {
        for (const char* Name : {"start_mod", "uninstall_mod", "Get_VEXA_CORE", "Get_VEXA_Anim_CORE", "VEXA_FunctionYo",
                                 "VEXA_Anim_FunctionYo"})
        {
            EXPECT_NE(Mod->Symbol(Name), nullptr) << Name;
        }
        // Internals stay hidden: only the entry points leave the library.
        EXPECT_EQ(Mod->Symbol("_ZN4VEXA12CoreInstanceEv"), nullptr);
    }

    TEST_F(LifecycleTest, StartModFillsTheModTexts)
    {
        const RC::CppUserModBase* const Object = Mod->Mod();
        ASSERT_NE(Object, nullptr);
        EXPECT_EQ(ToUtf8(Object->ModName), "Brambleon");
        EXPECT_EQ(ToUtf8(Object->ModVersion), "0.0.5 TEST");
        EXPECT_FALSE(Object->ModDescription.empty());
        EXPECT_FALSE(Object->ModAuthors.empty());
    }

    TEST_F(LifecycleTest, ServicesAreIdleUntilTheEngineIsUp)
    {
        BuildHalf();
        Tick(1.0f);
        EXPECT_EQ(Sim().TickCallbackCount(), 0);
        EXPECT_THAT(Lines(), IsEmpty());

        const VEXA::VEXA_Core& Core = this->Core();
        EXPECT_EQ(ToUtf8(Core.LibraryPath), "/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C");
        EXPECT_EQ(Core.Library, nullptr);
        EXPECT_EQ(Core.SendToUE4SSLogSlot.Function, nullptr);
        EXPECT_EQ(Core.SendToUE4SSLogSlot.Ids, (VEXA::HookIds{0, 0}));
        EXPECT_FALSE(Core.ScanComplete);
        EXPECT_EQ(Core.PollElapsed, 0.0f);
        EXPECT_EQ(Core.PollInterval, 0.1f);
        EXPECT_EQ(Core.TimeoutElapsed, 0.0f);

        const VEXA_Anim::VEXA_Anim_Core& Anim = this->Anim();
        EXPECT_EQ(ToUtf8(Anim.LibraryPath),
                  "/Game/Mods/VEXA_Anim/VEXA_Anim_FunctionLibrary.VEXA_Anim_FunctionLibrary_C");
        EXPECT_EQ(Anim.Library, nullptr);
        EXPECT_EQ(Anim.Core, nullptr);
        EXPECT_FALSE(Anim.ScanComplete);
    }

    TEST_F(LifecycleTest, StartUpLogsItsThreeLinesInOrder)
    {
        Start();
        EXPECT_THAT(Lines(), ElementsAre(Normal("VEXA_Core initialize has been ran."),
                                         Normal("VEXA_Anim_Core initialize has been ran."),
                                         Normal("Brambleon C++ Side Initiated!")));
        EXPECT_EQ(Anim().Core, &Core());
    }

    TEST_F(LifecycleTest, StartUpRegistersTheDiscoveriesInServiceOrder)
    {
        Start();
        using Names = std::pair<RC::StringType, RC::StringType>;
        EXPECT_THAT(Sim().TickCallbackNames(),
                    ElementsAre(Names{STR("VEXA"), STR("VEXA_EngineBPScan")},
                                Names{STR("VEXA_Anim_Core"), STR("VEXA_Anim_EngineBPScan")},
                                Names{STR("BRMB"), STR("BRMB_EngineBPScan")}));
    }

    TEST_F(LifecycleTest, LivenessExportsSendTheirTextAtLevelTwoWithoutNewline)
    {
        struct Case
        {
            const char* Export;
            const char* Text;
        };
        for (const Case& Each : {Case{"VEXA_FunctionYo", "VEXA_FunctionYo Was Called!"},
                                 Case{"VEXA_Anim_FunctionYo", "VEXA_Anim_FunctionYo Was Called!"}})
        {
            ClearLog();
            this->Export<void()>(Each.Export)();
            EXPECT_THAT(Lines(), ElementsAre(Line{Each.Text, 2, false})) << Each.Export;
        }
    }

    TEST_F(LifecycleTest, UninstallOfNullDoesNothing)
    {
        this->Export<void(RC::CppUserModBase*)>("uninstall_mod")(nullptr);
        // The real mod object is untouched and still starts.
        EXPECT_EQ(ToUtf8(Mod->Mod()->ModName), "Brambleon");
        EXPECT_THAT(Lines(), IsEmpty());
        StartAndDiscover();
        SendToUE4SSLog(STR("still here"));
        EXPECT_EQ(Texts().back(), "still here");
    }

    TEST_F(LifecycleTest, AccessorsGiveTheSameServicesThroughoutTheModsLife)
    {
        VEXA::VEXA_Core* const CoreBefore = &Core();
        VEXA_Anim::VEXA_Anim_Core* const AnimBefore = &Anim();
        ASSERT_NE(CoreBefore, nullptr);
        ASSERT_NE(AnimBefore, nullptr);
        EXPECT_NE(static_cast<void*>(CoreBefore), static_cast<void*>(AnimBefore));

        StartAndDiscover();
        EXPECT_EQ(&Core(), CoreBefore);
        EXPECT_EQ(&Anim(), AnimBefore);

        Mod->Uninstall();
        EXPECT_EQ(&Core(), CoreBefore);
        EXPECT_EQ(&Anim(), AnimBefore);
        // The services go back to their constructed state with the mod object that started them.
        EXPECT_FALSE(CoreBefore->ScanComplete);
        EXPECT_EQ(CoreBefore->Library, nullptr);
        EXPECT_FALSE(AnimBefore->ScanComplete);
        EXPECT_EQ(AnimBefore->Core, nullptr);
    }

    TEST_F(LifecycleTest, UninstallTakesEveryHookAndCallbackWithIt)
    {
        Blueprint.Hidden = {Library::Proxy};
        Start();
        // Hooked and done, but the proxy's scan still runs.
        ASSERT_TRUE(TickUntil([this] { return Core().ScanComplete && Anim().ScanComplete; }, 50));
        // Uninstall itself fails the test if anything is left registered.
        Mod->Uninstall();
        ClearLog();
        SendToUE4SSLog(STR("after uninstall"));
        EXPECT_EQ(CallWithText(Library::Anim, STR("VEXA_Anim_CPP_GetResponse"), BlueprintHalf::Param::Request,
                               STR("ping")),
                  STR("ping"));
        Tick(1.0f);
        EXPECT_THAT(Lines(), IsEmpty());
    }

    // Ctrl+R during discovery, after it, and several times in a row: each ends as a first start,
    // with every library function hooked exactly once and the world actor to register again.
    TEST_F(LifecycleTest, ReinstallEndsAsAFirstStart)
    {
        struct Case
        {
            const char* Name;
            bool DiscoverFirst;
            int Reinstalls;
        };
        for (const Case& Each : {Case{"during discovery", false, 1}, Case{"after discovery", true, 1},
                                 Case{"three in a row", true, 3}})
        {
            SCOPED_TRACE(Each.Name);
            TearDown();
            Half.reset();
            SetUp();
            Start();
            Tick(0.1f);
            UObject* const Actor = Sim().SpawnObject(Half->WorldActorClass);
            if (Each.DiscoverFirst)
            {
                ASSERT_TRUE(TickUntilDiscovered());
                const auto Block = Params(Library::Core, STR("VEXA_CPP_RegisterWorldActor"));
                Block->SetObject(BlueprintHalf::Param::Actor, Actor);
                CallLibrary(Library::Core, *Block);
                ASSERT_EQ(Core().WorldActor, Actor);
            }
            for (int Round = 0; Round < Each.Reinstalls; ++Round)
            {
                ClearLog();
                ASSERT_NO_THROW(Mod->Reinstall());
                EXPECT_THAT(Texts(), ElementsAre("VEXA_Core initialize has been ran.",
                                                 "VEXA_Anim_Core initialize has been ran.",
                                                 "Brambleon C++ Side Initiated!"));
                EXPECT_EQ(Core().WorldActor, nullptr);
                EXPECT_EQ(Sim().HookCount(BlueprintHalf::Half::Function(Half->WorldActorClass, STR("VEXA_CPP_FindFirstOf"))), 0);
            }
            ASSERT_TRUE(TickUntilDiscovered());
            EXPECT_THAT(Texts(), Contains("VEXA_Core : BP components returned valid! Scan complete!"));
            for (const auto& [Which, Name] : LibraryFunctions)
            {
                EXPECT_EQ(Sim().HookCount(LibraryFunction(Which, Name)), 1) << ToUtf8(Name);
            }
            const auto Block = Params(Library::Core, STR("VEXA_CPP_RegisterWorldActor"));
            Block->SetObject(BlueprintHalf::Param::Actor, Actor);
            CallLibrary(Library::Core, *Block);
            EXPECT_EQ(Core().WorldActor, Actor);
            EXPECT_EQ(Sim().HookCount(BlueprintHalf::Half::Function(Half->WorldActorClass, STR("VEXA_CPP_FindFirstOf"))), 1);
        }
    }
} // namespace BrambleonTest
