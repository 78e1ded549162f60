// The log bridge: how every service writes a line to the host's log, and the conversions
// between engine strings, UTF-16 and UTF-8 that the hooks need on their way in and out.
// Runs on the game thread.
#pragma once

#include <cstddef>
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
    // Builds an engine string from UTF-8 text that arrives in pieces (a file read in chunks),
    // with the result Utf8ToFString gives for the whole text. Each piece is decoded into the
    // string's storage as it comes; only a sequence cut by the end of a piece waits for the next.
    class FStringWriter
    {
    public:
        // Sizes the storage for this many bytes of text; more may still follow.
        auto Reserve(size_t ExpectedBytes) -> void;
        auto Append(std::string_view Piece) -> void;
        // The string built so far, terminated; the writer starts again empty.
        [[nodiscard]] auto Take() -> RC::Unreal::FString;

    private:
        auto Decode(std::string_view Text) -> void;
        auto MakeRoom(size_t Units) -> RC::CharType*;
        auto Commit(size_t Units) -> void;

        RC::Unreal::FString Result;
        // Bytes from the last piece that may begin a sequence the next piece completes.
        std::string Carry;
        // A NUL was met: nothing after it belongs to the string.
        bool Ended = false;
    };

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
