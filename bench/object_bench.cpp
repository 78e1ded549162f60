// Object search, data-table patching and the idle discovery tick (engine tick and ProcessEvent)
// through the stand-in host.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <DynamicOutput/Output.hpp>
#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>
#include <Unreal/Hooks/Hooks.hpp>
#include <Unreal/UObjectGlobals.hpp>

#include "harness/session.hpp"

namespace
{
    using RC::Unreal::TArray;

    constexpr int LiveObjects = 100'000;
    constexpr auto ItemClassPath = STR("/Game/Bench/BP_Item.BP_Item_C");
    constexpr auto OtherClassPath = STR("/Game/Bench/BP_Other.BP_Other_C");

    // VEXA_CPP_FindAllOf finding range(0) objects among range(1) live ones: the search walks every
    // live object and the hook appends each found one to "ObjectRefs".
    auto BM_FindAllOf(benchmark::State& State) -> void
    {
        const auto Found = static_cast<int>(State.range(0));
        const auto Live = static_cast<int>(State.range(1));
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::Functions& Fn = Session.Fn();
        auto* const Item = Session.Sim().CreateClass(ItemClassPath);
        auto* const Other = Session.Sim().CreateClass(OtherClassPath);
        for (int Index = 0; Index < Live; ++Index)
        {
            Session.Sim().SpawnObject(Index < Found ? Item : Other);
        }
        Harness::ParamBlock Params(Fn.FindAllOf);
        Params.SetString(BlueprintHalf::Param::ClassName, STR("BP_Item_C"));
        // Each call is followed by the host's own search over the same objects, as the hook
        // calls it: the engine's part of the cost, timed under the same conditions. What the
        // hook adds is the difference.
        const std::string ClassName = "BP_Item_C";
        std::chrono::duration<double, std::nano> Searching{};
        for (auto _ : State)
        {
            const auto Start = std::chrono::steady_clock::now();
            Session.Call(Session.WorldActor(), Fn.FindAllOf, Params);
            const auto Called = std::chrono::steady_clock::now();
            std::vector<RC::Unreal::UObject*> Objects;
            RC::Unreal::UObjectGlobals::FindAllOf(ClassName, Objects);
            benchmark::DoNotOptimize(Objects.data());
            Searching += std::chrono::steady_clock::now() - Called;
            State.SetIterationTime(std::chrono::duration<double>(Called - Start).count());
        }
        State.counters["host_search_ns"] = Searching.count() / static_cast<double>(State.iterations());
        const auto* Refs = Session.WorldActor()->GetValuePtrByPropertyName<TArray<RC::Unreal::UObject*>>(STR("ObjectRefs"));
        if (Refs == nullptr || Refs->Num() != Found || Session.Sim().EscapedExceptions() != 0)
        {
            State.SkipWithError("the hook did not find every object");
        }
        State.SetItemsProcessed(State.iterations() * Live);
        State.SetComplexityN(Found);
    }

    // BRMB_CPP_AddObjectSelectionSetID adding a new entry to a list of range(0) entries: a full
    // duplicate scan, then an append. The list is cut back after each call.
    auto BM_AddObjectSelectionSetID(benchmark::State& State) -> void
    {
        const auto Count = static_cast<int>(State.range(0));
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::Functions& Fn = Session.Fn();
        const RC::Unreal::FName RowName(STR("Bench_Row"));
        std::vector<uint64_t> Values(static_cast<size_t>(Count));
        std::iota(Values.begin(), Values.end(), uint64_t{1});
        uint8_t* const Row = BlueprintHalf::AddSelectionRow(Session.Sim(), Session.Table(), RowName,
                                                            RC::Unreal::FName(STR("Bench_ID")),
                                                            {{RC::Unreal::FName(STR("Bench_Group")), Values}});
        uint8_t* FirstItem = nullptr;
        std::memcpy(&FirstItem, Row + BlueprintHalf::RowSelectionSetOffset, sizeof(FirstItem));
        auto& Entries = *reinterpret_cast<TArray<uint64_t>*>(FirstItem + BlueprintHalf::ItemEntriesOffset);

        Harness::ParamBlock Params(Fn.AddObjectSelectionSetID);
        Params.SetObject(BlueprintHalf::Param::DataTable, Session.Table());
        Params.SetName(BlueprintHalf::Param::RowName, RowName);
        Params.SetInt64(BlueprintHalf::Param::EntryID, 0xB0B0'0000'0000'0001);
        bool Added = true;
        for (auto _ : State)
        {
            Session.Call(Session.Proxy(), Fn.AddObjectSelectionSetID, Params);
            Added = Added && Entries.Num() == Count + 1;
            // Cut back in place: the storage stays allocated, the header stays consistent.
            auto* const Num = reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(&Entries) + 8);
            *Num = Count;
        }
        if (!Added || Session.Sim().EscapedExceptions() != 0)
        {
            State.SkipWithError("the hook did not add the entry");
        }
        State.SetItemsProcessed(State.iterations() * Count);
    }

    // Engine ticks between discovery passes: the three discovery callbacks of a started mod whose
    // Blueprint half never loads, ticked with no time passing, against the host dispatching to
    // three empty callbacks (the floor). Their difference over three is one idle discovery tick.
    auto BM_IdleTick_Mod(benchmark::State& State) -> void
    {
        RC::Sim::Engine& Sim = RC::Sim::Engine::Reset();
        auto& Devices = RC::Output::DefaultTargets::get_default_devices_ref();
        Devices.clear();
        Devices.push_back(RC::Sim::MakeNullDevice());
        {
            RC::Sim::LoadedMod Mod(BRAMBLEON_MOD_PATH);
            Mod.UnrealInit();
            Sim.Tick(0.0f);
            if (Sim.TickCallbackCount() != 3)
            {
                State.SkipWithError("expected the three discovery callbacks");
            }
            for (auto _ : State)
            {
                Sim.Tick(0.0f);
            }
            RC::Sim::Engine::Reset();
        }
        State.SetItemsProcessed(State.iterations() * 3);
    }

    auto BM_IdleTick_HostFloor(benchmark::State& State) -> void
    {
        RC::Sim::Engine& Sim = RC::Sim::Engine::Reset();
        for (int Index = 0; Index < 3; ++Index)
        {
            RC::Unreal::Hook::RegisterEngineTickPreCallback(
                [](RC::Unreal::Hook::TCallbackIterationData<void>&, RC::Unreal::UEngine*, float, bool) {},
                {false, false, STR("Bench"), STR("Empty")});
        }
        for (auto _ : State)
        {
            Sim.Tick(0.0f);
        }
        RC::Sim::Engine::Reset();
        State.SetItemsProcessed(State.iterations() * 3);
    }

    // Without an engine tick: ProcessEvent calls between looks at the clock. A started mod whose
    // Blueprint half never loads, so its ProcessEvent callback never removes itself, against the
    // host dispatching to one empty ProcessEvent callback (the floor); the difference is the
    // callback's idle cost per ProcessEvent call (the clock's looks and any pass included).
    constexpr int ProcessEventsPerFrame = 1'000;

    auto BM_IdleProcessEvent_Mod(benchmark::State& State) -> void
    {
        RC::Sim::Engine& Sim = RC::Sim::Engine::Reset();
        auto& Devices = RC::Output::DefaultTargets::get_default_devices_ref();
        Devices.clear();
        Devices.push_back(RC::Sim::MakeNullDevice());
        Sim.GetFaults().NoEngineTick = true;
        Sim.SetProcessEventsPerFrame(ProcessEventsPerFrame);
        {
            RC::Sim::LoadedMod Mod(BRAMBLEON_MOD_PATH);
            Mod.UnrealInit();
            if (Sim.ProcessEventCallbackCount() != 1)
            {
                State.SkipWithError("expected the one ProcessEvent callback");
            }
            for (auto _ : State)
            {
                Sim.Tick(0.0f);
            }
            RC::Sim::Engine::Reset();
        }
        State.SetItemsProcessed(State.iterations() * ProcessEventsPerFrame);
    }

    auto BM_IdleProcessEvent_HostFloor(benchmark::State& State) -> void
    {
        RC::Sim::Engine& Sim = RC::Sim::Engine::Reset();
        Sim.GetFaults().NoEngineTick = true;
        Sim.SetProcessEventsPerFrame(ProcessEventsPerFrame);
        RC::Unreal::Hook::RegisterProcessEventPreCallback(
            [](RC::Unreal::Hook::TCallbackIterationData<void>&, RC::Unreal::UObject*, RC::Unreal::UFunction*, void*) {},
            {false, false, STR("Bench"), STR("Empty")});
        for (auto _ : State)
        {
            Sim.Tick(0.0f);
        }
        RC::Sim::Engine::Reset();
        State.SetItemsProcessed(State.iterations() * ProcessEventsPerFrame);
    }
} // namespace

BENCHMARK(BM_FindAllOf)
    ->Args({12'500, 12'500})
    ->Args({25'000, 25'000})
    ->Args({50'000, 50'000})
    ->Args({LiveObjects, LiveObjects})
    ->Complexity(benchmark::oN)
    ->UseManualTime()
    // The hook's own cost is a small difference of two larger times: medians of five runs.
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAllOf)
    ->Name("BM_FindAllOfAmong100k")
    ->UseManualTime()
    ->Args({1'000, LiveObjects})
    ->Args({10'000, LiveObjects})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddObjectSelectionSetID)->Arg(10'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleTick_Mod);
BENCHMARK(BM_IdleTick_HostFloor);
BENCHMARK(BM_IdleProcessEvent_Mod);
BENCHMARK(BM_IdleProcessEvent_HostFloor);
