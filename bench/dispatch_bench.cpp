// A Blueprint call of VEXA_CPP_SendToUE4SSLog through the stand-in host, with a log device that
// discards, against a direct call of the same conversion (the floor).
#include <string>

#include <benchmark/benchmark.h>

#include <Unreal/FString.hpp>

#include "bridge/text.hpp"
#include "harness/session.hpp"

namespace
{
    // 64 characters, as a typical Blueprint log text.
    constexpr auto LogText = STR("BP_VEXA_WorldActor : spawned 12 items in zone North-East, ok!!!!");
    static_assert(std::char_traits<RC::CharType>::length(LogText) == 64);

    auto BM_Dispatch_SendToUE4SSLog(benchmark::State& State) -> void
    {
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::Functions& Fn = Session.Fn();
        Harness::ParamBlock Params(Fn.SendToUE4SSLog);
        Params.SetString(BlueprintHalf::Param::Text, LogText);
        for (auto _ : State)
        {
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.SendToUE4SSLog, Params);
        }
        if (Session.Sim().EscapedExceptions() != 0)
        {
            State.SkipWithError("an exception left the hook");
        }
    }

    auto BM_Dispatch_DirectConversion(benchmark::State& State) -> void
    {
        const RC::Unreal::FString Text(LogText);
        for (auto _ : State)
        {
            RC::Unreal::FString Copy(Text);
            std::string Narrow = BRMB::Bridge::Text::Utf16ToUtf8(BRMB::Bridge::Text::FStringView(Copy));
            benchmark::DoNotOptimize(Narrow.data());
        }
    }
} // namespace

BENCHMARK(BM_Dispatch_SendToUE4SSLog);
BENCHMARK(BM_Dispatch_DirectConversion);
