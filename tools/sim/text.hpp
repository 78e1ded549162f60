// UTF-8 (the scenario's texts) to the host's UTF-16 and back, through utfcpp: the simulator's
// view of a text must not share a fault with the mod's own conversions that it checks.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include <String/StringType.hpp>
#include <utf8.h>

namespace BRMB::Sim
{
    // Malformed UTF-8 comes out as U+FFFD.
    [[nodiscard]] inline auto Wide(std::string_view Utf8) -> RC::StringType
    {
        std::string Valid;
        utf8::replace_invalid(Utf8.begin(), Utf8.end(), std::back_inserter(Valid));
        RC::StringType Result;
        utf8::utf8to16(Valid.begin(), Valid.end(), std::back_inserter(Result));
        return Result;
    }

    // A unit of a broken surrogate pair comes out as U+FFFD, as the engine shows it.
    [[nodiscard]] inline auto Narrow(RC::StringViewType Text) -> std::string
    {
        const auto Unit = [&](size_t Index) { return static_cast<uint32_t>(static_cast<char16_t>(Text[Index])); };
        const auto IsHigh = [](uint32_t Value) { return Value >= 0xD800 && Value <= 0xDBFF; };
        const auto IsLow = [](uint32_t Value) { return Value >= 0xDC00 && Value <= 0xDFFF; };
        std::string Result;
        Result.reserve(Text.size());
        for (size_t Index = 0; Index < Text.size(); ++Index)
        {
            uint32_t CodePoint = Unit(Index);
            if (IsHigh(CodePoint) && Index + 1 < Text.size() && IsLow(Unit(Index + 1)))
            {
                CodePoint = 0x10000 + ((CodePoint - 0xD800) << 10) + (Unit(++Index) - 0xDC00);
            }
            else if (IsHigh(CodePoint) || IsLow(CodePoint))
            {
                CodePoint = 0xFFFD;
            }
            utf8::append(CodePoint, std::back_inserter(Result));
        }
        return Result;
    }
} // namespace BRMB::Sim
