// The content proxy's discovery and its registry of one proxy object, driven through engine
// ticks and Blueprint calls of the simulated host.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/mod_fixture.hpp"

namespace
{
    using namespace BrambleonTest;
    using RC::Sim::Kind;
    using RC::Sim::Prop;
    using RC::Unreal::UClass;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;

    constexpr auto NotYet = "Brambleon C++ Tools not yet initiated";
    constexpr auto Initiated = "Brambleon C++ Tools initiated!";
    constexpr auto RegisterLine = "BRMB : Register Proxy";
    constexpr auto FoundLine = "BRMB : Register Proxy : Proxy Found?";
    constexpr auto AddMissing = "BRMB : Hook : BRMB_CPP_AddObjectSelectionSetID : Function is nullptr";
    constexpr auto TestDTMissing = "BRMB : Hook : BRMB_CPP_TestDT : Function is nullptr";

    class ProxyDiscoveryTest : public ModTest
    {
    protected:
        // The proxy's own discovery lines, in order; the other services' lines are left out.
        [[nodiscard]] auto ProxyScanLines() const -> std::vector<std::string>
        {
            std::vector<std::string> Result;
            for (const std::string& Text : Texts())
            {
                if (Text == NotYet || Text == Initiated)
                {
                    Result.push_back(Text);
                }
            }
            return Result;
        }

        [[nodiscard]] auto ScanRegistered() const -> bool
        {
            const auto Names = Sim().TickCallbackNames();
            return std::ranges::any_of(Names, [](const auto& Entry) {
                return Entry.first == RC::StringType(STR("BRMB")) && Entry.second == STR("BRMB_EngineBPScan");
            });
        }

        auto Passes(int Count) -> void
        {
            for (int Pass = 0; Pass < Count; ++Pass)
            {
                Tick(0.2f);
            }
        }
    };

    TEST_F(ProxyDiscoveryTest, MissingLibraryLogsOnEveryPassAndKeepsPolling)
    {
        Blueprint.Omit = {Library::Proxy};
        Start();
        Passes(5);
        EXPECT_EQ(ProxyScanLines(), std::vector<std::string>(5, NotYet));
        EXPECT_TRUE(ScanRegistered());
    }

    TEST_F(ProxyDiscoveryTest, MissingDestroyedProxyHooksRegisterProxyOnceAndKeepsPolling)
    {
        Blueprint.OmitFunctions = {STR("BRMB_CPP_DestroyedProxy")};
        Start();
        Passes(4);
        EXPECT_EQ(ProxyScanLines(), std::vector<std::string>(4, NotYet));
        EXPECT_TRUE(ScanRegistered());
        UFunction* const Register = LibraryFunction(Library::Proxy, STR("BRMB_CPP_RegisterProxy"));
        EXPECT_EQ(Sim().RegisterHookCalls(Register), 1);

        // Registrations already work while the scan goes on.
        ClearLog();
        const auto Block = Params(Library::Proxy, STR("BRMB_CPP_RegisterProxy"));
        Block->SetObject(BlueprintHalf::Param::Proxy, Sim().SpawnObject(Half->ProxyClass));
        CallLibrary(Library::Proxy, *Block);
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, FoundLine}));
    }

    TEST_F(ProxyDiscoveryTest, CompletesOnTheFirstPassThatFindsTheLibrary)
    {
        Start();
        Passes(1);
        EXPECT_EQ(ProxyScanLines(), std::vector<std::string>{Initiated});
        EXPECT_FALSE(ScanRegistered());
        for (const auto* Name : {STR("BRMB_CPP_RegisterProxy"), STR("BRMB_CPP_DestroyedProxy")})
        {
            EXPECT_EQ(Sim().HookCount(LibraryFunction(Library::Proxy, Name)), 1);
        }
        Passes(3);
        EXPECT_EQ(ProxyScanLines(), std::vector<std::string>{Initiated});
    }

    TEST_F(ProxyDiscoveryTest, LibraryLoadedLaterCompletesOnTheNextPass)
    {
        Blueprint.Hidden = {Library::Proxy};
        Start();
        Passes(3);
        Half->Show(Sim(), Library::Proxy);
        Passes(2);
        EXPECT_EQ(ProxyScanLines(), (std::vector<std::string>{NotYet, NotYet, NotYet, Initiated}));
    }

    TEST_F(ProxyDiscoveryTest, PassesOnlyOnceTwoTenthsOfASecondHaveGathered)
    {
        Blueprint.Omit = {Library::Proxy};
        Start();
        Tick(0.1f);
        EXPECT_TRUE(ProxyScanLines().empty());
        Tick(0.1f);
        EXPECT_EQ(ProxyScanLines().size(), 1U);
        Tick(0.19f);
        EXPECT_EQ(ProxyScanLines().size(), 1U);
    }

    TEST_F(ProxyDiscoveryTest, CallBeforeDiscoveryReachesOnlyTheBody)
    {
        Start();
        ClearLog();
        UObject* const Proxy = Sim().SpawnObject(Half->ProxyClass);
        const auto Block = Params(Library::Proxy, STR("BRMB_CPP_RegisterProxy"));
        Block->SetObject(BlueprintHalf::Param::Proxy, Proxy);
        CallLibrary(Library::Proxy, *Block);
        EXPECT_EQ(Block->GetObject(BlueprintHalf::Param::Proxy), Proxy);
        EXPECT_TRUE(Texts().empty());
    }

    // The registry, after discovery, with the proxy class of the Blueprint half and, where a case
    // needs one, further proxy classes that lack functions.
    class ProxyRegistryTest : public ModTest
    {
    protected:
        void SetUp() override
        {
            ModTest::SetUp();
            StartAndDiscover();
            ClearLog();
        }

        // A proxy class declaring only the named functions, with the proxy class's parameters.
        auto ClassWith(const std::vector<RC::StringType>& Functions, RC::StringViewType Path) -> UClass*
        {
            UClass* const Class = Sim().CreateClass(Path);
            for (const RC::StringType& Name : Functions)
            {
                std::vector<RC::Sim::PropSpec> Params{Prop(BlueprintHalf::Param::DataTable, Kind::Object, 0),
                                                      Prop(BlueprintHalf::Param::RowName, Kind::Name, 8)};
                const bool IsTestDT = Name == STR("BRMB_CPP_TestDT");
                if (IsTestDT)
                {
                    Params.push_back(Prop(BlueprintHalf::Param::Ignored, Kind::Int64, 16));
                }
                Params.push_back(Prop(BlueprintHalf::Param::EntryID, Kind::Int64, IsTestDT ? 24 : 16));
                Sim().AddFunction(Class, Name, Params);
            }
            return Class;
        }
        auto BareClass() -> UClass* { return ClassWith({}, STR("/Game/Mods/Brambleon/BRMB_Bare.BRMB_Bare_C")); }
        auto NoTestDTClass() -> UClass*
        {
            return ClassWith({STR("BRMB_CPP_AddObjectSelectionSetID")},
                             STR("/Game/Mods/Brambleon/BRMB_NoTestDT.BRMB_NoTestDT_C"));
        }

        // Calls the library function with Object and returns what the call left at offset 0.
        auto CallWith(const RC::CharType* Function, UObject* Object) -> UObject*
        {
            const auto Block = Params(Library::Proxy, Function);
            Block->SetObject(BlueprintHalf::Param::Proxy, Object);
            CallLibrary(Library::Proxy, *Block);
            return Block->GetObject(BlueprintHalf::Param::Proxy);
        }
        auto Register(UObject* Object) -> UObject* { return CallWith(STR("BRMB_CPP_RegisterProxy"), Object); }
        auto Destroy(UObject* Object) -> UObject* { return CallWith(STR("BRMB_CPP_DestroyedProxy"), Object); }

        [[nodiscard]] auto Hooked(const UClass* Class, RC::StringViewType Name) const -> int
        {
            UFunction* const Function = BlueprintHalf::Half::Function(Class, Name);
            return Function == nullptr ? 0 : Sim().RegisterHookCalls(Function);
        }
        [[nodiscard]] auto HookedBoth(const UClass* Class) const -> std::pair<int, int>
        {
            return {Hooked(Class, STR("BRMB_CPP_AddObjectSelectionSetID")), Hooked(Class, STR("BRMB_CPP_TestDT"))};
        }
    };

    TEST_F(ProxyRegistryTest, FirstRegistrationHooksBothFunctionsAndNullsTheArgument)
    {
        EXPECT_EQ(Register(Sim().SpawnObject(Half->ProxyClass)), nullptr);
        EXPECT_EQ(Lines(), (std::vector<Line>{Normal(RegisterLine), Normal(FoundLine)}));
        EXPECT_EQ(HookedBoth(Half->ProxyClass), std::make_pair(1, 1));
    }

    TEST_F(ProxyRegistryTest, RepeatRegistrationLooksNothingUp)
    {
        UObject* const Proxy = Sim().SpawnObject(NoTestDTClass());
        Register(Proxy);
        ASSERT_EQ(Texts(), (std::vector<std::string>{RegisterLine, TestDTMissing, FoundLine}));
        ClearLog();

        EXPECT_EQ(Register(Proxy), nullptr);
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, FoundLine}));
    }

    TEST_F(ProxyRegistryTest, SecondProxyOfTheSameClassInstallsNoFurtherHook)
    {
        Register(Sim().SpawnObject(Half->ProxyClass));
        ClearLog();
        EXPECT_EQ(Register(Sim().SpawnObject(Half->ProxyClass)), nullptr);
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, FoundLine}));
        EXPECT_EQ(HookedBoth(Half->ProxyClass), std::make_pair(1, 1));
    }

    TEST_F(ProxyRegistryTest, ProxyLackingBothIsRegisteredAndTheNextObjectIsLookedUpAgain)
    {
        UClass* const Bare = BareClass();
        EXPECT_EQ(Register(Sim().SpawnObject(Bare)), nullptr);
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, AddMissing, TestDTMissing, FoundLine}));
        EXPECT_EQ(HookedBoth(Half->ProxyClass), std::make_pair(0, 0));

        ClearLog();
        Register(Sim().SpawnObject(Half->ProxyClass));
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, FoundLine}));
        EXPECT_EQ(HookedBoth(Half->ProxyClass), std::make_pair(1, 1));
    }

    TEST_F(ProxyRegistryTest, ProxyLackingOnlyTheAddStillHooksTestDT)
    {
        UClass* const OnlyTestDT =
            ClassWith({STR("BRMB_CPP_TestDT")}, STR("/Game/Mods/Brambleon/BRMB_OnlyTestDT.BRMB_OnlyTestDT_C"));
        Register(Sim().SpawnObject(OnlyTestDT));
        EXPECT_EQ(Lines(), (std::vector<Line>{Normal(RegisterLine), Normal(AddMissing), Normal(FoundLine)}));
        EXPECT_EQ(Hooked(OnlyTestDT, STR("BRMB_CPP_TestDT")), 1);

        // Only the add is still looked up on the next object.
        ClearLog();
        Register(Sim().SpawnObject(Half->ProxyClass));
        EXPECT_EQ(HookedBoth(Half->ProxyClass), std::make_pair(1, 0));
    }

    TEST_F(ProxyRegistryTest, DestroyWithAnotherObjectEndsTheRegistration)
    {
        UObject* const Proxy = Sim().SpawnObject(NoTestDTClass());
        Register(Proxy);
        ClearLog();

        EXPECT_EQ(Destroy(Sim().SpawnObject(Half->ProxyClass)), nullptr);
        EXPECT_TRUE(Texts().empty());

        // No longer a repeat: the adoption runs again and looks the missing function up.
        Register(Proxy);
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, TestDTMissing, FoundLine}));
    }

    TEST_F(ProxyRegistryTest, DestroyWithoutAProxyOnlyNullsTheArgument)
    {
        EXPECT_EQ(Destroy(Sim().SpawnObject(Half->ProxyClass)), nullptr);
        EXPECT_TRUE(Texts().empty());
    }

    TEST_F(ProxyRegistryTest, ReRegisterAfterDestroyHooksNothingTwice)
    {
        UObject* const Proxy = Sim().SpawnObject(Half->ProxyClass);
        Register(Proxy);
        Destroy(Proxy);
        ClearLog();
        EXPECT_EQ(Register(Proxy), nullptr);
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, FoundLine}));
        EXPECT_EQ(HookedBoth(Half->ProxyClass), std::make_pair(1, 1));
    }

    TEST_F(ProxyRegistryTest, NullArgumentsLogTheirLineAndChangeNothing)
    {
        UObject* const Proxy = Sim().SpawnObject(NoTestDTClass());
        Register(Proxy);
        ClearLog();

        EXPECT_EQ(Register(nullptr), nullptr);
        EXPECT_EQ(Destroy(nullptr), nullptr);
        EXPECT_EQ(Lines(), (std::vector<Line>{Normal("BRMB : Register Proxy : Passed Proxy is Null"),
                                              Normal("BRMB : Destroyed Proxy : Passed Proxy is Null")}));

        // Still registered: registering it again is a repeat without lookups.
        ClearLog();
        Register(Proxy);
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, FoundLine}));
    }

    TEST_F(ProxyRegistryTest, RefusedHookIsNotReportedAndIsTriedAgainOnTheNextObject)
    {
        Sim().GetFaults().FailRegisterHookFor = {STR("BRMB_CPP_TestDT")};
        Register(Sim().SpawnObject(Half->ProxyClass));
        Sim().GetFaults().FailRegisterHookFor.clear();
        EXPECT_EQ(Texts(), (std::vector<std::string>{RegisterLine, FoundLine}));

        // (0, 0) from the host leaves the function unhooked, so a different object tries again.
        Register(Sim().SpawnObject(Half->ProxyClass));
        EXPECT_EQ(Hooked(Half->ProxyClass, STR("BRMB_CPP_TestDT")), 2);
        EXPECT_EQ(Sim().HookCount(BlueprintHalf::Half::Function(Half->ProxyClass, STR("BRMB_CPP_TestDT"))), 1);
    }
} // namespace
