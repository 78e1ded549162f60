// UTF-8 / UTF-16 conversions for every text that crosses between the engine and the mod.
// Pure ASCII, by far the common case, is widened or narrowed in one sized pass; everything else
// goes through utfcpp. Malformed input is replaced, never reported.
#include <log_bridge.hpp>

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include <utf8.h>

namespace BRMB::Text
{
    namespace
    {
        constexpr uint32_t Replacement = 0xFFFD;

        auto IsHighSurrogate(uint32_t Unit) -> bool { return Unit >= 0xD800 && Unit <= 0xDBFF; }
        auto IsLowSurrogate(uint32_t Unit) -> bool { return Unit >= 0xDC00 && Unit <= 0xDFFF; }

        // One OR over the whole text: a branch-free loop the compiler vectorises.
        auto IsAscii(std::string_view Text) -> bool
        {
            unsigned Bits = 0;
            for (const char Byte : Text)
            {
                Bits |= static_cast<unsigned char>(Byte);
            }
            return Bits < 0x80;
        }

        auto IsAscii(RC::StringViewType Text) -> bool
        {
            uint32_t Bits = 0;
            for (const RC::CharType Unit : Text)
            {
                Bits |= static_cast<uint32_t>(Unit);
            }
            return Bits < 0x80;
        }

        // Unit at Index as a code point; a surrogate pair is consumed whole, a lone surrogate
        // becomes U+FFFD.
        auto NextCodePoint(RC::StringViewType Text, size_t& Index) -> uint32_t
        {
            const auto Unit = static_cast<uint32_t>(Text[Index++]);
            if (IsHighSurrogate(Unit))
            {
                if (Index < Text.size() && IsLowSurrogate(static_cast<uint32_t>(Text[Index])))
                {
                    const auto Low = static_cast<uint32_t>(Text[Index++]);
                    return 0x10000 + ((Unit - 0xD800) << 10) + (Low - 0xDC00);
                }
                return Replacement;
            }
            if (IsLowSurrogate(Unit))
            {
                return Replacement;
            }
            return Unit;
        }

        auto EncodedSize(uint32_t CodePoint) -> size_t
        {
            return CodePoint < 0x80 ? 1 : CodePoint < 0x800 ? 2 : CodePoint < 0x10000 ? 3 : 4;
        }

        // Text must be valid UTF-8; UTF-16 never needs more units than UTF-8 has bytes.
        auto DecodeValid(std::string_view Text) -> RC::StringType
        {
            RC::StringType Wide(Text.size(), RC::CharType{});
            RC::CharType* const End = utf8::unchecked::utf8to16(Text.begin(), Text.end(), Wide.data());
            Wide.resize(static_cast<size_t>(End - Wide.data()));
            return Wide;
        }
    } // namespace

    auto Utf16ToUtf8(RC::StringViewType Text) -> std::string
    {
        if (IsAscii(Text))
        {
            std::string Narrow(Text.size(), '\0');
            for (size_t Index = 0; Index < Text.size(); ++Index)
            {
                Narrow[Index] = static_cast<char>(Text[Index]);
            }
            return Narrow;
        }

        size_t Size = 0;
        for (size_t Index = 0; Index < Text.size();)
        {
            Size += EncodedSize(NextCodePoint(Text, Index));
        }
        std::string Narrow(Size, '\0');
        char* Out = Narrow.data();
        for (size_t Index = 0; Index < Text.size();)
        {
            Out = utf8::unchecked::append(NextCodePoint(Text, Index), Out);
        }
        return Narrow;
    }

    auto Utf8ToUtf16(std::string_view Text) -> RC::StringType
    {
        if (IsAscii(Text))
        {
            RC::StringType Wide(Text.size(), RC::CharType{});
            for (size_t Index = 0; Index < Text.size(); ++Index)
            {
                Wide[Index] = static_cast<RC::CharType>(Text[Index]);
            }
            return Wide;
        }
        if (utf8::find_invalid(Text.begin(), Text.end()) == Text.end())
        {
            return DecodeValid(Text);
        }
        std::string Repaired;
        Repaired.reserve(Text.size() + 8);
        utf8::replace_invalid(Text.begin(), Text.end(), std::back_inserter(Repaired), Replacement);
        return DecodeValid(Repaired);
    }

    auto FStringView(const RC::Unreal::FString& Text) -> RC::StringViewType
    {
        const auto& Chars = Text.GetCharArray();
        if (Chars.GetData() == nullptr || Chars.Num() <= 0)
        {
            return {};
        }
        // Bounded by the array, so a missing terminator cannot run past the storage.
        const RC::StringViewType All(Chars.GetData(), static_cast<size_t>(Chars.Num()));
        return All.substr(0, All.find(RC::CharType{}));
    }
} // namespace BRMB::Text
