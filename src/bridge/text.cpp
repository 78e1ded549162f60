// UTF-8 / UTF-16 conversions for every text that crosses between the engine and the mod.
// ASCII, by far the common case, goes sixteen bytes at a time. Malformed input is replaced,
// never reported, and costs no more per byte than well-formed text: the decoder looks at most
// three bytes ahead, so text that arrives in pieces carries at most three bytes between them.
#include "bridge/text.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <climits>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include <utf8.h>

namespace BRMB::Bridge::Text
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

    auto IsWellFormedUtf16(RC::StringViewType Text) -> bool
    {
        for (size_t Index = 0; Index < Text.size(); ++Index)
        {
            const uint32_t Unit = UnitValue(Text[Index]);
            if (IsHighSurrogate(Unit) && Index + 1 < Text.size() && IsLowSurrogate(UnitValue(Text[Index + 1])))
            {
                ++Index;
            }
            else if (IsHighSurrogate(Unit) || IsLowSurrogate(Unit))
            {
                return false;
            }
        }
        return true;
    }

    namespace
    {
        // The length a lead byte announces; 0 for a byte that cannot begin a sequence (a
        // continuation byte, F8 to FF). C0, C1 and F5 to F7 announce sequences that are then
        // refused as overlong or beyond U+10FFFF.
        constexpr auto SequenceLengths = [] {
            std::array<uint8_t, 256> Lengths{};
            for (unsigned Lead = 0; Lead < 256; ++Lead)
            {
                Lengths[Lead] = Lead < 0x80 ? 1 : (Lead >> 5) == 0x6 ? 2 : (Lead >> 4) == 0xE ? 3 : (Lead >> 3) == 0x1E ? 4 : 0;
            }
            return Lengths;
        }();

        // How many of the (up to three) bytes after a lead are continuation bytes in a row.
        auto TrailsAfterLead(const unsigned char* Lead, size_t Available) -> size_t
        {
            if (Available >= 4)
            {
                // In memory order, lowest first (one load on a little-endian machine). Per byte,
                // NotTrail is zero exactly when the byte is a continuation byte.
                const uint32_t Word = Lead[0] | (uint32_t{Lead[1]} << 8) | (uint32_t{Lead[2]} << 16) |
                                      (uint32_t{Lead[3]} << 24);
                const uint32_t NotTrail = (Word & 0xC0C0C0C0u) ^ 0x80808080u;
                return static_cast<size_t>(std::countr_zero((NotTrail >> 8) | 0xFF000000u)) / 8;
            }
            size_t Count = 0;
            while (Count + 1 < Available && IsTrail(Lead[Count + 1]))
            {
                ++Count;
            }
            return Count;
        }

        auto DecodeSequence(const unsigned char* In, size_t Length) -> uint32_t
        {
            switch (Length)
            {
            case 2:
                return ((In[0] & 0x1Fu) << 6) | (In[1] & 0x3Fu);
            case 3:
                return ((In[0] & 0x0Fu) << 12) | ((In[1] & 0x3Fu) << 6) | (In[2] & 0x3Fu);
            default:
                return ((In[0] & 0x07u) << 18) | ((In[1] & 0x3Fu) << 12) | ((In[2] & 0x3Fu) << 6) | (In[3] & 0x3Fu);
            }
        }

        // Neither overlong, nor a surrogate, nor beyond U+10FFFF.
        auto IsAcceptable(uint32_t CodePoint, size_t Length) -> bool
        {
            switch (Length)
            {
            case 2:
                return CodePoint >= 0x80;
            case 3:
                return CodePoint >= 0x800 && !IsHighSurrogate(CodePoint) && !IsLowSurrogate(CodePoint);
            default:
                return CodePoint >= 0x10000 && CodePoint <= 0x10FFFF;
            }
        }

        struct Decoded
        {
            size_t Read;
            size_t Written;
        };

        // Decodes Text into Start, which has room for Text.size() units (UTF-16 never needs more
        // units than UTF-8 has bytes). Malformed input is replaced: one U+FFFD for a byte that
        // cannot begin a sequence, and one for a sequence that is cut short, overlong, a surrogate
        // or beyond U+10FFFF; a sequence refused whole also takes the continuation bytes that
        // follow it, however many (SkipTrails carries that across pieces). With More set, a
        // sequence cut by the end of Text is left unread for the next piece: at most three bytes.
        auto DecodeUtf8(std::string_view Text, RC::CharType* const Start, bool& SkipTrails, bool More) -> Decoded
        {
            const char* const Begin = Text.data();
            const char* In = Begin;
            const char* const End = In + Text.size();
            RC::CharType* Out = Start;
            const auto SkipContinuations = [&] {
                while (In < End && IsTrail(static_cast<unsigned char>(*In)))
                {
                    ++In;
                }
                SkipTrails = In == End;
            };
            if (SkipTrails)
            {
                SkipContinuations();
            }
            while (In < End)
            {
                const auto Lead = static_cast<unsigned char>(*In);
                if (Lead < 0x80)
                {
                    std::tie(In, Out) = CopyAsciiRun(In, End, Out);
                    continue;
                }
                const size_t Length = SequenceLengths[Lead];
                if (Length == 0)
                {
                    *Out++ = static_cast<RC::CharType>(Replacement);
                    ++In;
                    continue;
                }
                const auto Available = static_cast<size_t>(End - In);
                const auto* const Bytes = reinterpret_cast<const unsigned char*>(In);
                if (Available >= 2 && !IsTrail(Bytes[1]))
                {
                    // A lead alone. Stepping by a branch, not by a count loaded from the text,
                    // keeps a run of them from waiting on each load in turn.
                    *Out++ = static_cast<RC::CharType>(Replacement);
                    ++In;
                    continue;
                }
                const size_t Have = std::min(1 + TrailsAfterLead(Bytes, Available), Length);
                if (Have < Length)
                {
                    if (Have == Available && More)
                    {
                        break;
                    }
                    // Cut short by a byte that is not a continuation, or by the end of the text.
                    *Out++ = static_cast<RC::CharType>(Replacement);
                    In += Have;
                    continue;
                }
                const uint32_t CodePoint = DecodeSequence(Bytes, Length);
                In += Length;
                if (!IsAcceptable(CodePoint, Length))
                {
                    *Out++ = static_cast<RC::CharType>(Replacement);
                    SkipContinuations();
                    continue;
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
            return {static_cast<size_t>(In - Begin), static_cast<size_t>(Out - Start)};
        }
    } // namespace

    auto Utf8ToUtf16(std::string_view Text) -> RC::StringType
    {
        RC::StringType Wide(Text.size(), RC::CharType{});
        bool SkipTrails = false;
        Wide.resize(DecodeUtf8(Text, Wide.data(), SkipTrails, false).Written);
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
        if (Piece.empty())
        {
            // Any held sequence waits for Take.
            return;
        }
        if (CarryLength > 0)
        {
            // The held sequence needs at most three more bytes: decode it with the piece's first
            // three, then go on with the rest of the piece from where that decoding stopped.
            const size_t Held = std::exchange(CarryLength, 0);
            const size_t Taken = std::min<size_t>(Piece.size(), 3);
            std::array<char, 6> Joined{};
            std::memcpy(Joined.data(), Carry.data(), Held);
            std::memcpy(Joined.data() + Held, Piece.data(), Taken);
            const size_t Read = Decode(std::string_view(Joined.data(), Held + Taken), Taken < Piece.size());
            if (Taken == Piece.size())
            {
                return;
            }
            // Three bytes complete or refute any held sequence, so decoding got past the held
            // bytes; whatever it held back from the joined bytes is still in the piece.
            CarryLength = 0;
            Piece.remove_prefix(Read - Held);
        }
        (void)Decode(Piece, false);
    }

    auto FStringWriter::Take() -> RC::Unreal::FString
    {
        if (CarryLength > 0)
        {
            // A sequence the text's end cut short.
            Ended = true;
            (void)Decode(std::string_view(Carry.data(), std::exchange(CarryLength, 0)), false);
        }
        Ended = false;
        SkipTrails = false;
        if (Result.GetCharArray().Num() == 0)
        {
            Result = RC::Unreal::FString();
            return {};
        }
        *MakeRoom(0) = RC::CharType{};
        Commit(1);
        return std::exchange(Result, RC::Unreal::FString());
    }

    auto FStringWriter::Carried() const -> std::string_view { return {Carry.data(), CarryLength}; }

    // Decodes Text; unless the text has ended or MoreFollows, a sequence cut by its end is held
    // for the next piece. Returns the bytes decoded.
    auto FStringWriter::Decode(std::string_view Text, bool MoreFollows) -> size_t
    {
        if (Text.empty())
        {
            return 0;
        }
        RC::CharType* __restrict const Out = MakeRoom(Text.size());
        const auto* __restrict const In = reinterpret_cast<const unsigned char*>(Text.data());
        size_t Ascii = 0;
        if (!SkipTrails)
        {
            // The common case, ASCII, in one pass without branches (which the compiler
            // vectorises): widen every byte of a block and note whether any was beyond ASCII.
            // Blocks keep the pass from widening a whole piece whose text turns non-ASCII early.
            constexpr size_t Block = 4096;
            for (; Ascii < Text.size(); Ascii += Block)
            {
                const size_t Count = std::min(Block, Text.size() - Ascii);
                unsigned Bits = 0;
                for (size_t Index = Ascii; Index < Ascii + Count; ++Index)
                {
                    Bits |= In[Index];
                    Out[Index] = static_cast<RC::CharType>(In[Index]);
                }
                if (Bits >= 0x80)
                {
                    break;
                }
            }
            if (Ascii >= Text.size())
            {
                Commit(Text.size());
                return Text.size();
            }
        }
        const bool More = MoreFollows || !Ended;
        const Decoded Done = DecodeUtf8(Text.substr(Ascii), Out + Ascii, SkipTrails, More);
        Commit(Ascii + Done.Written);
        const size_t Read = Ascii + Done.Read;
        CarryLength = Text.size() - Read;
        std::memcpy(Carry.data(), Text.data() + Read, CarryLength);
        return Read;
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

    // The characters written at the end become part of the string; the room was made for them.
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

    auto FindByteOrderMark(std::string_view Start) -> ByteOrderMark
    {
        if (Start.starts_with("\xEF\xBB\xBF"))
        {
            return {Encoding::Utf8, 3};
        }
        if (Start.starts_with("\xFF\xFE"))
        {
            return {Encoding::Utf16LE, 2};
        }
        if (Start.starts_with("\xFE\xFF"))
        {
            return {Encoding::Utf16BE, 2};
        }
        return {Encoding::Utf8, 0};
    }

    Utf16Reader::Utf16Reader(Encoding Order) : BigEndian(Order == Encoding::Utf16BE) {}

    auto Utf16Reader::Decode(std::string_view Piece) -> std::string
    {
        RC::StringType Units;
        Units.reserve(Piece.size() / 2 + 2);
        if (HeldHigh != 0)
        {
            Units.push_back(static_cast<RC::CharType>(std::exchange(HeldHigh, 0)));
        }
        const auto Unit = [this](char First, char Second) {
            const auto Low = static_cast<unsigned char>(BigEndian ? Second : First);
            const auto High = static_cast<unsigned char>(BigEndian ? First : Second);
            return static_cast<RC::CharType>((High << 8) | Low);
        };
        size_t At = 0;
        if (OddByte && !Piece.empty())
        {
            Units.push_back(Unit(*std::exchange(OddByte, std::nullopt), Piece[0]));
            At = 1;
        }
        for (; Piece.size() - At >= 2; At += 2)
        {
            Units.push_back(Unit(Piece[At], Piece[At + 1]));
        }
        if (At < Piece.size())
        {
            OddByte = Piece[At];
        }
        // A high surrogate at the end may pair with the next piece's first unit.
        if (!Units.empty() && IsHighSurrogate(UnitValue(Units.back())))
        {
            HeldHigh = UnitValue(Units.back());
            Units.pop_back();
        }
        return Utf16ToUtf8(Units);
    }

    auto Utf16Reader::Finish() -> std::string
    {
        OddByte.reset();
        return std::exchange(HeldHigh, 0) != 0 ? Utf16ToUtf8(RC::StringViewType(STR("\xFFFD"))) : std::string();
    }

    auto FStringView(RC::Unreal::FString& Text) -> RC::StringViewType
    {
        auto& Chars = Text.GetCharArray();
        if (Chars.GetData() == nullptr || Chars.Num() <= 0)
        {
            return {};
        }
        // Bounded by the array, so a missing terminator cannot run past the storage.
        const RC::StringViewType All(Chars.GetData(), static_cast<size_t>(Chars.Num()));
        return All.substr(0, All.find(RC::CharType{}));
    }
} // namespace BRMB::Bridge::Text
