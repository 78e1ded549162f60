// Log lines: their exact form and level, the narrow path's decoding, and the Blueprint log hook.
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <DynamicOutput/Output.hpp>

#include "bridge/guard.hpp"
#include "bridge/log.hpp"
#include "support/mod_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        using ::testing::ElementsAre;
        using ::testing::IsEmpty;
        using LogBridgeTest = ModTest;

        auto Units(std::initializer_list<char16_t> Values) -> RC::StringType
        {
            RC::StringType Text;
            for (const char16_t Value : Values)
            {
                Text.push_back(static_cast<RC::CharType>(Value));
            }
            return Text;
        }

        auto NoDevices() -> std::vector<std::unique_ptr<RC::Output::OutputDevice>>
        {
            return {};
        }

        // A list whose only entry is null: the host raises its no-devices error on delivery.
        auto BrokenDevices() -> std::vector<std::unique_ptr<RC::Output::OutputDevice>>
        {
            std::vector<std::unique_ptr<RC::Output::OutputDevice>> Devices;
            Devices.push_back(nullptr);
            return Devices;
        }
    } // namespace

    TEST_F(LogBridgeTest, WideSendsTextAndNewlineAtTheChosenLevel)
    {
        struct Case
        {
            RC::StringType Text;
            bool Alternate;
            RC::StringType Delivered;
            int32_t Level;
        };
        const std::vector<Case> Cases = {
            {STR("abc"), false, STR("abc\n"), 1},
            {STR(""), false, STR("\n"), 1},
            {STR("abc"), true, STR("abc\n"), 2},
            {STR("{} {0} { }}"), false, STR("{} {0} { }}\n"), 1}, // never read as a format
            {Units({0xD83D, 0xDE00}), false, Units({0xD83D, 0xDE00, u'\n'}), 1},
        };
        for (const Case& Each : Cases)
        {
            ClearLog();
            BRMB::Bridge::LogLine(Each.Text, Each.Alternate);
            ASSERT_EQ(RawLog().size(), 1u) << ToUtf8(Each.Text);
            EXPECT_EQ(RawLog()[0].Text, Each.Delivered);
            EXPECT_EQ(RawLog()[0].Level, Each.Level);
        }
    }

    TEST_F(LogBridgeTest, NarrowDecodesUtf8BeforeSending)
    {
        struct Case
        {
            std::string Utf8;
            RC::StringType Delivered;
        };
        const std::vector<Case> Cases = {
            {"abc", STR("abc\n")},
            {"", STR("\n")},
            {"\xC3\xA9", Units({0x00E9, u'\n'})},
            {"\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00, u'\n'})},
            {"a\xFF", Units({u'a', 0xFFFD, u'\n'})},
        };
        for (const Case& Each : Cases)
        {
            ClearLog();
            BRMB::Bridge::LogLine(Each.Utf8, false);
            ASSERT_EQ(RawLog().size(), 1u) << Each.Utf8;
            EXPECT_EQ(RawLog()[0].Text, Each.Delivered) << Each.Utf8;
            EXPECT_EQ(RawLog()[0].Level, 1);
        }
    }

    TEST_F(LogBridgeTest, WithoutDevicesALineGoesNowhereAndNothingFails)
    {
        {
            const ScopedLogDevices None(NoDevices());
            EXPECT_NO_THROW(BRMB::Bridge::LogLine(STR("lost")));
        }
        BRMB::Bridge::LogLine(STR("kept"));
        EXPECT_THAT(Lines(), ElementsAre(Normal("kept")));
    }

    TEST_F(LogBridgeTest, ABrokenDeviceListRaisesTheHostsErrorToTheCaller)
    {
        const ScopedLogDevices Broken(BrokenDevices());
        EXPECT_THROW(BRMB::Bridge::LogLine(STR("x")), std::runtime_error);
    }

    TEST_F(LogBridgeTest, BoundaryReportsWhatLeftTheBodyAndSwallowsIt)
    {
        bool Ran = false;
        BRMB::Bridge::Guarded(STR("VEXA"), STR("Body"), [&] { Ran = true; });
        EXPECT_TRUE(Ran);
        EXPECT_THAT(Lines(), IsEmpty());

        BRMB::Bridge::Guarded(STR("VEXA_Anim"), STR("Thrower"), [] { throw std::runtime_error("bad \xC3\xA9 thing"); });
        BRMB::Bridge::Guarded(STR("BRMB"), STR("Other"), [] { throw 42; });
        EXPECT_THAT(Lines(), ElementsAre(Normal("VEXA_Anim : Thrower failed : bad \xC3\xA9 thing"),
                                         Normal("BRMB : Other failed : unknown error")));
    }

    TEST_F(LogBridgeTest, BoundaryDropsItsLineWhenTheLogItselfFails)
    {
        const ScopedLogDevices Broken(BrokenDevices());
        EXPECT_NO_THROW(BRMB::Bridge::Guarded(STR("VEXA"), STR("Body"), [] { BRMB::Bridge::LogLine(STR("x")); }));
    }

    TEST_F(LogBridgeTest, BlueprintLogCallsArriveAsLinesInCallOrder)
    {
        StartAndDiscover();
        struct Case
        {
            RC::StringType Text;
            RC::StringType Delivered;
        };
        const std::vector<Case> Cases = {
            {STR("abc"), STR("abc\n")},
            {STR(""), STR("\n")},
            {Units({0x00E9}), Units({0x00E9, u'\n'})},
            {Units({0xD83D, 0xDE00}), Units({0xD83D, 0xDE00, u'\n'})},
            {Units({u'a', 0xD800, u'b'}), Units({u'a', 0xFFFD, u'b', u'\n'})},
            {STR("{}"), STR("{}\n")},
        };
        ClearLog();
        for (const Case& Each : Cases)
        {
            const auto Block = Params(Library::Core, STR("VEXA_CPP_SendToUE4SSLog"));
            Block->SetString(BlueprintHalf::Param::Text, Each.Text);
            CallLibrary(Library::Core, *Block);
            // The block is only read.
            EXPECT_EQ(Block->GetString(BlueprintHalf::Param::Text), Each.Text);
        }
        ASSERT_EQ(RawLog().size(), Cases.size());
        for (size_t Index = 0; Index < Cases.size(); ++Index)
        {
            EXPECT_EQ(RawLog()[Index].Text, Cases[Index].Delivered) << Index;
            EXPECT_EQ(RawLog()[Index].Level, 1) << Index;
        }
    }

    TEST_F(LogBridgeTest, BeforeItsHookTheLogCallReachesOnlyItsBody)
    {
        int BodyCalls = 0;
        Blueprint.Bodies[STR("VEXA_CPP_SendToUE4SSLog")] = [&](RC::Unreal::UObject*, uint8_t*) { ++BodyCalls; };
        Start();
        ClearLog();
        SendToUE4SSLog(STR("early"));
        EXPECT_EQ(BodyCalls, 1);
        EXPECT_THAT(Lines(), IsEmpty());

        ASSERT_TRUE(TickUntilDiscovered());
        ClearLog();
        SendToUE4SSLog(STR("late"));
        EXPECT_EQ(BodyCalls, 2);
        EXPECT_THAT(Lines(), ElementsAre(Normal("late")));
    }
} // namespace BrambleonTest
