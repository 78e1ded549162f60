// The host's log output: delivery to the default devices with or without the level, the
// no-devices error, and the simulator's console and file devices.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <DynamicOutput/DynamicOutput.hpp>
#include <Sim/Engine.hpp>

#include "support/scratch_folder.hpp"

namespace
{
    using namespace RC::Sim;
    using RC::StringType;
    using RC::StringViewType;
    using RC::Output::OutputDevice;

    auto Devices() -> std::vector<std::unique_ptr<OutputDevice>>& { return RC::Output::DefaultTargets::get_default_devices_ref(); }

    // Takes lines without their level.
    class PlainDevice : public OutputDevice
    {
    public:
        explicit PlainDevice(std::vector<StringType>& Into) : Lines(Into) {}
        auto receive(StringViewType Text) const -> void override { Lines.emplace_back(Text); }

    private:
        std::vector<StringType>& Lines;
    };

    // Empties the device list while it receives a line.
    class ClearingDevice : public OutputDevice
    {
    public:
        auto receive(StringViewType) const -> void override { Devices().clear(); }
    };

    auto MessageOf(StringViewType Text) -> std::string
    {
        try
        {
            RC::Output::send<RC::LogLevel::Normal>(Text);
        }
        catch (const std::runtime_error& Error)
        {
            return Error.what();
        }
        return "sent";
    }

    class OutputTest : public testing::Test
    {
    protected:
        void SetUp() override { Engine::Reset(); }
    };

    TEST_F(OutputTest, LinesAreFormattedAndReachEveryDeviceWithOrWithoutTheLevel)
    {
        std::vector<StringType> Plain;
        auto& Captured = Engine::Get().CaptureLog();
        Devices().push_back(std::make_unique<PlainDevice>(Plain));
        RC::Output::send<RC::LogLevel::Warning>(STR("{} of {}\n"), 3, STR("four"));
        RC::Output::send(STR("literal {{}} {\n")); // no arguments: sent as it stands
        ASSERT_EQ(Captured.Lines().size(), 2U);
        EXPECT_EQ(Captured.Lines()[0].Text, STR("3 of four\n"));
        EXPECT_EQ(Captured.Lines()[0].Level, 3);
        EXPECT_EQ(Captured.Lines()[1].Text, STR("literal {{}} {\n"));
        EXPECT_EQ(Captured.Lines()[1].Level, 0);
        EXPECT_EQ(Plain, (std::vector<StringType>{STR("3 of four\n"), STR("literal {{}} {\n")}));
    }

    TEST_F(OutputTest, AnEmptyDeviceListDropsTheLine)
    {
        ASSERT_TRUE(Devices().empty());
        EXPECT_EQ(MessageOf(STR("nobody listens\n")), "sent");
    }

    TEST_F(OutputTest, ANullDeviceOrAListEmptiedDuringDeliveryRaisesTheNoDevicesError)
    {
        const std::string Expected =
            "[Output::send] Attempted to send but there were no default devices. Please specify at least one default "
            "device or construct a Targets object and supply your own devices.";
        Devices().push_back(nullptr);
        EXPECT_EQ(MessageOf(STR("x\n")), Expected);
        Devices().clear();
        Devices().push_back(std::make_unique<ClearingDevice>());
        EXPECT_EQ(MessageOf(STR("x\n")), Expected);
    }

    TEST_F(OutputTest, CaptureReplacesTheDevicesAndResetClearsThem)
    {
        std::vector<StringType> Plain;
        Devices().push_back(std::make_unique<PlainDevice>(Plain));
        auto& Captured = Engine::Get().CaptureLog();
        RC::Output::send(STR("only captured\n"));
        EXPECT_TRUE(Plain.empty());
        EXPECT_EQ(Captured.Lines().size(), 1U);
        Captured.Clear();
        EXPECT_TRUE(Captured.Lines().empty());
        Engine::Reset();
        EXPECT_TRUE(Devices().empty());
    }

    TEST_F(OutputTest, ConsoleColoursEachLevelAndResetsBeforeTheLineBreak)
    {
        struct Case
        {
            int32_t Level;
            bool Colour;
            std::string Expected;
        };
        const Case Cases[] = {
            {1, true, "line\n"},
            {2, true, "\x1b[36mline\x1b[0m\n"},
            {3, true, "\x1b[33mline\x1b[0m\n"},
            {4, true, "\x1b[31mline\x1b[0m\n"},
            {4, false, "line\n"},
        };
        for (const auto& Each : Cases)
        {
            const auto Console = MakeConsoleDevice(Each.Colour);
            ASSERT_TRUE(Console->has_optional_arg());
            testing::internal::CaptureStdout();
            Console->receive_with_optional_arg(STR("line\n"), Each.Level);
            EXPECT_EQ(testing::internal::GetCapturedStdout(), Each.Expected) << Each.Level;
        }
    }

    TEST_F(OutputTest, FileDeviceAppendsUtf8)
    {
        const BrambleonTest::ScratchFolder Scratch;
        const auto Path = Scratch.Path() / "output.log";
        {
            const auto File = MakeFileDevice(Path.string());
            File->receive(STR("caf\u00E9 \U0001F600\n"));
            File->receive(STR("second\n"));
        }
        MakeFileDevice(Path.string())->receive(STR("appended\n"));
        std::ifstream In(Path, std::ios::binary);
        const std::string Content((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        EXPECT_EQ(Content, "caf\xC3\xA9 \xF0\x9F\x98\x80\nsecond\nappended\n");
        In.close();
        EXPECT_THROW(MakeFileDevice((Path / "no" / "such" / "folder.log").string()), std::runtime_error);
    }
} // namespace
