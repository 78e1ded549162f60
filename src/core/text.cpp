// UTF-8 / UTF-16 conversions for every text that crosses between the engine and the mod.
// ASCII, by far the common case, goes sixteen bytes at a time and the commonest well-formed
// sequences are handled in line; the rest, and the repair of malformed input, is utfcpp's.
// Malformed input is replaced, never reported.
#include <log_bridge.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <climits>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include <utf8.h>

namespace BRMB::Text
{
    namespace
    {
        constexpr uint32_t Replacement = 0xFFFD;

        auto IsHighSurrogate(uint32_t Unit) -> bool { return Unit >= 0xD800 && Unit <= 0xDBFF; }
        auto IsLowSurrogate(uint32_t Unit) -> bool { return Unit >= 0xDC00 && Unit <= 0xDFFF; }

        template <typename From>
        auto UnitValue(From Unit) -> uint32_t
        {
            return static_cast<uint32_t>(static_cast<std::make_unsigned_t<From>>(Unit));
        }

        // ASCII goes sixteen bytes at a time: two loads and one mask test tell whether the next
        // block is all ASCII (below 0x80 in every byte, or in every 16-bit unit).
        template <typename From>
        constexpr uint64_t NonAsciiMask = sizeof(From) == 1 ? 0x8080808080808080ULL : 0xFF80FF80FF80FF80ULL;

        template <typename From>
        constexpr size_t BlockUnits = 16 / sizeof(From);

        template <typename From, typename To>
        auto CopyIfAsciiBlock(const From* In, To* Out) -> bool
        {
            uint64_t Words[2] = {};
            std::memcpy(Words, In, sizeof(Words));
            if (((Words[0] | Words[1]) & NonAsciiMask<From>) != 0)
            {
                return false;
            }
            for (size_t Index = 0; Index < BlockUnits<From>; ++Index)
            {
                Out[Index] = static_cast<To>(UnitValue(In[Index]));
            }
            return true;
        }

        // Copies the run of ASCII units at In: whole blocks while they are all ASCII, then one by
        // one up to the next unit beyond ASCII (or End).
        // Returns where both sides stand after the run.
        template <typename From, typename To>
        auto CopyAsciiRun(const From* In, const From* const End, To* Out) -> std::pair<const From*, To*>
        {
            constexpr auto Step = static_cast<std::ptrdiff_t>(BlockUnits<From>);
            while (End - In >= Step && CopyIfAsciiBlock(In, Out))
            {
                In += Step;
                Out += Step;
            }
            while (In < End && UnitValue(*In) < 0x80)
            {
                *Out++ = static_cast<To>(UnitValue(*In++));
            }
            return {In, Out};
        }

        auto IsTrail(unsigned char Byte) -> bool { return (Byte & 0xC0) == 0x80; }

        // The well-formed two- and three-byte sequences that make up most non-ASCII text, decoded
        // in line; false (nothing consumed) for anything else, which utfcpp then decodes or rejects.
        auto NextShortSequence(const char*& In, const char* End, uint32_t& CodePoint) -> bool
        {
            const auto Lead = static_cast<unsigned char>(In[0]);
            if (Lead >= 0xC2 && Lead <= 0xDF && End - In >= 2)
            {
                const auto Trail = static_cast<unsigned char>(In[1]);
                if (!IsTrail(Trail))
                {
                    return false;
                }
                CodePoint = ((Lead & 0x1Fu) << 6) | (Trail & 0x3Fu);
                In += 2;
                return true;
            }
            if (Lead >= 0xE0 && Lead <= 0xEF && End - In >= 3)
            {
                const auto First = static_cast<unsigned char>(In[1]);
                const auto Second = static_cast<unsigned char>(In[2]);
                // E0 needs A0 or above (shorter forms are overlong); ED below A0 (above are surrogates).
                const unsigned char Low = Lead == 0xE0 ? 0xA0 : 0x80;
                const unsigned char High = Lead == 0xED ? 0x9F : 0xBF;
                if (First < Low || First > High || !IsTrail(Second))
                {
                    return false;
                }
                CodePoint = ((Lead & 0x0Fu) << 12) | ((First & 0x3Fu) << 6) | (Second & 0x3Fu);
                In += 3;
                return true;
            }
            return false;
        }
    } // namespace

    auto Utf16ToUtf8(RC::StringViewType Text) -> std::string
    {
        static_assert(sizeof(RC::CharType) == 2, "engine text is UTF-16");
        // Sized for ASCII, which is one byte per unit. The first non-ASCII unit grows it once to
        // the worst case of the rest: three bytes per unit (a pair of units takes four).
        std::string Narrow(Text.size(), '\0');
        const RC::CharType* In = Text.data();
        const RC::CharType* const End = In + Text.size();
        char* Out = Narrow.data();
        std::tie(In, Out) = CopyAsciiRun(In, End, Out);
        if (In == End)
        {
            return Narrow;
        }
        const auto Prefix = static_cast<size_t>(Out - Narrow.data());
        Narrow.resize(Prefix + (Text.size() - Prefix) * 3);
        Out = Narrow.data() + Prefix;
        while (In < End)
        {
            const uint32_t Unit = UnitValue(*In);
            if (Unit < 0x80)
            {
                std::tie(In, Out) = CopyAsciiRun(In, End, Out);
                continue;
            }
            ++In;
            uint32_t CodePoint = Unit;
            if (IsHighSurrogate(Unit) && In < End && IsLowSurrogate(UnitValue(*In)))
            {
                CodePoint = 0x10000 + ((Unit - 0xD800) << 10) + (UnitValue(*In++) - 0xDC00);
            }
            else if (IsHighSurrogate(Unit) || IsLowSurrogate(Unit))
            {
                CodePoint = Replacement;
            }
            Out = utf8::unchecked::append(CodePoint, Out);
        }
        Narrow.resize(static_cast<size_t>(Out - Narrow.data()));
        return Narrow;
    }

    namespace
    {
        // Decodes Text into Out, which has room for Text.size() units (UTF-16 never needs more
        // units than UTF-8 has bytes); returns the units written.
        auto DecodeInto(std::string_view Text, RC::CharType* const Start) -> size_t
        {
            RC::CharType* Out = Start;
            const char* In = Text.data();
            const char* const End = In + Text.size();
            try
            {
                while (In < End)
                {
                    if (UnitValue(*In) < 0x80)
                    {
                        std::tie(In, Out) = CopyAsciiRun(In, End, Out);
                        continue;
                    }
                    uint32_t CodePoint = 0;
                    if (!NextShortSequence(In, End, CodePoint))
                    {
                        CodePoint = utf8::next(In, End);
                    }
                    if (CodePoint > 0xFFFF)
                    {
                        *Out++ = static_cast<RC::CharType>(0xD800 + ((CodePoint - 0x10000) >> 10));
                        *Out++ = static_cast<RC::CharType>(0xDC00 + ((CodePoint - 0x10000) & 0x3FF));
                    }
                    else
                    {
                        *Out++ = static_cast<RC::CharType>(CodePoint);
                    }
                }
            }
            catch (const utf8::exception&)
            {
                // Malformed text is rare: repair all of it once, then decode what is now valid.
                // Each replaced sequence took at least one byte, so the room still suffices.
                std::string Repaired;
                Repaired.reserve(Text.size() + 8);
                utf8::replace_invalid(Text.begin(), Text.end(), std::back_inserter(Repaired), Replacement);
                return static_cast<size_t>(utf8::unchecked::utf8to16(Repaired.begin(), Repaired.end(), Start) - Start);
            }
            return static_cast<size_t>(Out - Start);
        }

        // Where Text may be cut so that decoding both sides apart gives what decoding it whole
        // gives: before its last byte that is not a continuation byte, when that byte begins a
        // sequence (which the next piece may complete). Decoding, and the repair of malformed
        // input, never carries past such a byte. Text.size() when nothing needs to wait.
        auto SafeCut(std::string_view Text) -> size_t
        {
            for (size_t Index = Text.size(); Index > 0; --Index)
            {
                const auto Byte = static_cast<unsigned char>(Text[Index - 1]);
                if (!IsTrail(Byte))
                {
                    return Byte < 0x80 ? Text.size() : Index - 1;
                }
            }
            return 0;
        }
    } // namespace

    auto Utf8ToUtf16(std::string_view Text) -> RC::StringType
    {
        RC::StringType Wide(Text.size(), RC::CharType{});
        Wide.resize(DecodeInto(Text, Wide.data()));
        return Wide;
    }

    auto FStringWriter::Reserve(size_t ExpectedBytes) -> void
    {
        if (ExpectedBytes > 0)
        {
            (void)MakeRoom(std::min<size_t>(ExpectedBytes, INT32_MAX - 1));
        }
    }

    auto FStringWriter::Append(std::string_view Piece) -> void
    {
        if (Ended)
        {
            return;
        }
        if (const size_t Nul = Piece.find('\0'); Nul != std::string_view::npos)
        {
            Piece = Piece.substr(0, Nul);
            Ended = true;
        }
        if (Carry.empty())
        {
            Decode(Piece);
            return;
        }
        std::string Joined = std::exchange(Carry, {});
        Joined.append(Piece);
        Decode(Joined);
    }

    auto FStringWriter::Take() -> RC::Unreal::FString
    {
        if (!Carry.empty())
        {
            Ended = true;
            Decode(std::exchange(Carry, {}));
        }
        Ended = false;
        if (Result.GetCharArray().Num() == 0)
        {
            Result = RC::Unreal::FString();
            return {};
        }
        *MakeRoom(0) = RC::CharType{};
        Commit(1);
        return std::exchange(Result, RC::Unreal::FString());
    }

    auto FStringWriter::Decode(std::string_view Text) -> void
    {
        if (Text.empty())
        {
            return;
        }
        // The common case, ASCII, in one pass without branches (which the compiler vectorises):
        // widen every byte and note whether any was beyond ASCII. If one was, the general
        // decoder redoes the text from that byte on.
        RC::CharType* __restrict const Out = MakeRoom(Text.size());
        const auto* __restrict const In = reinterpret_cast<const unsigned char*>(Text.data());
        unsigned Bits = 0;
        for (size_t Index = 0; Index < Text.size(); ++Index)
        {
            Bits |= In[Index];
            Out[Index] = static_cast<RC::CharType>(In[Index]);
        }
        if (Bits < 0x80)
        {
            Commit(Text.size());
            return;
        }
        size_t Ascii = 0;
        while (In[Ascii] < 0x80)
        {
            ++Ascii;
        }
        // Everything before Ascii is ASCII, so the cut never falls before it.
        const size_t Cut = Ended ? Text.size() : SafeCut(Text);
        Commit(Ascii + DecodeInto(Text.substr(Ascii, Cut - Ascii), Out + Ascii));
        Carry.assign(Text.substr(Cut));
    }

    // Room for Units more characters and the terminator, growing by half again when the text
    // outgrows what was reserved.
    auto FStringWriter::MakeRoom(size_t Units) -> RC::CharType*
    {
        auto& Chars = Result.GetCharArray();
        const auto Used = static_cast<size_t>(Chars.Num());
        if (Units >= static_cast<size_t>(INT32_MAX) - Used)
        {
            throw std::length_error("text too long for an engine string");
        }
        const size_t Needed = Used + Units + 1;
        if (Needed > static_cast<size_t>(Chars.Max()))
        {
            const size_t Grown = Chars.Max() == 0 ? Needed : std::max(Needed, Used + Used / 2);
            Chars.Reserve(static_cast<RC::Unreal::int32>(std::min<size_t>(Grown, INT32_MAX)));
        }
        return Chars.GetData() + Used;
    }

    // The characters written at the end are now part of the string; the room was made for them.
    auto FStringWriter::Commit(size_t Units) -> void
    {
        (void)Result.GetCharArray().AddUninitialized(static_cast<RC::Unreal::int32>(Units));
    }

    auto Utf8ToFString(std::string_view Text) -> RC::Unreal::FString
    {
        FStringWriter Writer;
        Writer.Reserve(Text.substr(0, Text.find('\0')).size());
        Writer.Append(Text);
        return Writer.Take();
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
