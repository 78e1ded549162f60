// UTF-16 to UTF-8 and back, as every hook converts its strings, against the standard library's
// UTF-8/UTF-16 facet, on ASCII and on mixed text. Throughput in UTF-16 characters per second.
#include <codecvt>
#include <locale>
#include <string>

#include <benchmark/benchmark.h>

#include <String/StringType.hpp>

#include "bridge/text.hpp"

namespace
{
    constexpr size_t TextUnits = 4096;

    auto Repeat(RC::StringViewType Piece) -> RC::StringType
    {
        RC::StringType Text;
        while (Text.size() + Piece.size() <= TextUnits)
        {
            Text += Piece;
        }
        return Text;
    }

    // A log line's worth of ASCII, and text with two-, three- and four-byte sequences in it.
    auto Ascii() -> const RC::StringType&
    {
        static const RC::StringType Text = Repeat(STR("VEXA : WorldActor::FindAllOf Hook Triggered! BP_Item_C 0123. "));
        return Text;
    }
    auto Mixed() -> const RC::StringType&
    {
        static const RC::StringType Text = Repeat(STR("Grüße aus Köln — 東京の桜 \U0001F642 naïve café, ok. "));
        return Text;
    }

    auto TextOf(const benchmark::State& State) -> const RC::StringType& { return State.range(0) == 0 ? Ascii() : Mixed(); }
    auto Label(benchmark::State& State) -> void { State.SetLabel(State.range(0) == 0 ? "ascii" : "mixed"); }

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    using Facet = std::codecvt_utf8_utf16<RC::CharType>;
    using FacetConverter = std::wstring_convert<Facet, RC::CharType>;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

    auto BM_Utf16ToUtf8(benchmark::State& State) -> void
    {
        const RC::StringType& Text = TextOf(State);
        for (auto _ : State)
        {
            std::string Narrow = BRMB::Bridge::Text::Utf16ToUtf8(Text);
            benchmark::DoNotOptimize(Narrow.data());
        }
        State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * Text.size()));
        Label(State);
    }

    auto BM_Facet_Utf16ToUtf8(benchmark::State& State) -> void
    {
        const RC::StringType& Text = TextOf(State);
        FacetConverter Converter;
        for (auto _ : State)
        {
            std::string Narrow = Converter.to_bytes(Text.data(), Text.data() + Text.size());
            benchmark::DoNotOptimize(Narrow.data());
        }
        State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * Text.size()));
        Label(State);
    }

    auto BM_Utf8ToUtf16(benchmark::State& State) -> void
    {
        const std::string Narrow = BRMB::Bridge::Text::Utf16ToUtf8(TextOf(State));
        for (auto _ : State)
        {
            RC::StringType Wide = BRMB::Bridge::Text::Utf8ToUtf16(Narrow);
            benchmark::DoNotOptimize(Wide.data());
        }
        State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * TextOf(State).size()));
        Label(State);
    }

    auto BM_Facet_Utf8ToUtf16(benchmark::State& State) -> void
    {
        const std::string Narrow = BRMB::Bridge::Text::Utf16ToUtf8(TextOf(State));
        FacetConverter Converter;
        for (auto _ : State)
        {
            RC::StringType Wide = Converter.from_bytes(Narrow.data(), Narrow.data() + Narrow.size());
            benchmark::DoNotOptimize(Wide.data());
        }
        State.SetItemsProcessed(static_cast<int64_t>(State.iterations() * TextOf(State).size()));
        Label(State);
    }
} // namespace

BENCHMARK(BM_Utf16ToUtf8)->Arg(0)->Arg(1);
BENCHMARK(BM_Facet_Utf16ToUtf8)->Arg(0)->Arg(1);
BENCHMARK(BM_Utf8ToUtf16)->Arg(0)->Arg(1);
BENCHMARK(BM_Facet_Utf8ToUtf16)->Arg(0)->Arg(1);
