// How every service writes a line to the host's log, and the core's conversion members.
// Runs on the game thread.
#include <log_bridge.hpp>

#include <utility>

#include <DynamicOutput/DynamicOutput.hpp>
#include <VEXA_Core.hpp>

namespace BRMB::Log
{
    auto Wide(RC::StringViewType Text, bool Alternate) -> void
    {
        RC::StringType Line;
        Line.reserve(Text.size() + 1);
        Line.append(Text);
        Line.push_back(STR('\n'));
        // The line is an argument, never the format: Blueprint text may hold braces.
        const RC::StringViewType View(Line);
        if (Alternate)
        {
            RC::Output::send<RC::LogLevel::Verbose>(STR("{}"), View);
        }
        else
        {
            RC::Output::send<RC::LogLevel::Normal>(STR("{}"), View);
        }
    }

    auto Narrow(std::string_view Utf8, bool Alternate) -> void
    {
        Wide(Text::Utf8ToUtf16(Utf8), Alternate);
    }
} // namespace BRMB::Log

namespace VEXA
{
    auto VEXA_Core::LogWide(RC::StringType Text, bool Alternate) -> void
    {
        BRMB::Log::Wide(Text, Alternate);
    }

    auto VEXA_Core::LogNarrow(std::string Text, bool Alternate) -> void
    {
        BRMB::Log::Narrow(Text, Alternate);
    }

    auto VEXA_Core::FStringToUtf8(RC::Unreal::FString Text) -> std::string
    {
        return BRMB::Text::Utf16ToUtf8(BRMB::Text::FStringView(Text));
    }

    auto VEXA_Core::NarrowToFString(std::string Text) -> RC::Unreal::FString
    {
        // The engine string ends before the first NUL, as the constructor copies up to it.
        return RC::Unreal::FString(BRMB::Text::Utf8ToUtf16(Text).c_str());
    }

    auto VEXA_Core::WideToFString(RC::StringType Text) -> RC::Unreal::FString
    {
        return RC::Unreal::FString(Text.c_str());
    }
} // namespace VEXA
