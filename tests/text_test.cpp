// The UTF-8 / UTF-16 conversions: well-formed text round-trips, malformed text is replaced.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <utf8.h>

#include <Unreal/FString.hpp>

#include "bridge/text.hpp"
#include "support/mod_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        using BRMB::Bridge::Text::FStringView;
        using BRMB::Bridge::Text::Utf16ToUtf8;
        using BRMB::Bridge::Text::Utf8ToUtf16;

        // The text of a string the test has no further use for.
        auto TextOf(RC::Unreal::FString Text) -> RC::StringType { return RC::StringType(FStringView(Text)); }

        auto Units(std::initializer_list<char16_t> Values) -> RC::StringType
        {
            RC::StringType Text;
            for (const char16_t Value : Values)
            {
                Text.push_back(static_cast<RC::CharType>(Value));
            }
            return Text;
        }

        auto Hex(std::string_view Bytes) -> std::string
        {
            std::string Out;
            for (const char Byte : Bytes)
            {
                constexpr const char* Digits = "0123456789ABCDEF";
                const auto Value = static_cast<unsigned char>(Byte);
                Out += Digits[Value >> 4];
                Out += Digits[Value & 0xF];
                Out += ' ';
            }
            return Out;
        }

        auto HexUnits(RC::StringViewType Text) -> std::string
        {
            std::string Out;
            for (const RC::CharType Unit : Text)
            {
                Out += std::to_string(static_cast<unsigned>(Unit)) + ' ';
            }
            return Out;
        }

        // What the mod has always answered for any bytes: utfcpp's repair of malformed input,
        // then the conversion of the repaired text.
        auto ReferenceDecode(std::string_view Text) -> RC::StringType
        {
            std::string Repaired;
            utf8::replace_invalid(Text.begin(), Text.end(), std::back_inserter(Repaired));
            RC::StringType Wide;
            utf8::unchecked::utf8to16(Repaired.begin(), Repaired.end(), std::back_inserter(Wide));
            return Wide;
        }

        const std::string LongAscii(200, 'a');

        struct Utf16Case
        {
            const char* Name;
            RC::StringType Wide;
            std::string Utf8;
        };

        const std::vector<Utf16Case> Utf16Cases = {
            {"empty", Units({}), ""},
            {"ascii", Units({u'a', u'b', u'c'}), "abc"},
            {"e acute", Units({0x00E9}), "\xC3\xA9"},
            {"last two-byte", Units({0x07FF}), "\xDF\xBF"},
            {"first three-byte", Units({0x0800}), "\xE0\xA0\x80"},
            {"euro", Units({0x20AC}), "\xE2\x82\xAC"},
            {"last BMP", Units({0xFFFF}), "\xEF\xBF\xBF"},
            {"surrogate pair", Units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
            {"highest pair", Units({0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF"},
            {"lone high", Units({0xD800}), "\xEF\xBF\xBD"},
            {"lone low", Units({0xDC00}), "\xEF\xBF\xBD"},
            {"high then ascii", Units({0xD83D, u'x'}), "\xEF\xBF\xBDx"},
            {"high at end", Units({u'a', 0xD83D}), "a\xEF\xBF\xBD"},
            {"reversed pair", Units({0xDE00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD"},
            {"two highs then low", Units({0xD83D, 0xD83D, 0xDE00}), "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
            {"embedded NUL kept", Units({u'a', 0, u'b'}), std::string("a\0b", 3)},
            {"mixed", Units({u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00, u'z'}), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z"},
            {"long ascii then e acute", FromUtf8(LongAscii) + Units({0x00E9}), LongAscii + "\xC3\xA9"},
        };

        struct Utf8Case
        {
            const char* Name;
            std::string Utf8;
            RC::StringType Wide;
        };

        const std::vector<Utf8Case> InvalidUtf8Cases = {
            {"truncated two-byte at end", "a\xC3", Units({u'a', 0xFFFD})},
            {"lead then ascii", "\xC3z", Units({0xFFFD, u'z'})},
            {"invalid lead", "\xFF", Units({0xFFFD})},
            {"two invalid leads", "\xFF\xFE", Units({0xFFFD, 0xFFFD})},
            {"stray continuation", "\x80z", Units({0xFFFD, u'z'})},
            {"truncated three-byte", "\xE2\x82z", Units({0xFFFD, u'z'})},
            {"overlong slash", "\xC0\xAF", Units({0xFFFD})},
            {"encoded surrogate", "\xED\xA0\x80", Units({0xFFFD})},
            {"beyond U+10FFFF", "\xF4\x90\x80\x80", Units({0xFFFD})},
            {"valid around invalid", "\xC3\xA9\xFF\xC3\xA9", Units({0x00E9, 0xFFFD, 0x00E9})},
            {"long ascii then invalid", LongAscii + "\xFF", FromUtf8(LongAscii) + Units({0xFFFD})},
            {"overlong three-byte", "\xE0\x80\x80z", Units({0xFFFD, u'z'})},
            {"three-byte cut at end", "ab\xE6\x9D", Units({u'a', u'b', 0xFFFD})},
            {"four-byte cut at end", "\xF0\x9F\x98", Units({0xFFFD})},
            {"invalid after valid four-byte", "\xF0\x9F\x98\x80\xC3", Units({0xD83D, 0xDE00, 0xFFFD})},
        };
    } // namespace

    TEST(TextTest, Utf16ToUtf8EncodesEachCase)
    {
        for (const Utf16Case& Each : Utf16Cases)
        {
            EXPECT_EQ(Hex(Utf16ToUtf8(Each.Wide)), Hex(Each.Utf8)) << Each.Name;
        }
    }

    TEST(TextTest, Utf8ToUtf16DecodesEveryWellFormedCase)
    {
        for (const Utf16Case& Each : Utf16Cases)
        {
            // Text with lone surrogates was replaced on the way out and cannot come back as it was.
            if (Each.Utf8.find("\xEF\xBF\xBD") != std::string::npos)
            {
                continue;
            }
            EXPECT_EQ(HexUnits(Utf8ToUtf16(Each.Utf8)), HexUnits(Each.Wide)) << Each.Name;
        }
    }

    TEST(TextTest, Utf8ToUtf16ReplacesEachInvalidSequence)
    {
        for (const Utf8Case& Each : InvalidUtf8Cases)
        {
            EXPECT_EQ(HexUnits(Utf8ToUtf16(Each.Utf8)), HexUnits(Each.Wide)) << Each.Name;
        }
    }

    // Every length class of character, after ASCII runs of every length around the block size,
    // against the independent encoder of the test support.
    TEST(TextTest, EveryKindOfCharacterRoundTripsAfterAsciiRunsOfAnyLength)
    {
        const std::vector<uint32_t> CodePoints = {0x7F,   0x80,   0x7FF,  0x800,   0xFFF,   0x1000,
                                                  0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
        for (size_t Run = 0; Run <= 34; ++Run)
        {
            for (const uint32_t CodePoint : CodePoints)
            {
                RC::StringType Wide(Run, STR('x'));
                if (CodePoint > 0xFFFF)
                {
                    Wide += Units({static_cast<char16_t>(0xD800 + ((CodePoint - 0x10000) >> 10)),
                                   static_cast<char16_t>(0xDC00 + ((CodePoint - 0x10000) & 0x3FF))});
                }
                else
                {
                    Wide += static_cast<RC::CharType>(CodePoint);
                }
                Wide += RC::StringType(Run % 19, STR('y'));
                const std::string Narrow = Utf16ToUtf8(Wide);
                ASSERT_EQ(Hex(Narrow), Hex(ToUtf8(Wide))) << Run << " " << CodePoint;
                ASSERT_EQ(HexUnits(Utf8ToUtf16(Narrow)), HexUnits(Wide)) << Run << " " << CodePoint;
            }
        }
    }

    // Into an engine string: up to the first NUL, terminated, the same text as Utf8ToUtf16 gives,
    // whether the non-ASCII part (if any) comes early, late or after a full block.
    TEST(TextTest, Utf8ToFStringMatchesTheDecoderUpToTheFirstNul)
    {
        const std::string Block(16, 'a');
        const std::string Cases[] = {"",
                                     "abc",
                                     Block + Block + "xyz",
                                     "\xC3\xA9t\xC3\xA9",
                                     Block + "\xE6\x9D\xB1" + Block,
                                     Block + Block + "z\xF0\x9F\x99\x82",
                                     "ab\xC3",
                                     std::string("ab\0cd", 5),
                                     Block + std::string("\0\xC3\xA9", 3)};
        for (const std::string& Case : Cases)
        {
            RC::Unreal::FString Converted = BRMB::Bridge::Text::Utf8ToFString(Case);
            const RC::StringType Expected = Utf8ToUtf16(std::string_view(Case).substr(0, Case.find('\0')));
            EXPECT_EQ(HexUnits(RC::StringType(FStringView(Converted))), HexUnits(Expected)) << Hex(Case);
            const auto& Chars = Converted.GetCharArray();
            if (Expected.empty())
            {
                EXPECT_EQ(Chars.Num(), 0) << Hex(Case);
            }
            else
            {
                ASSERT_EQ(Chars.Num(), static_cast<int32_t>(Expected.size() + 1)) << Hex(Case);
                EXPECT_EQ(Chars.GetData()[Expected.size()], RC::CharType{}) << Hex(Case);
            }
        }
    }

    // Text that arrives in pieces (a file read in chunks) gives what the whole text gives, and what
    // the mod has always given, wherever the pieces are cut: inside a sequence, inside a malformed run, before or after a NUL, and
    // whether the storage was reserved for all of it, part of it or none.
    TEST(TextTest, WriterGivesTheWholeTextsAnswerWhereverThePiecesAreCut)
    {
        std::mt19937 Random(20261208);
        // Weighted towards the bytes that make and break sequences.
        const std::string Alphabet = std::string("aZ0 \r\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x82\x80\xBF\xC0\xED\xA0"
                                                 "\xF4\x90\xF5\xFF\xE0\x9F") +
                                     std::string(1, '\0');
        BRMB::Bridge::Text::FStringWriter Writer;
        for (int Round = 0; Round < 3000; ++Round)
        {
            std::string Text(Random() % 96, 'a');
            for (char& Byte : Text)
            {
                // NUL is rarer than the rest, so most texts run to their end.
                const size_t Pick = Random() % (Alphabet.size() * 4);
                Byte = Pick < (Alphabet.size() - 1) * 4 ? Alphabet[Pick / 4] : (Pick % 8 == 0 ? '\0' : 'q');
            }
            const std::string_view Whole(Text);
            const RC::StringType Expected = Utf8ToUtf16(Whole.substr(0, Whole.find('\0')));
            ASSERT_EQ(HexUnits(Expected), HexUnits(ReferenceDecode(Whole.substr(0, Whole.find('\0'))))) << Hex(Text);

            const size_t Reserved[] = {0, 1, Text.size(), Text.size() * 3};
            Writer.Reserve(Reserved[Round % 4]);
            for (size_t At = 0; At < Text.size();)
            {
                const size_t Length = std::min<size_t>(Random() % 9, Text.size() - At);
                Writer.Append(Whole.substr(At, Length));
                At += Length;
            }
            RC::Unreal::FString Built = Writer.Take();

            ASSERT_EQ(HexUnits(FStringView(Built)), HexUnits(Expected)) << Hex(Text);
            const auto& Chars = Built.GetCharArray();
            ASSERT_EQ(Chars.Num(), Expected.empty() ? 0 : static_cast<int32_t>(Expected.size() + 1)) << Hex(Text);
        }
    }

    // Whatever the bytes, what waits between pieces stays a cut sequence of at most three bytes:
    // 4 MiB of each kind of malformed text goes through the writer as 4 MiB of ASCII does, in the
    // file reader's 64 KiB pieces and in pieces that cut sequences everywhere.
    TEST(TextTest, WriterCarriesAtMostThreeBytesBetweenPiecesWhateverTheText)
    {
        const struct
        {
            const char* Name;
            std::string Head;
            std::string Unit;
        } Patterns[] = {
            {"ascii", "", "plain text "},
            {"continuation bytes", "", "\x80\xBF\x9A"},
            {"overlong lead, then continuation bytes", "\xC0", "\x80\xBF"},
            {"leads alone", "", "\xC3\xE2\xF0\xF4"},
            {"alternating", "", "\xC3\xA9\xFF\xF0\x9F\x98\x82\xE2\x82"},
        };
        constexpr size_t Size = size_t{4} << 20;
        for (const auto& Pattern : Patterns)
        {
            std::string Text = Pattern.Head;
            while (Text.size() < Size)
            {
                Text += Pattern.Unit;
            }
            const RC::StringType Expected = Utf8ToUtf16(Text);
            for (const size_t PieceBytes : {size_t{64} * 1024, size_t{4093}})
            {
                BRMB::Bridge::Text::FStringWriter Writer;
                size_t MostCarried = 0;
                for (size_t At = 0; At < Text.size(); At += PieceBytes)
                {
                    Writer.Append(std::string_view(Text).substr(At, PieceBytes));
                    MostCarried = std::max(MostCarried, Writer.Carried().size());
                }
                EXPECT_LE(MostCarried, 3u) << Pattern.Name << ", pieces of " << PieceBytes;
                EXPECT_TRUE(TextOf(Writer.Take()) == Expected) << Pattern.Name << ", pieces of " << PieceBytes;
            }
        }
    }

    // Text beyond what was reserved grows the storage and keeps what was written; each Take
    // starts the next string afresh.
    TEST(TextTest, WriterGrowsPastItsReservationAndStartsAfreshAfterTake)
    {
        BRMB::Bridge::Text::FStringWriter Writer;
        Writer.Reserve(4);
        std::string Text;
        for (int Piece = 0; Piece < 500; ++Piece)
        {
            const std::string Next = "piece " + std::to_string(Piece) + " \xC3\xA9 ";
            Writer.Append(Next);
            Text += Next;
        }
        EXPECT_EQ(HexUnits(TextOf(Writer.Take())), HexUnits(Utf8ToUtf16(Text)));

        Writer.Append(std::string("\xE2\x82", 2));
        EXPECT_EQ(HexUnits(TextOf(Writer.Take())), HexUnits(Units({0xFFFD})));
        Writer.Append(std::string("x\0y", 3));
        Writer.Append("z");
        EXPECT_EQ(HexUnits(TextOf(Writer.Take())), HexUnits(Units({'x'})));
        Writer.Append("after");
        EXPECT_EQ(HexUnits(TextOf(Writer.Take())), HexUnits(Units({'a', 'f', 't', 'e', 'r'})));
        EXPECT_EQ(Writer.Take().GetCharArray().Max(), 0);
    }

    TEST(TextTest, FStringViewEndsAtTheFirstNul)
    {
        RC::Unreal::FString Empty;
        EXPECT_TRUE(FStringView(Empty).empty());
        EXPECT_NE(*Empty, nullptr);

        RC::Unreal::FString Plain(STR("abc"));
        EXPECT_EQ(FStringView(Plain), STR("abc"));

        RC::Unreal::FString Cut(STR("abcd"));
        Cut.GetCharArray().GetData()[2] = RC::CharType{};
        EXPECT_EQ(FStringView(Cut), STR("ab"));

        RC::Unreal::FString FromEmptyText(STR(""));
        EXPECT_TRUE(FStringView(FromEmptyText).empty());
    }

    TEST(TextTest, FStringViewStaysInsideAnUnterminatedArray)
    {
        RC::Unreal::FString Text(STR("abc"));
        auto& Chars = Text.GetCharArray();
        ASSERT_EQ(Chars.Num(), 4);
        Chars.GetData()[3] = STR('d'); // no terminator left
        EXPECT_EQ(FStringView(Text), STR("abcd"));
    }
} // namespace BrambleonTest
