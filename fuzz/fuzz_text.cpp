// The UTF-8/UTF-16 conversions on arbitrary input. Properties: every output is well formed;
// well-formed input survives a round trip unchanged; malformed input never makes the output
// longer than one replacement per input unit; text written to an engine string in pieces gives
// what the whole text gives, wherever the pieces are cut; an engine string reads only up to its
// count.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <utf8.h>

#include <Unreal/FString.hpp>
#include <log_bridge.hpp>

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
} // namespace

extern "C" auto LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) -> int
{
    // The bytes as UTF-8 text.
    const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
    const RC::StringType Decoded = BRMB::Text::Utf8ToUtf16(Bytes);
    Fuzz::Require(IsWellFormedUtf16(Decoded), "decoded UTF-8 is well-formed UTF-16");
    Fuzz::Require(Decoded.size() <= Bytes.size(), "one unit at most per byte");
    const bool ValidUtf8 = utf8::is_valid(Bytes.begin(), Bytes.end());
    if (ValidUtf8)
    {
        Fuzz::Require(BRMB::Text::Utf16ToUtf8(Decoded) == Bytes, "valid UTF-8 survives a round trip");
    }

    // The bytes in pieces, as a file arrives in chunks: the piece lengths come from the bytes
    // themselves so that the fuzzer steers the cuts too.
    {
        BRMB::Text::FStringWriter Writer;
        Writer.Reserve(Size / 2);
        for (size_t At = 0; At < Size;)
        {
            const size_t Length = std::min<size_t>(1 + Data[At] % 7, Size - At);
            Writer.Append(Bytes.substr(At, Length));
            At += Length;
        }
        const RC::Unreal::FString Built = Writer.Take();
        const RC::StringType Whole = BRMB::Text::Utf8ToUtf16(Bytes.substr(0, Bytes.find('\0')));
        Fuzz::Require(BRMB::Text::FStringView(Built) == Whole, "text in pieces decodes as the whole text");
    }

    // The same bytes as UTF-16 units (native order).
    RC::StringType Units(Size / sizeof(RC::CharType), RC::CharType{});
    std::memcpy(Units.data(), Data, Units.size() * sizeof(RC::CharType));
    const std::string Encoded = BRMB::Text::Utf16ToUtf8(Units);
    Fuzz::Require(utf8::is_valid(Encoded.begin(), Encoded.end()), "encoded UTF-16 is valid UTF-8");
    Fuzz::Require(Encoded.size() <= Units.size() * 3, "three bytes at most per unit");
    if (IsWellFormedUtf16(Units))
    {
        Fuzz::Require(BRMB::Text::Utf8ToUtf16(Encoded) == Units, "well-formed UTF-16 survives a round trip");
    }
    else
    {
        Fuzz::Require(IsWellFormedUtf16(BRMB::Text::Utf8ToUtf16(Encoded)), "repaired text stays well formed");
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
        const RC::StringViewType View = BRMB::Text::FStringView(Text);
        const size_t Nul = Units.find(RC::CharType{});
        Fuzz::Require(View == RC::StringViewType(Units).substr(0, Nul), "the view ends at the first NUL or the count");
    }
    return 0;
}
