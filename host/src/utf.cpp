// UTF-8 <-> UTF-16 for the host's own needs (narrow searches, file and console devices).
// Invalid input becomes U+FFFD; nothing here raises.
#include "sim_state.hpp"

namespace RC::Sim
{
    namespace
    {
        constexpr char32_t Replacement = 0xFFFD;

        auto AppendUtf8(std::string& Out, char32_t Code) -> void
        {
            if (Code < 0x80)
            {
                Out.push_back(static_cast<char>(Code));
            }
            else if (Code < 0x800)
            {
                Out.push_back(static_cast<char>(0xC0 | (Code >> 6)));
                Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
            }
            else if (Code < 0x10000)
            {
                Out.push_back(static_cast<char>(0xE0 | (Code >> 12)));
                Out.push_back(static_cast<char>(0x80 | ((Code >> 6) & 0x3F)));
                Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
            }
            else
            {
                Out.push_back(static_cast<char>(0xF0 | (Code >> 18)));
                Out.push_back(static_cast<char>(0x80 | ((Code >> 12) & 0x3F)));
                Out.push_back(static_cast<char>(0x80 | ((Code >> 6) & 0x3F)));
                Out.push_back(static_cast<char>(0x80 | (Code & 0x3F)));
            }
        }

        auto AppendUtf16(StringType& Out, char32_t Code) -> void
        {
            if (Code < 0x10000)
            {
                Out.push_back(static_cast<CharType>(Code));
                return;
            }
            Code -= 0x10000;
            Out.push_back(static_cast<CharType>(0xD800 + (Code >> 10)));
            Out.push_back(static_cast<CharType>(0xDC00 + (Code & 0x3FF)));
        }
    } // namespace

    auto ToUtf8(StringViewType Text) -> std::string
    {
        std::string Out;
        Out.reserve(Text.size());
        for (size_t Index = 0; Index < Text.size(); ++Index)
        {
            const auto Unit = static_cast<char32_t>(static_cast<uint16_t>(Text[Index]));
            if (Unit >= 0xD800 && Unit <= 0xDBFF && Index + 1 < Text.size())
            {
                const auto Next = static_cast<char32_t>(static_cast<uint16_t>(Text[Index + 1]));
                if (Next >= 0xDC00 && Next <= 0xDFFF)
                {
                    AppendUtf8(Out, 0x10000 + ((Unit - 0xD800) << 10) + (Next - 0xDC00));
                    ++Index;
                    continue;
                }
            }
            AppendUtf8(Out, Unit >= 0xD800 && Unit <= 0xDFFF ? Replacement : Unit);
        }
        return Out;
    }

    auto FromUtf8(std::string_view Text) -> StringType
    {
        StringType Out;
        Out.reserve(Text.size());
        size_t Index = 0;
        while (Index < Text.size())
        {
            const auto Lead = static_cast<unsigned char>(Text[Index]);
            size_t Length = 0;
            char32_t Code = 0;
            char32_t Minimum = 0;
            if (Lead < 0x80)
            {
                Out.push_back(static_cast<CharType>(Lead));
                ++Index;
                continue;
            }
            if (Lead >= 0xC2 && Lead <= 0xDF)
            {
                Length = 2;
                Code = Lead & 0x1F;
                Minimum = 0x80;
            }
            else if (Lead >= 0xE0 && Lead <= 0xEF)
            {
                Length = 3;
                Code = Lead & 0x0F;
                Minimum = 0x800;
            }
            else if (Lead >= 0xF0 && Lead <= 0xF4)
            {
                Length = 4;
                Code = Lead & 0x07;
                Minimum = 0x10000;
            }
            size_t Taken = 1;
            bool Valid = Length != 0;
            while (Valid && Taken < Length)
            {
                if (Index + Taken >= Text.size())
                {
                    Valid = false;
                    break;
                }
                const auto Follow = static_cast<unsigned char>(Text[Index + Taken]);
                if ((Follow & 0xC0) != 0x80)
                {
                    Valid = false;
                    break;
                }
                Code = (Code << 6) | (Follow & 0x3F);
                ++Taken;
            }
            if (Valid && (Code < Minimum || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)))
            {
                Valid = false;
            }
            AppendUtf16(Out, Valid ? Code : Replacement);
            Index += Taken;
        }
        return Out;
    }
} // namespace RC::Sim
