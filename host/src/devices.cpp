// Log devices of the simulated engine: capture for tests, console and file for the simulator.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "sim_state.hpp"

namespace RC::Sim
{
    auto CaptureDevice::receive(StringViewType Text) const -> void { receive_with_optional_arg(Text, 0); }

    auto CaptureDevice::receive_with_optional_arg(StringViewType Text, int32_t Level) const -> void
    {
        Captured.push_back(LogLine{StringType(Text), Level});
    }

    auto CaptureDevice::Lines() const -> const std::vector<LogLine>& { return Captured; }

    auto CaptureDevice::Clear() -> void { Captured.clear(); }

    namespace
    {
        auto ColourOf(int32_t Level) -> const char*
        {
            switch (Level)
            {
            case 2:
                return "\x1b[36m";
            case 3:
                return "\x1b[33m";
            case 4:
                return "\x1b[31m";
            default:
                return nullptr;
            }
        }

        class ConsoleDevice final : public Output::OutputDevice
        {
        public:
            explicit ConsoleDevice(bool UseColour) : Colour(UseColour) {}

            [[nodiscard]] auto has_optional_arg() const -> bool override { return true; }
            auto receive(StringViewType Text) const -> void override { receive_with_optional_arg(Text, 0); }
            auto receive_with_optional_arg(StringViewType Text, int32_t Level) const -> void override
            {
                std::string Line = ToUtf8(Text);
                const char* Code = Colour ? ColourOf(Level) : nullptr;
                if (Code != nullptr)
                {
                    // The reset goes before the line break so a colour never bleeds into the next line.
                    const bool Newline = !Line.empty() && Line.back() == '\n';
                    if (Newline)
                    {
                        Line.pop_back();
                    }
                    Line = std::string(Code) + Line + "\x1b[0m" + (Newline ? "\n" : "");
                }
                std::fwrite(Line.data(), 1, Line.size(), stdout);
                std::fflush(stdout);
            }

        private:
            bool Colour;
        };

        class FileDevice final : public Output::OutputDevice
        {
        public:
            explicit FileDevice(const std::string& Utf8Path)
                : Stream(std::filesystem::path(std::u8string(Utf8Path.begin(), Utf8Path.end())),
                         std::ios::binary | std::ios::app)
            {
                if (!Stream)
                {
                    throw std::runtime_error("cannot open log file " + Utf8Path);
                }
            }

            [[nodiscard]] auto has_optional_arg() const -> bool override { return false; }
            auto receive(StringViewType Text) const -> void override
            {
                const std::string Line = ToUtf8(Text);
                Stream.write(Line.data(), static_cast<std::streamsize>(Line.size()));
                Stream.flush();
            }

        private:
            mutable std::ofstream Stream;
        };

        class NullDevice final : public Output::OutputDevice
        {
        public:
            auto receive(StringViewType) const -> void override {}
        };
    } // namespace

    auto MakeConsoleDevice(bool Colour) -> std::unique_ptr<Output::OutputDevice>
    {
        return std::make_unique<ConsoleDevice>(Colour);
    }

    auto MakeFileDevice(const std::string& Utf8Path) -> std::unique_ptr<Output::OutputDevice>
    {
        return std::make_unique<FileDevice>(Utf8Path);
    }

    auto MakeNullDevice() -> std::unique_ptr<Output::OutputDevice> { return std::make_unique<NullDevice>(); }
} // namespace RC::Sim
