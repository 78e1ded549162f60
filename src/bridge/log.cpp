// The one way the mod writes a line to the host's log.
#include "bridge/log.hpp"

#include <DynamicOutput/DynamicOutput.hpp>

#include "bridge/text.hpp"

namespace BRMB::Bridge
{
    auto LogLine(RC::StringViewType Text, bool Alternate) -> void
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

    auto LogLine(std::string_view Utf8, bool Alternate) -> void
    {
        LogLine(Text::Utf8ToUtf16(Utf8), Alternate);
    }
} // namespace BRMB::Bridge
