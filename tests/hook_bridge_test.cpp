// The registration helper behind every library hook, and the exception boundary that every hook
// and tick callback runs inside, driven through the stand-in host.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bridge/hook_bridge.hpp"
#include "bridge/param_view.hpp"
#include "core/contract.hpp"
#include "discovery/discovery.hpp"
#include "discovery/library_watch.hpp"
#include "support/mod_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        using ::testing::Contains;
        using ::testing::ElementsAre;
        using ::testing::HasSubstr;
        using ::testing::Not;

        constexpr auto TestLibraryPath = STR("/Game/Tests/TestLibrary.TestLibrary_C");

        int HandlerCalls = 0;

        auto CountingHandler(BRMB::Bridge::HookContext& Context) -> void
        {
            ++HandlerCalls;
            BRMB::Bridge::ParamView(Context).SetWideAt(0, STR("handled"));
        }

        auto ThrowingHandler(BRMB::Bridge::HookContext& Context) -> void
        {
            BRMB::Bridge::ParamView(Context).SetWideAt(0, STR("written before"));
            throw std::runtime_error("handler broke");
        }

        // Names from the contract table, whose one String at 0 the test library declares too.
        constexpr auto Counted = STR("VEXA_CPP_SendToUE4SSLog");
        constexpr auto Thrower = STR("VEXA_CPP_DoesFileExist");
        constexpr BRMB::Bridge::HookedFunction CountingHook =
            BRMB::Contract::Hook(STR("TEST"), Counted, &CountingHandler);
        constexpr BRMB::Bridge::HookedFunction ThrowingHook =
            BRMB::Contract::Hook(STR("TEST"), Thrower, &ThrowingHandler);


        class HookBridgeTest : public ModTest
        {
        protected:
            void SetUp() override
            {
                ModTest::SetUp();
                HandlerCalls = 0;
                Library = Sim().CreateClass(TestLibraryPath);
                for (const RC::CharType* Name : {Counted, Thrower})
                {
                    Sim().AddFunction(Library, Name, {RC::Sim::Prop(STR("Text"), RC::Sim::Kind::Str, 0)});
                }
            }

            // The hooks and callbacks these tests install through the bridge are their own, not the mod's.
            void TearDown() override
            {
                BRMB::Bridge::RemoveRecordedHooks();
                BRMB::Discovery::UnregisterTicks();
                BRMB::Discovery::StopWatching();
                ModTest::TearDown();
            }

            auto CallTest(RC::StringViewType Name, RC::StringViewType Text) -> RC::StringType
            {
                auto* const Function = BlueprintHalf::Half::Function(Library, Name);
                ParamBlock Block(Function);
                Block.SetString(STR("Text"), Text);
                Call(Library, Block);
                return Block.GetString(STR("Text"));
            }

            // A device that throws on the next line, then hands later lines to the capture.
            auto ThrowOnNextLine() -> std::unique_ptr<ScopedLogDevices>
            {
                std::vector<std::unique_ptr<RC::Output::OutputDevice>> Devices;
                Devices.push_back(std::make_unique<ThrowOnFirstLine>(Capture(), "forced"));
                return std::make_unique<ScopedLogDevices>(std::move(Devices));
            }

            RC::Unreal::UClass* Library = nullptr;
        };
    } // namespace

    TEST_F(HookBridgeTest, LooksUpUntilFoundThenHooksOnce)
    {
        VEXA::HookSlot Slot;
        Sim().SetLoaded(BlueprintHalf::Half::Function(Library, Counted), false);
        const int LookupsBefore = Sim().FindObjectCalls();
        EXPECT_FALSE(BRMB::Discovery::RegisterLibraryHook<CountingHook>(Slot, TestLibraryPath));
        EXPECT_FALSE(BRMB::Discovery::RegisterLibraryHook<CountingHook>(Slot, TestLibraryPath));
        EXPECT_EQ(Slot.Function, nullptr);
        EXPECT_EQ(Slot.Ids, (VEXA::HookIds{0, 0}));
        // Functions come from the library's class, never from a search of the object array.
        EXPECT_EQ(Sim().FindObjectCalls(), LookupsBefore);

        Sim().SetLoaded(BlueprintHalf::Half::Function(Library, Counted), true);
        EXPECT_TRUE(BRMB::Discovery::RegisterLibraryHook<CountingHook>(Slot, TestLibraryPath));
        ASSERT_EQ(Slot.Function, BlueprintHalf::Half::Function(Library, Counted));
        EXPECT_NE(Slot.Ids, (VEXA::HookIds{0, 0}));
        EXPECT_EQ(Sim().RegisterHookCalls(Slot.Function), 1);

        // Known now: no further lookup, no second hook.
        const int LookupsAfter = Sim().FindObjectCalls();
        EXPECT_TRUE(BRMB::Discovery::RegisterLibraryHook<CountingHook>(Slot, TestLibraryPath));
        EXPECT_EQ(Sim().FindObjectCalls(), LookupsAfter);
        EXPECT_EQ(Sim().RegisterHookCalls(Slot.Function), 1);
        EXPECT_EQ(Sim().HookCount(Slot.Function), 1);

        EXPECT_EQ(CallTest(Counted, STR("in")), STR("handled"));
        EXPECT_EQ(HandlerCalls, 1);
    }

    // A hook or callback that outlives uninstall_mod would run unloaded code in the real host:
    // the stand-in names it. Here the test, not the mod, "forgets" one.
    TEST_F(HookBridgeTest, AHookOrCallbackLeftAtUninstallIsNamed)
    {
        struct Case
        {
            const char* Left;
            std::function<void()> Register;
        };
        const Case Cases[] = {
            {"Blueprint hook on Function /Game/Tests/TestLibrary.TestLibrary_C:VEXA_CPP_SendToUE4SSLog (ids",
             [] {
                 VEXA::HookSlot Slot;
                 BRMB::Discovery::RegisterLibraryHook<CountingHook>(Slot, TestLibraryPath);
             }},
            {"engine-tick callback TEST/TEST_Forgotten",
             [] {
                 BRMB::Discovery::RegisterTick(STR("TEST"), STR("TEST_Forgotten"),
                                               [](RC::Unreal::Hook::TCallbackIterationData<void>&,
                                                  RC::Unreal::UEngine*, float, bool) {});
             }},
        };
        for (const Case& Each : Cases)
        {
            TearDown();
            SetUp();
            Each.Register();
            try
            {
                Mod->Uninstall();
                ADD_FAILURE() << "not caught: " << Each.Left;
            }
            catch (const std::runtime_error& Error)
            {
                EXPECT_THAT(Error.what(), HasSubstr(Each.Left));
            }
            // Dropped with the report: the engine never runs it again.
            EXPECT_EQ(Sim().TickCallbackCount(), 0);
            EXPECT_EQ(Sim().HookCount(BlueprintHalf::Half::Function(Library, Counted)), 0);
        }
    }

    TEST_F(HookBridgeTest, ARefusedHookIsNotRetried)
    {
        Sim().GetFaults().FailRegisterHookFor = {Counted};
        VEXA::HookSlot Slot;
        EXPECT_TRUE(BRMB::Discovery::RegisterLibraryHook<CountingHook>(Slot, TestLibraryPath));
        EXPECT_EQ(Slot.Ids, (VEXA::HookIds{0, 0}));
        Sim().GetFaults().FailRegisterHookFor.clear();
        EXPECT_TRUE(BRMB::Discovery::RegisterLibraryHook<CountingHook>(Slot, TestLibraryPath));
        EXPECT_EQ(Sim().RegisterHookCalls(Slot.Function), 1);
        EXPECT_EQ(CallTest(Counted, STR("in")), STR("in"));
        EXPECT_EQ(HandlerCalls, 0);
    }

    TEST_F(HookBridgeTest, AThrowingHandlerIsReportedAndKeepsWhatItHadWritten)
    {
        VEXA::HookSlot Slot;
        ASSERT_TRUE(BRMB::Discovery::RegisterLibraryHook<ThrowingHook>(Slot, TestLibraryPath));
        EXPECT_EQ(CallTest(Thrower, STR("in")), STR("written before"));
        EXPECT_THAT(Lines(), ElementsAre(Normal("TEST : VEXA_CPP_DoesFileExist failed : handler broke")));
        EXPECT_EQ(Sim().EscapedExceptions(), 0);
    }

    TEST_F(HookBridgeTest, AFailureInsideTheLogHookIsReportedAndTheGameGoesOn)
    {
        int BodyCalls = 0;
        Blueprint.Bodies[STR("VEXA_CPP_SendToUE4SSLog")] = [&](RC::Unreal::UObject*, uint8_t*) { ++BodyCalls; };
        StartAndDiscover();
        ClearLog();
        {
            const auto Scope = ThrowOnNextLine();
            SendToUE4SSLog(STR("lost"));
        }
        EXPECT_THAT(Lines(), ElementsAre(Normal("VEXA : VEXA_CPP_SendToUE4SSLog failed : forced")));
        EXPECT_EQ(BodyCalls, 1);
        EXPECT_EQ(Sim().EscapedExceptions(), 0);

        SendToUE4SSLog(STR("next"));
        Tick(0.1f);
        EXPECT_EQ(Texts().back(), "next");
        EXPECT_EQ(BodyCalls, 2);
    }

    TEST_F(HookBridgeTest, AFailureInsideTheAnimationHookLeavesTheRequestInPlace)
    {
        StartAndDiscover();
        ClearLog();
        RC::StringType Answer;
        {
            const auto Scope = ThrowOnNextLine();
            Answer = CallWithText(Library::Anim, STR("VEXA_Anim_CPP_GetResponse"), BlueprintHalf::Param::Request,
                                  STR("request"));
        }
        EXPECT_EQ(Answer, STR("request"));
        EXPECT_THAT(Lines(), ElementsAre(Normal("VEXA_Anim : VEXA_Anim_CPP_GetResponse failed : forced")));
        EXPECT_EQ(Sim().EscapedExceptions(), 0);
    }

    TEST_F(HookBridgeTest, AFailureInsideATickCallbackIsReportedAndTheScanFinishesLater)
    {
        Start();
        for (int Pass = 1; Pass <= 8; ++Pass)
        {
            Tick(0.1f); // the animation and proxy scans finish on the second tick
        }
        ClearLog();
        {
            const auto Scope = ThrowOnNextLine();
            Tick(0.1f); // the core's completion line is the one that fails
        }
        EXPECT_THAT(Lines(), ElementsAre(Normal("VEXA : VEXA_EngineBPScan failed : forced")));
        EXPECT_EQ(Sim().TickCallbackCount(), 1);

        Tick(0.1f);
        EXPECT_THAT(Texts(), Contains("VEXA_Core : BP components returned valid! Scan complete!"));
        EXPECT_EQ(Sim().TickCallbackCount(), 0);
    }

    TEST_F(HookBridgeTest, AFailureInsideTheAnimationScanNamesThatScan)
    {
        Blueprint.Omit = {Library::Core, Library::Proxy};
        Start();
        Tick(0.1f);
        ClearLog();
        {
            const auto Scope = ThrowOnNextLine();
            Tick(0.1f);
        }
        // The animation scan runs before the proxy's, so its completion line is the one that fails.
        ASSERT_FALSE(Lines().empty());
        EXPECT_EQ(Lines().front(), Normal("VEXA_Anim : VEXA_Anim_EngineBPScan failed : forced"));
        EXPECT_THAT(Texts(), Not(Contains("VEXA_Anim : BP Components Valid!")));
        Tick(0.2f);
        EXPECT_THAT(Texts(), Contains("VEXA_Anim : BP Components Valid!"));
        EXPECT_EQ(Sim().EscapedExceptions(), 0);
    }
} // namespace BrambleonTest
