// The UTF-8/UTF-16 conversions on arbitrary input. Properties: every output is well formed;
// well-formed input survives a round trip unchanged; malformed input never makes the output
// longer than one replacement per input unit; an engine string reads only up to its count.
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
