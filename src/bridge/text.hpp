// The conversions between engine strings, UTF-16 and UTF-8 that the hooks need on their way in
// and out. Pure functions and single-owner readers and writers: no host state is touched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <String/StringType.hpp>
#include <Unreal/FString.hpp>

namespace BRMB::Bridge::Text
{
    // UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Never raises.
    [[nodiscard]] auto Utf16ToUtf8(RC::StringViewType Text) -> std::string;
    // Whether every surrogate of Text is part of a pair (high, then low).
    [[nodiscard]] auto IsWellFormedUtf16(RC::StringViewType Text) -> bool;
    // UTF-8 to UTF-16; each invalid sequence becomes U+FFFD. Never raises.
    [[nodiscard]] auto Utf8ToUtf16(std::string_view Text) -> RC::StringType;
    // UTF-8 text up to its first NUL as a new engine string (invalid sequences as in
    // Utf8ToUtf16). ASCII is widened straight into the string's storage.
    [[nodiscard]] auto Utf8ToFString(std::string_view Text) -> RC::Unreal::FString;
    // Builds an engine string from UTF-8 text that arrives in pieces (a file read in chunks),
    // with the result Utf8ToFString gives for the whole text. Each piece is decoded into the
    // string's storage as it comes; only a sequence cut by the end of a piece, at most three
    // bytes, waits for the next.
    class FStringWriter
    {
    public:
        // Sizes the storage for this many bytes of text; more may still follow.
        auto Reserve(size_t ExpectedBytes) -> void;
        auto Append(std::string_view Piece) -> void;
        // The string built so far, terminated; the writer starts again empty.
        [[nodiscard]] auto Take() -> RC::Unreal::FString;
        // A NUL ended the text: later pieces change nothing.
        [[nodiscard]] auto Finished() const -> bool { return Ended; }
        // The bytes held for the next piece.
        [[nodiscard]] auto Carried() const -> std::string_view;

    private:
        auto Decode(std::string_view Text, bool MoreFollows) -> size_t;
        auto MakeRoom(size_t Units) -> RC::CharType*;
        auto Commit(size_t Units) -> void;

        RC::Unreal::FString Result;
        // The start of a sequence that the next piece may complete.
        std::array<char, 3> Carry{};
        size_t CarryLength = 0;
        // A sequence was refused whole: the continuation bytes after it are part of it.
        bool SkipTrails = false;
        // A NUL was met: nothing after it belongs to the string.
        bool Ended = false;
    };

    enum class Encoding
    {
        Utf8,
        Utf16LE,
        Utf16BE,
    };

    struct ByteOrderMark
    {
        Encoding Kind;
        size_t Length;
    };

    // The byte order mark that Start begins with: EF BB BF (UTF-8), FF FE (UTF-16 little-endian)
    // or FE FF (UTF-16 big-endian). UTF-8 of length 0 when there is none.
    [[nodiscard]] auto FindByteOrderMark(std::string_view Start) -> ByteOrderMark;

    // Turns UTF-16 text that arrives as bytes in pieces (a file saved as "Unicode") into UTF-8,
    // pairing surrogates across pieces. An unpaired surrogate becomes U+FFFD; an odd last byte
    // is dropped. Holds at most one byte and one unit between pieces.
    class Utf16Reader
    {
    public:
        explicit Utf16Reader(Encoding Order);
        [[nodiscard]] auto Decode(std::string_view Piece) -> std::string;
        // What the end of the text leaves: U+FFFD for a high surrogate that nothing followed.
        [[nodiscard]] auto Finish() -> std::string;

    private:
        bool BigEndian;
        std::optional<char> OddByte;
        uint32_t HeldHigh = 0;
    };

    // The characters of an engine string up to its first NUL.
    [[nodiscard]] auto FStringView(RC::Unreal::FString& Text) -> RC::StringViewType;
} // namespace BRMB::Bridge::Text
