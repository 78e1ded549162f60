// The proxy registry and the data-table hooks, each of the four functions declared as the
// contract says or with one mistake (a parameter missing, an extra one, two swapped, a wrong
// type, another offset or size, an output pin), and the entry parameter of the two table
// functions of any 8-byte type. Tables whose Entries lists hold 8-byte numbers, object
// references, class references, names, structures holding a name or an object, or 4-byte
// values; rows whose SelectionSet and Entries headers are honest, inconsistent or claim elements
// behind no storage. A model checks each call: a function declared otherwise is not hooked and
// changes nothing; an entry is added (once by the duplicate-checking hook, always by the
// diagnostic one) exactly when the row is in reach and its list holds the entry parameter's
// type; and nothing else changes anywhere, byte for byte: not the parameter block, not the row
// outside that list, not another row or table.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include "support/fuzz_support.hpp"

namespace
{
    using RC::Sim::Kind;
    using RC::Unreal::FName;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;

    constexpr int RowCount = 3;

    // What a table's Entries lists hold.
    enum class Element : uint8_t
    {
        Number,       // 8-byte value, the game's entry type
        Object,       // object reference
        Class,        // class reference
        Name,         // name
        NameHolder,   // structure holding a name: 8 bytes
        ObjectHolder, // structure holding an object reference: 8 bytes
        Int32,        // 4 bytes
    };

    // The values an element of that type is given, as the parameter kind that gives them.
    auto ValueKind(Element Type) -> Kind
    {
        switch (Type)
        {
        case Element::Object:
        case Element::ObjectHolder:
            return Kind::Object;
        case Element::Class:
            return Kind::Class;
        case Element::Name:
        case Element::NameHolder:
            return Kind::Name;
        default:
            return Kind::Int64;
        }
    }

    // The model of the element-type check: the list holds exactly what the entry parameter is.
    auto Holds(Element Type, Kind Entry) -> bool
    {
        switch (Type)
        {
        case Element::Number:
            return Entry == Kind::Int64;
        case Element::Object:
            return Entry == Kind::Object;
        case Element::Class:
            return Entry == Kind::Class;
        case Element::Name:
            return Entry == Kind::Name;
        default:
            return false; // structures and 4-byte values are never the entry parameter's type
        }
    }

    // One row and the storage of its arrays as allocated here (or as the host grew them), so
    // that it can be read and released whatever the headers say now.
    struct Row
    {
        uint8_t* Memory{};
        void* Items{};
        int32_t ItemsAllocated{};
        void* Entries{}; // the first item's
        int32_t EntriesAllocated{};
    };

    struct Table
    {
        RC::Unreal::UDataTable* Object{};
        Element Type{};
        size_t ElementSize{};
        std::array<Row, RowCount> Rows{};
    };

    auto SelectionSetOf(Row& Line) -> uint8_t* { return Line.Memory + BlueprintHalf::RowSelectionSetOffset; }
    auto EntriesOf(Row& Line) -> uint8_t*
    {
        return static_cast<uint8_t*>(Line.Items) + BlueprintHalf::ItemEntriesOffset;
    }

    auto ReleaseRow(Row& Line) -> void
    {
        if (Line.ItemsAllocated > 0)
        {
            Fuzz::WriteHeader(EntriesOf(Line), Fuzz::ArrayHeader{nullptr, 0, 0});
        }
        RC::Unreal::FMemory::Free(Line.Entries);
        RC::Unreal::FMemory::Free(Line.Items);
        Line.Entries = nullptr;
        Line.EntriesAllocated = 0;
        Line.Items = nullptr;
        Line.ItemsAllocated = 0;
        Fuzz::WriteHeader(SelectionSetOf(Line), Fuzz::ArrayHeader{nullptr, 0, 0});
    }

    // Every byte of the row that the engine or this target owns: the row, its items and the
    // first item's entries.
    auto Snapshot(const Table& Of, const Row& Line) -> std::vector<uint8_t>
    {
        std::vector<uint8_t> Bytes = Fuzz::BytesOf(Line.Memory, BlueprintHalf::RowSize);
        const auto Items = Fuzz::BytesOf(Line.Items, static_cast<size_t>(Line.ItemsAllocated) * BlueprintHalf::ItemSize);
        const auto Entries = Fuzz::BytesOf(Line.Entries, static_cast<size_t>(Line.EntriesAllocated) * Of.ElementSize);
        Bytes.insert(Bytes.end(), Items.begin(), Items.end());
        Bytes.insert(Bytes.end(), Entries.begin(), Entries.end());
        return Bytes;
    }

    // What an input works with, made in one session's engine and dropped with it.
    struct World
    {
        explicit World(Harness::Session& Session);
        World(const World&) = delete;
        auto operator=(const World&) -> World& = delete;
        // Honest, empty rows again before the engine goes: it may walk their arrays.
        ~World()
        {
            for (Table& Each : Tables)
            {
                for (Row& Line : Each.Rows)
                {
                    ReleaseRow(Line);
                }
            }
        }

        std::array<FName, RowCount> Names{};
        std::vector<Table> Tables;         // the session's table of 8-byte numbers first
        std::vector<UObject*> Registrants; // null and live objects, for the registry
        std::vector<UObject*> Arguments;   // null, every table and an object that is none
        Fuzz::Values Pool;
    };

    auto MakeTable(Harness::Session& Session, const RC::StringType& Name, RC::Sim::PropDecl Entry) -> RC::Unreal::UDataTable*
    {
        using RC::Sim::ArrayProp;
        using RC::Sim::Prop;
        using RC::Sim::StructProp;
        auto& Sim = Session.Sim();
        auto* const Item = Sim.CreateStruct(
            STR("/Game/Fuzz/") + Name + STR("Item.") + Name + STR("Item"),
            {Prop(STR("StateGroupID"), Kind::Name, 0), ArrayProp(STR("Entries"), std::move(Entry), 16)}, 32);
        auto* const RowStruct = Sim.CreateStruct(
            STR("/Game/Fuzz/") + Name + STR("Row.") + Name + STR("Row"),
            {Prop(STR("ID"), Kind::Name, 8), ArrayProp(STR("SelectionSet"), StructProp(STR("Item"), Item, 0), 32)}, 48);
        return Sim.CreateDataTable(STR("/Game/Fuzz/DT_") + Name + STR(".DT_") + Name, RowStruct);
    }

    World::World(Harness::Session& Session)
    {
        using RC::Sim::Prop;
        using RC::Sim::StructProp;
        auto& Sim = Session.Sim();
        auto* const NameHolder = Sim.CreateStruct(STR("/Game/Fuzz/NameHolder.NameHolder"), {Prop(STR("Value"), Kind::Name, 0)}, 8);
        auto* const ObjectHolder =
            Sim.CreateStruct(STR("/Game/Fuzz/ObjectHolder.ObjectHolder"), {Prop(STR("Value"), Kind::Object, 0)}, 8);
        Tables = {
            {Session.Table(), Element::Number, 8},
            {MakeTable(Session, STR("Objects"), Prop(STR("Entry"), Kind::Object, 0)), Element::Object, 8},
            {MakeTable(Session, STR("Classes"), Prop(STR("Entry"), Kind::Class, 0)), Element::Class, 8},
            {MakeTable(Session, STR("Names"), Prop(STR("Entry"), Kind::Name, 0)), Element::Name, 8},
            {MakeTable(Session, STR("NameHolders"), StructProp(STR("Entry"), NameHolder, 0)), Element::NameHolder, 8},
            {MakeTable(Session, STR("ObjectHolders"), StructProp(STR("Entry"), ObjectHolder, 0)), Element::ObjectHolder, 8},
            {MakeTable(Session, STR("Int32s"), Prop(STR("Entry"), Kind::Int32, 0)), Element::Int32, 4},
        };
        for (int Index = 0; Index < RowCount; ++Index)
        {
            const RC::StringType Name = STR("Row_") + RC::StringType(1, static_cast<RC::CharType>('0' + Index));
            Names[Index] = FName(Name.c_str());
            for (Table& Each : Tables)
            {
                Each.Rows[Index].Memory = Sim.AddRow(Each.Object, Names[Index]);
            }
        }
        Registrants = {nullptr,           Session.Proxy(), Sim.SpawnObject(Session.Half().ProxyClass),
                       Session.WorldActor(), Session.LibraryObject(Harness::Library::Proxy), Session.Table()};
        Arguments = {nullptr, Session.Proxy()};
        for (const Table& Each : Tables)
        {
            Arguments.push_back(Each.Object);
        }
        Pool.Objects = Registrants;
        Pool.Classes = {nullptr, Session.Half().ProxyClass, Session.Half().WorldActorClass};
        Pool.Names = {FName(STR("None")), Names[0], FName(STR("Hero"))};
    }

    // A SelectionSet of up to three items (honest, inconsistent, or claiming them behind no
    // storage) whose first item's Entries list is likewise and holds a few values of its type.
    auto BuildRow(Table& Of, Row& Line, FuzzedDataProvider& Input, const Fuzz::Values& Pool) -> void
    {
        ReleaseRow(Line);
        const auto Items = Input.ConsumeIntegralInRange<int32_t>(0, 3);
        Fuzz::ArrayHeader Set = Fuzz::MakeHeader(Input, Items, BlueprintHalf::ItemSize);
        Line.Items = Set.Data;
        Line.ItemsAllocated = Items;
        if (Items > 0)
        {
            const auto Capacity = Input.ConsumeIntegralInRange<int32_t>(0, 8);
            Fuzz::ArrayHeader Entries = Fuzz::MakeHeader(Input, Capacity, Of.ElementSize);
            for (int32_t Index = 0; Index < Capacity; ++Index)
            {
                const uint64_t Value = Fuzz::ValueOf(ValueKind(Of.Type), Input, Pool);
                std::memcpy(static_cast<uint8_t*>(Entries.Data) + Index * Of.ElementSize, &Value, Of.ElementSize);
            }
            Line.Entries = Entries.Data;
            Line.EntriesAllocated = Capacity;
            if (Input.ConsumeIntegralInRange<int>(0, 3) == 0)
            {
                Entries.Data = nullptr;
            }
            Fuzz::WriteHeader(EntriesOf(Line), Entries);
        }
        if (Input.ConsumeIntegralInRange<int>(0, 3) == 0)
        {
            Set.Data = nullptr;
        }
        Fuzz::WriteHeader(SelectionSetOf(Line), Set);
    }

    auto Contains(const Fuzz::ArrayHeader& Entries, uint64_t Value) -> bool
    {
        for (int32_t Index = 0; Index < Entries.Num; ++Index)
        {
            uint64_t Held = 0;
            std::memcpy(&Held, static_cast<const uint8_t*>(Entries.Data) + Index * sizeof(Held), sizeof(Held));
            if (Held == Value)
            {
                return true;
            }
        }
        return false;
    }

    // The functions whose declarations an input chooses, in the order it chooses them.
    enum Driven : size_t
    {
        Register,
        Destroyed,
        Add,
        Test,
        DrivenCount,
    };

    constexpr const RC::CharType* DrivenNames[DrivenCount] = {STR("BRMB_CPP_RegisterProxy"), STR("BRMB_CPP_DestroyedProxy"),
                                                              STR("BRMB_CPP_AddObjectSelectionSetID"), STR("BRMB_CPP_TestDT")};
    constexpr size_t EntryOffset[DrivenCount] = {0, 0, 16, 24};

    auto SnapshotAll(World& Here) -> std::vector<std::vector<uint8_t>>
    {
        std::vector<std::vector<uint8_t>> All;
        for (const Table& Each : Here.Tables)
        {
            for (const Row& Line : Each.Rows)
            {
                All.push_back(Snapshot(Each, Line));
            }
        }
        return All;
    }
} // namespace

extern "C" auto LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) -> int
{
    FuzzedDataProvider Input(Data, Size);

    // The declarations first: the session is made again when they differ from the last input's.
    const auto Started = Fuzz::StartInput<World>(Input, DrivenNames);
    const std::vector<Fuzz::Declaration>& Declared = Started.Declared;
    Harness::Session& Session = Started.Session;
    World& Here = Started.Here;
    const Harness::Functions& Fn = Session.Fn();
    UFunction* const Functions[DrivenCount] = {Fn.RegisterProxy, Fn.DestroyedProxy, Fn.AddObjectSelectionSetID, Fn.TestDT};
    // A function declared otherwise than the contract says is never hooked; the proxy's are
    // hooked when the session registered its proxy.
    const auto Runs = [&](size_t Which) {
        return Declared[Which].Matches && (Which <= Destroyed || Declared[Register].Matches);
    };
    const auto RequireHooks = [&] {
        for (size_t Which = 0; Which < DrivenCount; ++Which)
        {
            Fuzz::Require((Session.Sim().HookCount(Functions[Which]) > 0) == Runs(Which),
                          "a function is hooked exactly when its declaration matches the contract");
        }
    };
    RequireHooks();

    Session.RegisterProxy(Session.Proxy());
    for (Table& Each : Here.Tables)
    {
        for (Row& Line : Each.Rows)
        {
            ReleaseRow(Line);
        }
    }

    for (int Step = 0; Step < 24 && Input.remaining_bytes() > 0; ++Step)
    {
        const auto Action = Input.ConsumeIntegralInRange<size_t>(0, DrivenCount);
        if (Action == DrivenCount)
        {
            Table& Of = Here.Tables[Input.ConsumeIntegralInRange<size_t>(0, Here.Tables.size() - 1)];
            BuildRow(Of, Of.Rows[Input.ConsumeIntegralInRange<size_t>(0, RowCount - 1)], Input, Here.Pool);
            continue;
        }

        // A call, its block filled as declared: values of the declared types, a pattern in every
        // other byte, and the arguments where the contract puts them when the declaration
        // matches it (the entry as the fill gave it, of the entry parameter's declared type).
        const Fuzz::Declaration& Declaration = Declared[Action];
        Harness::ParamBlock Params(Functions[Action]);
        Fuzz::FillBlock(Params, Declaration, Input, Here.Pool, Input.ConsumeIntegral<uint8_t>());
        UObject* Argument = nullptr;
        Table* Target = nullptr;
        std::optional<int> RowIndex;
        uint64_t Entry = 0;
        Kind EntryKind = Kind::Int64;
        if (Declaration.Matches)
        {
            if (Action <= Destroyed)
            {
                Argument = Here.Registrants[Input.ConsumeIntegralInRange<size_t>(0, Here.Registrants.size() - 1)];
            }
            else
            {
                Argument = Here.Arguments[Input.ConsumeIntegralInRange<size_t>(0, Here.Arguments.size() - 1)];
                for (Table& Each : Here.Tables)
                {
                    Target = Each.Object == Argument ? &Each : Target;
                }
                const int Chosen = Input.ConsumeIntegralInRange<int>(0, RowCount); // RowCount: a missing row
                const FName RowName = Chosen < RowCount ? Here.Names[Chosen] : FName(STR("Missing_Row"));
                if (Chosen < RowCount)
                {
                    RowIndex = Chosen;
                }
                std::memcpy(Params.Data() + 8, &RowName, sizeof(RowName));
                std::memcpy(&Entry, Params.Data() + EntryOffset[Action], sizeof(Entry));
                for (const RC::Sim::PropDecl& Param : Declaration.Params)
                {
                    EntryKind = Param.Offset == static_cast<int32_t>(EntryOffset[Action]) ? Param.PropKind : EntryKind;
                }
            }
            std::memcpy(Params.Data(), &Argument, sizeof(Argument));
        }

        // The model of an add, from the row as it is before the call.
        Row* const Line = Target != nullptr && RowIndex ? &Target->Rows[*RowIndex] : nullptr;
        bool Adds = false;
        Fuzz::ArrayHeader EntriesBefore{};
        std::vector<uint8_t> ElementsBefore;
        if (Line != nullptr && Runs(Action) && Action >= Add)
        {
            const Fuzz::ArrayHeader Set = Fuzz::ReadHeader(SelectionSetOf(*Line));
            const bool Reachable = Holds(Target->Type, EntryKind) && Fuzz::IsConsistent(Set) && Set.Num > 0 && Set.Data != nullptr;
            if (Reachable)
            {
                EntriesBefore = Fuzz::ReadHeader(EntriesOf(*Line));
                const bool Honest = Fuzz::IsConsistent(EntriesBefore) && (EntriesBefore.Data != nullptr || EntriesBefore.Max == 0);
                Adds = Honest && (Action == Test || !Contains(EntriesBefore, Entry));
                if (Honest)
                {
                    ElementsBefore = Fuzz::BytesOf(EntriesBefore.Data, static_cast<size_t>(EntriesBefore.Num) * sizeof(uint64_t));
                }
            }
        }
        const auto BlockBefore = Fuzz::BytesOf(Params.Data(), Params.Size());
        const auto RowsBefore = SnapshotAll(Here);

        Session.Call(Action <= Destroyed ? Session.LibraryObject(Harness::Library::Proxy) : Session.Proxy(),
                     Functions[Action], Params);
        Fuzz::RequireNoEscapes(Session);

        // The block: only a registry function's own argument may change (nulled once taken).
        Fuzz::RequireKeptBut(BlockBefore, Fuzz::BytesOf(Params.Data(), Params.Size()), 0,
                             Runs(Action) && Action <= Destroyed ? sizeof(UObject*) : 0,
                             "no byte of the block outside the written argument changes");
        if (Runs(Action) && Action <= Destroyed)
        {
            Fuzz::Require(Argument == nullptr || Params.GetObject(BlueprintHalf::Param::Proxy) == nullptr,
                          "the argument slot is nulled");
        }

        // Every row of every table as it was, but for the one entry added.
        size_t Index = 0;
        for (Table& Each : Here.Tables)
        {
            for (Row& Other : Each.Rows)
            {
                const std::vector<uint8_t>& Before = RowsBefore[Index++];
                if (&Other != Line || !Adds)
                {
                    Fuzz::Require(Snapshot(Each, Other) == Before, "a row the call may not change is left as it was, byte for byte");
                    continue;
                }
                // The row and its items as they were but for the first item's Entries header.
                const auto RowAndItems = BlueprintHalf::RowSize + static_cast<size_t>(Other.ItemsAllocated) * BlueprintHalf::ItemSize;
                const auto Now = Fuzz::BytesOf(Other.Memory, BlueprintHalf::RowSize);
                Fuzz::Require(std::equal(Now.begin(), Now.end(), Before.begin()), "the row itself is left as it was");
                Fuzz::RequireKeptBut(std::vector<uint8_t>(Before.begin() + BlueprintHalf::RowSize, Before.begin() + static_cast<ptrdiff_t>(RowAndItems)),
                                     Fuzz::BytesOf(Other.Items, RowAndItems - BlueprintHalf::RowSize),
                                     BlueprintHalf::ItemEntriesOffset, BlueprintHalf::ItemEntriesOffset + sizeof(Fuzz::ArrayHeader),
                                     "of the items only the first one's entries header changes");
                const Fuzz::ArrayHeader After = Fuzz::ReadHeader(EntriesOf(Other));
                Fuzz::Require(Fuzz::IsConsistent(After) && After.Num == EntriesBefore.Num + 1, "the entry is added once, or always by TestDT");
                Fuzz::Require(Fuzz::BytesOf(After.Data, ElementsBefore.size()) == ElementsBefore, "the entries before stay as they were");
                uint64_t Added = 0;
                std::memcpy(&Added, static_cast<const uint8_t*>(After.Data) + ElementsBefore.size(), sizeof(Added));
                Fuzz::Require(Added == Entry, "the entry added is the one passed");
                // The host may have moved the list: its storage is the one to read and release now.
                if (After.Data != Other.Entries)
                {
                    Other.Entries = After.Data;
                }
                Other.EntriesAllocated = After.Max;
            }
        }
    }
    RequireHooks();
    return 0;
}
