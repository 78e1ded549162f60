// The log bridge: how every service writes a line to the host's log, and the conversions
// between engine strings, UTF-16 and UTF-8 that the hooks need on their way in and out.
// Runs on the game thread.
#pragma once

#include <string>
#include <string_view>

#include <String/StringType.hpp>
#include <Unreal/FString.hpp>

namespace BRMB::Text
{
    // UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Never raises.
    [[nodiscard]] auto Utf16ToUtf8(RC::StringViewType Text) -> std::string;
    // UTF-8 to UTF-16; each invalid sequence becomes U+FFFD. Never raises.
    [[nodiscard]] auto Utf8ToUtf16(std::string_view Text) -> RC::StringType;
    // UTF-8 text up to its first NUL as a new engine string (invalid sequences as in
    // Utf8ToUtf16). ASCII is widened straight into the string's storage.
    [[nodiscard]] auto Utf8ToFString(std::string_view Text) -> RC::Unreal::FString;
    // The characters of an engine string up to its first NUL.
    [[nodiscard]] auto FStringView(const RC::Unreal::FString& Text) -> RC::StringViewType;
} // namespace BRMB::Text

namespace BRMB::Log
{
    // Sends Text followed by a newline at level 2 when Alternate is set, else level 1.
    auto Wide(RC::StringViewType Text, bool Alternate = false) -> void;
    // Decodes UTF-8 Text, then as Wide.
    auto Narrow(std::string_view Text, bool Alternate = false) -> void;
} // namespace BRMB::Log
