// The content proxy's discovery and its registry of one proxy object, driven through engine
// ticks and Blueprint calls of the simulated host.
#include <algorithm>
#include <map>
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
    constexpr auto RegisterNull = "BRMB : Register Proxy : Passed Proxy is Null";
    constexpr auto DestroyNull = "BRMB : Destroyed Proxy : Passed Proxy is Null";

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
                std::vector<RC::Sim::PropDecl> Params{Prop(BlueprintHalf::Param::DataTable, Kind::Object, 0),
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

    // One registry call: register or destroy with one of the test's objects.
    struct Step
    {
        bool Register;
        char Object; // 'P', 'Q': the Blueprint half's proxy class; 'B': lacks both functions;
                     // 'N': lacks TestDT; 'T': lacks the add; '0': null
    };
    constexpr Step Reg(char Object) { return {true, Object}; }
    constexpr Step Des(char Object) { return {false, Object}; }

    struct RegistryCase
    {
        const char* Name;
        std::vector<Step> Steps;
        std::vector<std::string> LastLines; // what the last step logs, in order
        std::pair<int, int> Hooked;         // hook registrations of the add and of TestDT, all classes

        friend auto PrintTo(const RegistryCase& Shown, std::ostream* Out) -> void { *Out << Shown.Name; }
    };

    class ProxyStateTest : public ProxyRegistryTest, public ::testing::WithParamInterface<RegistryCase>
    {
    };

    TEST_P(ProxyStateTest, LastStepLogsAndHooksAsExpected)
    {
        const std::map<char, UClass*> Classes{
            {'P', Half->ProxyClass},
            {'B', ClassWith({}, STR("/Game/Mods/Brambleon/BRMB_Bare.BRMB_Bare_C"))},
            {'N', ClassWith({STR("BRMB_CPP_AddObjectSelectionSetID")},
                            STR("/Game/Mods/Brambleon/BRMB_NoTestDT.BRMB_NoTestDT_C"))},
            {'T', ClassWith({STR("BRMB_CPP_TestDT")}, STR("/Game/Mods/Brambleon/BRMB_NoAdd.BRMB_NoAdd_C"))},
        };
        std::map<char, UObject*> Objects{{'Q', Sim().SpawnObject(Half->ProxyClass)}, {'0', nullptr}};
        for (const auto& [Key, Class] : Classes)
        {
            Objects[Key] = Sim().SpawnObject(Class);
        }

        for (const Step& Each : GetParam().Steps)
        {
            ClearLog();
            UObject* const Object = Objects.at(Each.Object);
            EXPECT_EQ(Each.Register ? Register(Object) : Destroy(Object), nullptr);
        }

        std::vector<Line> Expected;
        for (const std::string& Text : GetParam().LastLines)
        {
            Expected.push_back(Normal(Text));
        }
        EXPECT_EQ(Lines(), Expected);
        std::pair<int, int> Hooked{0, 0};
        for (const auto& [Key, Class] : Classes)
        {
            Hooked.first += HookedBoth(Class).first;
            Hooked.second += HookedBoth(Class).second;
        }
        EXPECT_EQ(Hooked, GetParam().Hooked);
    }

    INSTANTIATE_TEST_SUITE_P(
        Registry, ProxyStateTest,
        ::testing::Values(
            RegistryCase{"FirstRegistration", {Reg('P')}, {RegisterLine, FoundLine}, {1, 1}},
            RegistryCase{"RepeatLooksNothingUp", {Reg('N'), Reg('N')}, {RegisterLine, FoundLine}, {1, 0}},
            RegistryCase{"SecondProxyOfTheSameClass", {Reg('P'), Reg('Q')}, {RegisterLine, FoundLine}, {1, 1}},
            RegistryCase{"LackingBoth", {Reg('B')}, {RegisterLine, AddMissing, TestDTMissing, FoundLine}, {0, 0}},
            RegistryCase{"NextObjectAfterOneLackingBoth", {Reg('B'), Reg('P')}, {RegisterLine, FoundLine}, {1, 1}},
            RegistryCase{"LackingTheAdd", {Reg('T')}, {RegisterLine, AddMissing, FoundLine}, {0, 1}},
            RegistryCase{"OnlyTheAddLookedUpNext", {Reg('T'), Reg('P')}, {RegisterLine, FoundLine}, {1, 1}},
            RegistryCase{"DestroyWithAnotherObject", {Reg('N'), Des('P')}, {}, {1, 0}},
            RegistryCase{"NoRepeatAfterDestroy",
                         {Reg('N'), Des('P'), Reg('N')},
                         {RegisterLine, TestDTMissing, FoundLine},
                         {1, 0}},
            RegistryCase{"DestroyWithoutAProxy", {Des('P')}, {}, {0, 0}},
            RegistryCase{"ReRegisterAfterDestroy", {Reg('P'), Des('P'), Reg('P')}, {RegisterLine, FoundLine}, {1, 1}},
            RegistryCase{"RegisterNull", {Reg('N'), Reg('0')}, {RegisterNull}, {1, 0}},
            RegistryCase{"DestroyNull", {Reg('N'), Des('0')}, {DestroyNull}, {1, 0}},
            RegistryCase{"StillRegisteredAfterNulls",
                         {Reg('N'), Reg('0'), Des('0'), Reg('N')},
                         {RegisterLine, FoundLine},
                         {1, 0}}),
        [](const ::testing::TestParamInfo<RegistryCase>& Info) { return std::string(Info.param.Name); });

    TEST_F(ProxyRegistryTest, RefusedHookIsReportedAndIsTriedAgainOnTheNextObject)
    {
        Sim().GetFaults().FailRegisterHookFor = {STR("BRMB_CPP_TestDT")};
        Register(Sim().SpawnObject(Half->ProxyClass));
        Sim().GetFaults().FailRegisterHookFor.clear();
        EXPECT_EQ(Texts(), (std::vector<std::string>{
                               RegisterLine, "BRMB : BRMB_CPP_TestDT hook failed : the host answered no ids", FoundLine}));

        // (0, 0) from the host leaves the function unhooked, so a different object tries again.
        Register(Sim().SpawnObject(Half->ProxyClass));
        EXPECT_EQ(Hooked(Half->ProxyClass, STR("BRMB_CPP_TestDT")), 2);
        EXPECT_EQ(Sim().HookCount(BlueprintHalf::Half::Function(Half->ProxyClass, STR("BRMB_CPP_TestDT"))), 1);
    }
} // namespace
