// The UTF-8/UTF-16 conversions on arbitrary input. Properties: every output is well formed;
// decoding replaces malformed UTF-8 exactly as utfcpp's repair does; well-formed input survives a
// round trip unchanged; malformed input never makes the output longer than one replacement per
// input unit; text written to an engine string in pieces gives what the whole text gives,
// wherever the pieces are cut, also for long runs of the bytes that break sequences, with at most
// three bytes carried between pieces; UTF-16 read from bytes in pieces gives what the whole
// text gives; an engine string reads only up to its count.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include <utf8.h>

#include <Unreal/FString.hpp>

#include "bridge/text.hpp"
#include "support/fuzz_support.hpp"

namespace
{
    auto IsWellFormedUtf16(RC::StringViewType Units) -> bool
    {
        for (size_t Index = 0; Index < Units.size(); ++Index)
        {
            const auto Unit = static_cast<uint32_t>(Units[Index]);
            if (Unit >= 0xD800 && Unit <= 0xDBFF)
            {
                if (Index + 1 == Units.size())
                {
                    return false;
                }
                const auto Next = static_cast<uint32_t>(Units[Index + 1]);
                if (Next < 0xDC00 || Next > 0xDFFF)
                {
                    return false;
                }
                ++Index;
            }
            else if (Unit >= 0xDC00 && Unit <= 0xDFFF)
            {
                return false;
            }
        }
        return true;
    }

    auto ReferenceDecode(std::string_view Text) -> RC::StringType
    {
        std::string Repaired;
        utf8::replace_invalid(Text.begin(), Text.end(), std::back_inserter(Repaired));
        RC::StringType Wide;
        utf8::unchecked::utf8to16(Repaired.begin(), Repaired.end(), std::back_inserter(Wide));
        return Wide;
    }

    // Writes Text in pieces whose lengths come from Lengths (so that the fuzzer steers the cuts),
    // checking the carry after each piece.
    auto WriteInPieces(std::string_view Text, std::string_view Lengths, size_t Scale) -> RC::StringType
    {
        BRMB::Bridge::Text::FStringWriter Writer;
        size_t Turn = 0;
        for (size_t At = 0; At < Text.size();)
        {
            const auto Pick = Lengths.empty() ? 0u : static_cast<unsigned char>(Lengths[Turn++ % Lengths.size()]);
            const size_t Length = std::min<size_t>(1 + (Pick % 7) * Scale, Text.size() - At);
            Writer.Append(Text.substr(At, Length));
            Fuzz::Require(Writer.Carried().size() <= 3, "at most three bytes wait between pieces");
            At += Length;
        }
        RC::Unreal::FString Built = Writer.Take();
        return RC::StringType(BRMB::Bridge::Text::FStringView(Built));
    }
} // namespace

extern "C" auto LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) -> int
{
    // The bytes as UTF-8 text.
    const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
    const RC::StringType Decoded = BRMB::Bridge::Text::Utf8ToUtf16(Bytes);
    Fuzz::Require(IsWellFormedUtf16(Decoded), "decoded UTF-8 is well-formed UTF-16");
    Fuzz::Require(Decoded.size() <= Bytes.size(), "one unit at most per byte");
    const bool ValidUtf8 = utf8::is_valid(Bytes.begin(), Bytes.end());
    if (ValidUtf8)
    {
        Fuzz::Require(BRMB::Bridge::Text::Utf16ToUtf8(Decoded) == Bytes, "valid UTF-8 survives a round trip");
    }

    Fuzz::Require(Decoded == ReferenceDecode(Bytes), "malformed UTF-8 is replaced as utfcpp repairs it");

    // The bytes in pieces, as a file arrives in chunks.
    const RC::StringType Whole = BRMB::Bridge::Text::Utf8ToUtf16(Bytes.substr(0, Bytes.find('\0')));
    Fuzz::Require(WriteInPieces(Bytes, Bytes, 1) == Whole, "text in pieces decodes as the whole text");

    // Long runs, as a hostile file has them: each pair of bytes is a byte and how often it
    // repeats (up to 4,081 times), so runs of continuation bytes, lone leads and NULs come up.
    {
        std::string Runs;
        for (size_t At = 0; At + 1 < Size && Runs.size() < (size_t{1} << 15); At += 2)
        {
            Runs.append(1 + size_t{Data[At + 1]} * 16, static_cast<char>(Data[At]));
        }
        const std::string_view Text(Runs);
        const RC::StringType Expected = BRMB::Bridge::Text::Utf8ToUtf16(Text.substr(0, Text.find('\0')));
        Fuzz::Require(Expected == ReferenceDecode(Text.substr(0, Text.find('\0'))), "runs decode as utfcpp repairs them");
        Fuzz::Require(WriteInPieces(Text, Bytes, 13) == Expected, "runs in short pieces decode as the whole");
        Fuzz::Require(WriteInPieces(Text, Bytes, 997) == Expected, "runs in long pieces decode as the whole");
    }

    // The bytes as UTF-16 of either order read in pieces, as a file with a UTF-16 mark is.
    for (const auto Order : {BRMB::Bridge::Text::Encoding::Utf16LE, BRMB::Bridge::Text::Encoding::Utf16BE})
    {
        RC::StringType Ordered;
        for (size_t At = 0; At + 1 < Size; At += 2)
        {
            const bool Little = Order == BRMB::Bridge::Text::Encoding::Utf16LE;
            Ordered.push_back(static_cast<RC::CharType>(Data[At + (Little ? 1 : 0)] << 8 | Data[At + (Little ? 0 : 1)]));
        }
        BRMB::Bridge::Text::Utf16Reader Reader(Order);
        std::string Pieces;
        for (size_t At = 0; At < Size;)
        {
            const size_t Length = std::min<size_t>(1 + Data[At] % 5, Size - At);
            Pieces += Reader.Decode(Bytes.substr(At, Length));
            At += Length;
        }
        Pieces += Reader.Finish();
        Fuzz::Require(Pieces == BRMB::Bridge::Text::Utf16ToUtf8(Ordered), "UTF-16 in pieces reads as the whole text");
    }

    // The same bytes as UTF-16 units (native order).
    RC::StringType Units(Size / sizeof(RC::CharType), RC::CharType{});
    std::memcpy(Units.data(), Data, Units.size() * sizeof(RC::CharType));
    const std::string Encoded = BRMB::Bridge::Text::Utf16ToUtf8(Units);
    Fuzz::Require(utf8::is_valid(Encoded.begin(), Encoded.end()), "encoded UTF-16 is valid UTF-8");
    Fuzz::Require(Encoded.size() <= Units.size() * 3, "three bytes at most per unit");
    if (IsWellFormedUtf16(Units))
    {
        Fuzz::Require(BRMB::Bridge::Text::Utf8ToUtf16(Encoded) == Units, "well-formed UTF-16 survives a round trip");
    }
    else
    {
        Fuzz::Require(IsWellFormedUtf16(BRMB::Bridge::Text::Utf8ToUtf16(Encoded)), "repaired text stays well formed");
    }

    // An engine string over the units without a terminator: the view stops at its count.
    if (!Units.empty())
    {
        RC::Unreal::FString Text;
        auto& Chars = Text.GetCharArray();
        for (const RC::CharType Unit : Units)
        {
            Chars.Add(Unit);
        }
        const RC::StringViewType View = BRMB::Bridge::Text::FStringView(Text);
        const size_t Nul = Units.find(RC::CharType{});
        Fuzz::Require(View == RC::StringViewType(Units).substr(0, Nul), "the view ends at the first NUL or the count");
    }
    return 0;
}
