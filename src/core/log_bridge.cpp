// How every service writes a line to the host's log.
// Runs on the game thread.
#include <log_bridge.hpp>

#include <utility>

#include <DynamicOutput/DynamicOutput.hpp>

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
