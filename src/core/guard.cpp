// The failure line of the exception boundary.
#include "core/guard.hpp"

#include <log_bridge.hpp>

namespace BRMB
{
    auto ReportFailure(RC::StringViewType Prefix, RC::StringViewType Name, std::string_view What) noexcept -> void
    {
        try
        {
            RC::StringType Line;
            Line.append(Prefix).append(STR(" : ")).append(Name).append(STR(" failed : "));
            Line.append(Text::Utf8ToUtf16(What));
            Log::Wide(Line, false);
        }
        catch (...)
        {
            // Nowhere left to report to (no log devices, or no memory): dropping is all that is safe.
        }
    }
} // namespace BRMB
