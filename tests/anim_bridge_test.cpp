// The animation bridge: its discovery and its one hook, which logs the request and answers it.
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
        using ::testing::ElementsAre;
        using ::testing::IsEmpty;
        using ::testing::Not;

        const std::string Ready = "VEXA_Anim : BP Components Valid!";
        constexpr auto GetResponse = STR("VEXA_Anim_CPP_GetResponse");

        class AnimBridgeTest : public ModTest
        {
        protected:
            auto AnimScanRegistered() const -> bool
            {
                for (const auto& [Owner, Name] : Sim().TickCallbackNames())
                {
                    if (Name == STR("VEXA_Anim_EngineBPScan"))
                    {
                        return true;
                    }
                }
                return false;
            }

            auto Ask(RC::StringViewType Request) -> RC::StringType
            {
                return CallWithText(Library::Anim, GetResponse, BlueprintHalf::Param::Request, Request);
            }
        };
    } // namespace

    TEST_F(AnimBridgeTest, ThePassThatFindsTheLibraryHooksAndCompletes)
    {
        Blueprint.Omit = {Library::Core, Library::Proxy};
        Start();
        ClearLog();
        Tick(0.1f); // 0.1 s gathered: below the interval
        EXPECT_EQ(Anim().Library, nullptr);
        EXPECT_TRUE(AnimScanRegistered());

        Tick(0.1f);
        EXPECT_EQ(Anim().Library, Half->AnimLibrary);
        EXPECT_EQ(Anim().GetResponseSlot.Function, Half->Function(Library::Anim, GetResponse));
        EXPECT_NE(Anim().GetResponseSlot.Ids, (VEXA::HookIds{0, 0}));
        EXPECT_TRUE(Anim().ScanComplete);
        EXPECT_FALSE(AnimScanRegistered());
        EXPECT_THAT(Texts(), Contains(Ready));
        EXPECT_EQ(Anim().Core, &Core());
    }

    TEST_F(AnimBridgeTest, SilentWhileTheLibraryIsMissing)
    {
        Blueprint.Omit = {Library::Anim};
        Start();
        // The core and the proxy finish; the bridge keeps polling.
        ASSERT_FALSE(TickUntilDiscovered(50));
        ClearLog();
        for (int Ticks = 0; Ticks < 100; ++Ticks)
        {
            Tick(0.1f);
        }
        EXPECT_THAT(Lines(), IsEmpty());
        EXPECT_EQ(Anim().Library, nullptr);
        EXPECT_FALSE(Anim().ScanComplete);
        EXPECT_TRUE(AnimScanRegistered());
    }

    TEST_F(AnimBridgeTest, NeverReadyWithoutItsFunction)
    {
        Blueprint.OmitFunctions = {GetResponse};
        Start();
        for (int Ticks = 0; Ticks < 100; ++Ticks)
        {
            Tick(0.1f);
        }
        EXPECT_EQ(Anim().Library, Half->AnimLibrary);
        EXPECT_EQ(Anim().GetResponseSlot.Function, nullptr);
        EXPECT_FALSE(Anim().ScanComplete);
        EXPECT_THAT(Texts(), Not(Contains(Ready)));
        EXPECT_TRUE(AnimScanRegistered());
    }

    TEST_F(AnimBridgeTest, ALibraryThatLoadsLateIsHookedOnTheNextPass)
    {
        Blueprint.Hidden = {Library::Anim};
        Start();
        Tick(0.2f);
        Tick(0.2f);
        EXPECT_EQ(Anim().Library, nullptr);
        Half->Show(Sim(), Library::Anim);
        Tick(0.2f);
        EXPECT_TRUE(Anim().ScanComplete);
    }

    TEST_F(AnimBridgeTest, EveryRequestIsLoggedAndAnsweredCPPResponse)
    {
        StartAndDiscover();
        struct Case
        {
            RC::StringType Request;
            std::string Logged;
        };
        const std::vector<Case> Cases = {
            {STR("abc"), "abc"},
            {STR(""), ""},
            {STR("CPPResponse"), "CPPResponse"},
            {FromUtf8("caf\xC3\xA9"), "caf\xC3\xA9"},
            {FromUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80"},
            {STR("{}"), "{}"},
        };
        for (const Case& Each : Cases)
        {
            ClearLog();
            EXPECT_EQ(ToUtf8(Ask(Each.Request)), "CPPResponse") << Each.Logged;
            EXPECT_THAT(Lines(), ElementsAre(Normal(Each.Logged)));
        }
    }

    TEST_F(AnimBridgeTest, TwoRequestsInARowAreLoggedInOrderAndBothAnswered)
    {
        StartAndDiscover();
        ClearLog();
        EXPECT_EQ(Ask(STR("first")), STR("CPPResponse"));
        EXPECT_EQ(Ask(STR("second")), STR("CPPResponse"));
        EXPECT_THAT(Lines(), ElementsAre(Normal("first"), Normal("second")));
    }

    TEST_F(AnimBridgeTest, TheBlueprintBodySeesTheReply)
    {
        std::string Seen;
        Blueprint.Bodies[GetResponse] = [&](RC::Unreal::UObject*, uint8_t* Block) {
            const auto& Text = *reinterpret_cast<const RC::Unreal::FString*>(Block);
            Seen = ToUtf8(*Text);
        };
        StartAndDiscover();
        Ask(STR("question"));
        EXPECT_EQ(Seen, "CPPResponse");
    }

    TEST_F(AnimBridgeTest, ARefusedHookLeavesTheRequestUnansweredButTheBridgeReady)
    {
        Sim().GetFaults().FailRegisterHookFor = {GetResponse};
        StartAndDiscover();
        EXPECT_TRUE(Anim().ScanComplete);
        EXPECT_EQ(Anim().GetResponseSlot.Ids, (VEXA::HookIds{0, 0}));
        ClearLog();
        EXPECT_EQ(Ask(STR("anyone?")), STR("anyone?"));
        EXPECT_THAT(Lines(), IsEmpty());
    }
} // namespace BrambleonTest
