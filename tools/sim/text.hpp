// UTF-8 (the scenario's texts) to the host's UTF-16 and back, through the mod's own conversions.
#pragma once

#include <string>
#include <string_view>

#include <log_bridge.hpp>

namespace BRMB::Sim
{
    [[nodiscard]] inline auto Wide(std::string_view Utf8) -> RC::StringType
    {
        return BRMB::Text::Utf8ToUtf16(Utf8);
    }
    [[nodiscard]] inline auto Narrow(RC::StringViewType Text) -> std::string
    {
        return BRMB::Text::Utf16ToUtf8(Text);
    }
} // namespace BRMB::Sim
