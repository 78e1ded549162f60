// Object search, data-table patching and the idle discovery tick through the stand-in host.
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include <DynamicOutput/Output.hpp>
#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>
#include <Unreal/Hooks.hpp>
#include <Unreal/UObjectGlobals.hpp>

#include "harness/blueprint_half.hpp"

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
        const Harness::BlueprintHalf& Half = Session.Half();
        auto* const Item = Session.Sim().CreateClass(ItemClassPath);
        auto* const Other = Session.Sim().CreateClass(OtherClassPath);
        for (int Index = 0; Index < Live; ++Index)
        {
            Session.Sim().SpawnObject(Index < Found ? Item : Other);
        }
        Harness::ParamBlock Params(Half.FindAllOf);
        Params.SetString(STR("ClassName"), STR("BP_Item_C"));
        for (auto _ : State)
        {
            Session.Call(Session.WorldActor(), Half.FindAllOf, Params);
        }
        const auto* Refs = Session.WorldActor()->GetValuePtrByPropertyName<TArray<RC::Unreal::UObject*>>(STR("ObjectRefs"));
        if (Refs == nullptr || Refs->Num() != Found || Session.Sim().EscapedExceptions() != 0)
        {
            State.SkipWithError("the hook did not find every object");
        }
        State.SetItemsProcessed(State.iterations() * Live);
        State.SetComplexityN(Found);
    }

    struct SelectionItem
    {
        RC::Unreal::FName StateGroupID;
        uint64_t Untouched;
        TArray<uint64_t> Entries;
    };
    static_assert(sizeof(SelectionItem) == Harness::ItemSize);

    // BRMB_CPP_AddObjectSelectionSetID adding a new entry to a list of range(0) entries: a full
    // duplicate scan, then an append. The list is cut back after each call.
    auto BM_AddObjectSelectionSetID(benchmark::State& State) -> void
    {
        const auto Count = static_cast<int>(State.range(0));
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::BlueprintHalf& Half = Session.Half();
        const RC::Unreal::FName RowName(STR("Bench_Row"));
        uint8_t* const Row = Session.Sim().AddRow(Half.Table, RowName);
        auto& SelectionSet = *reinterpret_cast<TArray<SelectionItem>*>(Row + Harness::RowSelectionSetOffset);
        SelectionSet.Add(SelectionItem{});
        TArray<uint64_t>& Entries = SelectionSet[0].Entries;
        for (int Index = 0; Index < Count; ++Index)
        {
            Entries.Add(static_cast<uint64_t>(Index) + 1);
        }

        Harness::ParamBlock Params(Half.AddObjectSelectionSetID);
        Params.SetObject(STR("DataTable"), Half.Table);
        Params.SetName(STR("RowName"), RowName);
        Params.SetInt64(STR("EntryID"), 0xB0B0'0000'0000'0001);
        bool Added = true;
        for (auto _ : State)
        {
            Session.Call(Session.Proxy(), Half.AddObjectSelectionSetID, Params);
            Added = Added && Entries.Num() == Count + 1;
            // Cut back in place: the header is the engine's, the storage stays allocated.
            auto* Header = reinterpret_cast<int32_t*>(reinterpret_cast<uint8_t*>(&Entries) + 8);
            *Header = Count;
        }
        if (!Added || Session.Sim().EscapedExceptions() != 0)
        {
            State.SkipWithError("the hook did not add the entry");
        }
        Entries.Empty();
        SelectionSet.Empty();
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
} // namespace

BENCHMARK(BM_FindAllOf)
    ->Args({12'500, 12'500})
    ->Args({25'000, 25'000})
    ->Args({50'000, 50'000})
    ->Args({LiveObjects, LiveObjects})
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindAllOf)
    ->Name("BM_FindAllOfAmong100k")
    ->Args({1'000, LiveObjects})
    ->Args({10'000, LiveObjects})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddObjectSelectionSetID)->Arg(10'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleTick_Mod);
BENCHMARK(BM_IdleTick_HostFloor);
