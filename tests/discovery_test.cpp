// Engine-tick discovery of the core library: pass by pass, its time-out, and a missing part.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/mod_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        using ::testing::Contains;
        using ::testing::Not;

        const std::string Completion = "VEXA_Core : BP components returned valid! Scan complete!";
        const std::string TimeOut = "VEXA_Core:InitTimeOut:BP Components could not all be found or registered! Please "
                                    "ensure the BP side of the mod is installed properly!";

        // The discovery order, with the slot each function lands in.
        struct Step
        {
            const RC::CharType* Function;
            VEXA::HookSlot VEXA::VEXA_Core::*Slot;
        };
        const std::vector<Step> Order = {
            {STR("VEXA_CPP_SendToUE4SSLog"), &VEXA::VEXA_Core::SendToUE4SSLogSlot},
            {STR("VEXA_CPP_RegisterWorldActor"), &VEXA::VEXA_Core::RegisterWorldActorSlot},
            {STR("VEXA_CPP_DestroyedWorldActor"), &VEXA::VEXA_Core::DestroyedWorldActorSlot},
            {STR("VEXA_CPP_GetNamesFromDir"), &VEXA::VEXA_Core::GetNamesFromDirSlot},
            {STR("VEXA_CPP_GetFileContents"), &VEXA::VEXA_Core::GetFileContentsSlot},
            {STR("VEXA_CPP_SaveFile"), &VEXA::VEXA_Core::SaveFileSlot},
            {STR("VEXA_CPP_DoesFileExist"), &VEXA::VEXA_Core::DoesFileExistSlot},
        };

        class DiscoveryTest : public ModTest
        {
        protected:
            auto Count(const std::string& Text) const -> long
            {
                const auto All = Texts();
                return std::count(All.begin(), All.end(), Text);
            }

            auto CoreScanRegistered() const -> bool
            {
                for (const auto& [Owner, Name] : Sim().TickCallbackNames())
                {
                    if (Name == STR("VEXA_EngineBPScan"))
                    {
                        return true;
                    }
                }
                return false;
            }

            // How many functions of the order are found, checking they form a prefix of it.
            auto FoundPrefix() const -> size_t
            {
                size_t Found = 0;
                while (Found < Order.size() && (Core().*Order[Found].Slot).Function != nullptr)
                {
                    ++Found;
                }
                for (size_t Rest = Found; Rest < Order.size(); ++Rest)
                {
                    EXPECT_EQ((Core().*Order[Rest].Slot).Function, nullptr) << "found out of order: " << Rest;
                }
                return Found;
            }
        };
    } // namespace

    TEST_F(DiscoveryTest, CoreFindsTheLibraryThenOneFunctionPerPassThenCompletes)
    {
        Start();

        Tick(0.1f); // a tick of exactly the interval from 0 is a pass
        ASSERT_NE(Core().Library, nullptr);
        EXPECT_EQ(Core().Library, Half->CoreLibrary);
        EXPECT_EQ(FoundPrefix(), 0u);

        for (size_t Pass = 2; Pass <= 8; ++Pass)
        {
            Tick(0.1f);
            ASSERT_EQ(FoundPrefix(), Pass - 1) << "pass " << Pass;
            const Step& Hooked = Order[Pass - 2];
            const VEXA::HookSlot& Slot = Core().*Hooked.Slot;
            EXPECT_EQ(Slot.Function, Half->Function(Library::Core, Hooked.Function)) << "pass " << Pass;
            EXPECT_EQ(Sim().RegisterHookCalls(Slot.Function), 1) << "pass " << Pass;
            EXPECT_NE(Slot.Ids, (VEXA::HookIds{0, 0})) << "pass " << Pass;
            EXPECT_FALSE(Core().ScanComplete);
            EXPECT_EQ(Count(Completion), 0);
        }

        Tick(0.1f);
        EXPECT_TRUE(Core().ScanComplete);
        EXPECT_EQ(Count(Completion), 1);
        EXPECT_FALSE(CoreScanRegistered());

        // Gone for good: later ticks look nothing up and hook nothing again.
        const int Lookups = Sim().FindObjectCalls();
        for (int Ticks = 0; Ticks < 50; ++Ticks)
        {
            Tick(0.1f);
        }
        EXPECT_EQ(Count(Completion), 1);
        EXPECT_EQ(Count(TimeOut), 0);
        for (const Step& Each : Order)
        {
            EXPECT_EQ(Sim().RegisterHookCalls((Core().*Each.Slot).Function), 1);
        }
        EXPECT_EQ(Sim().FindObjectCalls(), Lookups);
    }

    TEST_F(DiscoveryTest, TicksShorterThanTheIntervalGatherUntilAPass)
    {
        Start();
        Tick(0.05f);
        Tick(0.025f);
        EXPECT_EQ(Core().Library, nullptr);
        EXPECT_FLOAT_EQ(Core().PollElapsed, 0.075f);
        Tick(0.025f);
        EXPECT_NE(Core().Library, nullptr);
        EXPECT_EQ(Core().PollElapsed, 0.0f);
    }

    TEST_F(DiscoveryTest, MissingLibraryTimesOutOnThePassWhereTheDeltasReachTheLimit)
    {
        Blueprint.Omit = {Library::Core};
        Start();
        // 0.25 s per tick: every tick is a pass and the sums stay exact.
        for (int Pass = 1; Pass < 1200; ++Pass)
        {
            Tick(0.25f);
        }
        EXPECT_EQ(Count(TimeOut), 0);
        EXPECT_EQ(Core().TimeoutElapsed, 299.75f);
        Tick(0.25f);
        EXPECT_EQ(Count(TimeOut), 1);
        Tick(0.25f);
        Tick(0.25f);
        EXPECT_EQ(Count(TimeOut), 3);
        EXPECT_EQ(Core().TimeoutElapsed, 300.5f);
        EXPECT_TRUE(CoreScanRegistered());
        EXPECT_FALSE(Core().ScanComplete);
    }

    TEST_F(DiscoveryTest, TimeOutGrowsByTheTicksDeltaOnPassesOnly)
    {
        Blueprint.Omit = {Library::Core};
        Start();
        // 0.0625 s per tick: a pass every second tick, adding 0.0625 (not the interval or the
        // gathered time) to the time-out each pass; 4800 passes reach 300.
        for (int Ticks = 1; Ticks < 9600; ++Ticks)
        {
            Tick(0.0625f);
        }
        EXPECT_EQ(Core().TimeoutElapsed, 299.9375f);
        EXPECT_EQ(Count(TimeOut), 0);
        Tick(0.0625f);
        EXPECT_EQ(Count(TimeOut), 1);
        Tick(0.0625f); // not a pass
        EXPECT_EQ(Count(TimeOut), 1);
        Tick(0.0625f);
        EXPECT_EQ(Count(TimeOut), 2);
    }

    TEST_F(DiscoveryTest, AMissingFunctionHoldsTheScanOnIt)
    {
        Blueprint.OmitFunctions = {STR("VEXA_CPP_DestroyedWorldActor")};
        Start();
        for (int Ticks = 0; Ticks < 40; ++Ticks)
        {
            Tick(0.1f);
        }
        EXPECT_EQ(FoundPrefix(), 2u);
        // The functions after it are never attempted.
        for (size_t Later = 3; Later < Order.size(); ++Later)
        {
            EXPECT_EQ(Sim().RegisterHookCalls(Half->Function(Library::Core, Order[Later].Function)), 0);
        }
        EXPECT_FALSE(Core().ScanComplete);
        EXPECT_EQ(Count(Completion), 0);
        EXPECT_TRUE(CoreScanRegistered());
        // Time-out accounting runs on these passes too.
        EXPECT_GT(Core().TimeoutElapsed, 3.0f);
    }

    TEST_F(DiscoveryTest, ALibraryThatLoadsLateIsFoundThen)
    {
        Blueprint.Hidden = {Library::Core, Library::Anim};
        Start();
        for (int Ticks = 0; Ticks < 10; ++Ticks)
        {
            Tick(0.1f);
        }
        EXPECT_EQ(Core().Library, nullptr);
        Half->Show(Sim(), Library::Core);
        Half->Show(Sim(), Library::Anim);
        ASSERT_TRUE(TickUntilDiscovered());
        EXPECT_EQ(FoundPrefix(), Order.size());
        EXPECT_EQ(Count(Completion), 1);
    }

    // Libraries already loaded when the mod starts are found by walking the array in slices. The
    // animation library sits below where the walk had got to when the animation bridge first
    // looked: the walk still comes back for it.
    TEST_F(DiscoveryTest, ALibraryTheWalkHadPassedWhenItWasFirstLookedForIsFoundAfterTheWalkWraps)
    {
        Blueprint.Omit = {Library::Core};
        BuildHalf();
        Sim().AddFiller(20'000, 20);
        Start();
        ASSERT_TRUE(TickUntil([&] { return Anim().ScanComplete; }, 100));
        EXPECT_EQ(Anim().Library, Half->AnimLibrary);
        EXPECT_EQ(Anim().GetResponseSlot.Function, Half->Function(Library::Anim, STR("VEXA_Anim_CPP_GetResponse")));
    }

    TEST_F(DiscoveryTest, AHookTheHostRefusesStillCountsAsFoundAndIsNotRetried)
    {
        Sim().GetFaults().FailRegisterHookFor = {STR("VEXA_CPP_SendToUE4SSLog")};
        StartAndDiscover();
        const VEXA::HookSlot& Slot = Core().SendToUE4SSLogSlot;
        ASSERT_NE(Slot.Function, nullptr);
        EXPECT_EQ(Slot.Ids, (VEXA::HookIds{0, 0}));
        EXPECT_EQ(Sim().RegisterHookCalls(Slot.Function), 1);
        EXPECT_TRUE(Core().ScanComplete);
        ClearLog();
        SendToUE4SSLog(STR("unheard"));
        EXPECT_THAT(Texts(), Not(Contains("unheard")));
    }
} // namespace BrambleonTest

namespace BrambleonTest
{
    namespace
    {
        using ::testing::ElementsAre;
        using ::testing::IsEmpty;
        using NoEngineTickTest = ModTest;

        const std::string NoTickLine = "BRMB : The game's engine tick is not available: the Blueprint libraries are "
                                       "searched for from ProcessEvent instead.";
        const std::string NoHookLine = "BRMB : Neither the engine tick nor ProcessEvent can be hooked in this game: the "
                                       "services cannot start.";

        TEST_F(NoEngineTickTest, DiscoveryRunsFromOneProcessEventCallbackOnAMonotonicClock)
        {
            Sim().GetFaults().NoEngineTick = true;
            Start();
            EXPECT_THAT(Texts(), ElementsAre(NoTickLine, "VEXA_Core initialize has been ran.",
                                             "VEXA_Anim_Core initialize has been ran.", "Brambleon C++ Side Initiated!"));
            using Names = std::pair<RC::StringType, RC::StringType>;
            EXPECT_THAT(Sim().TickCallbackNames(), ElementsAre(Names{STR("BRMB"), STR("BRMB_ProcessEventScan")}));
            EXPECT_EQ(Sim().ProcessEventCallbackCount(), 1);

            // Passes come every 0.1 s of the clock, not of engine time: about a second for the
            // core's nine. The bound only keeps a broken build from running forever.
            const auto GiveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (Sim().TickCallbackCount() != 0 && std::chrono::steady_clock::now() < GiveUp)
            {
                Tick(0.0f);
            }
            ASSERT_EQ(Sim().TickCallbackCount(), 0) << "discovery did not finish";
            EXPECT_THAT(Texts(), Contains(Completion));
            EXPECT_THAT(Texts(), Contains("VEXA_Anim : BP Components Valid!"));
            EXPECT_THAT(Texts(), Contains("Brambleon C++ Tools initiated!"));
            ClearLog();
            SendToUE4SSLog(STR("served"));
            EXPECT_THAT(Texts(), ElementsAre("served"));
        }

        TEST_F(NoEngineTickTest, WithNeitherHookOneLineSaysTheServicesCannotStart)
        {
            Sim().GetFaults().NoEngineTick = true;
            Sim().GetFaults().NoProcessEvent = true;
            Start();
            EXPECT_THAT(Texts(), ElementsAre(NoHookLine, "VEXA_Core initialize has been ran.",
                                             "VEXA_Anim_Core initialize has been ran.", "Brambleon C++ Side Initiated!"));
            EXPECT_EQ(Sim().TickCallbackCount(), 0);
        }
    } // namespace
} // namespace BrambleonTest
