// The one way the mod writes a line to the host's log. Runs on the game thread (and on the
// host's event-loop thread during start-up).
#pragma once

#include <string_view>

#include <String/StringType.hpp>

namespace BRMB::Bridge
{
    // Sends Text followed by a newline at level 2 when Alternate is set, else level 1.
    auto LogLine(RC::StringViewType Text, bool Alternate = false) -> void;
    // UTF-8 Text, decoded (an invalid sequence becomes U+FFFD), then as above.
    auto LogLine(std::string_view Utf8, bool Alternate = false) -> void;
} // namespace BRMB::Bridge
