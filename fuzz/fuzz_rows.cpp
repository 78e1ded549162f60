// The proxy registry and the data-table hooks: registrations with null and live objects, row
// lookups by present and missing names, and rows whose SelectionSet and Entries headers are
// honest or inconsistent, and tables whose Entries lists hold other element types (object
// references, 8-byte structures holding a name, 4-byte values). A model checks each add: the
// entry is present afterwards, added once by the duplicate-checking hook and always by the
// diagnostic one, and an inconsistent or empty row, or one of another element type, is left as it
// was byte for byte.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include "support/fuzz_support.hpp"

namespace
{
    using RC::Unreal::FName;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;

    constexpr int RowCount = 3;

    // A table of the selection layout whose Entries elements are of another type: one row, one
    // selection set, two zeroed elements, in storage the engine releases with the table.
    struct OtherTable
    {
        RC::Unreal::UDataTable* Table{};
        uint8_t* Row{};
        uint8_t* Item{};
        uint8_t* Elements{};
        size_t ElementsSize{};
    };

    // Each row's SelectionSet storage as allocated here, so it can be released whatever the
    // header says now.
    struct Rows
    {
        Rows() = default;
        Rows(const Rows&) = delete;
        auto operator=(const Rows&) -> Rows& = delete;
        // Honest, empty rows again before the engine goes: it may walk their arrays.
        ~Rows();

        std::array<FName, RowCount> Names{};
        std::array<uint8_t*, RowCount> Memory{};
        std::array<int32_t, RowCount> ItemsAllocated{};
        std::array<void*, RowCount> ItemStorage{};
        std::vector<UObject*> Objects;
        std::vector<OtherTable> Others;
    };

    auto SelectionSetOf(Rows& Table, int Row) -> uint8_t* { return Table.Memory[Row] + BlueprintHalf::RowSelectionSetOffset; }

    auto MakeOtherTable(Harness::Session& Session, const RC::StringType& Name, RC::Sim::PropSpec Element,
                        size_t ElementSize) -> OtherTable
    {
        using RC::Sim::ArrayProp;
        using RC::Sim::Kind;
        using RC::Sim::Prop;
        using RC::Sim::StructProp;
        auto& Sim = Session.Sim();
        auto* const Item = Sim.CreateStruct(
            STR("/Game/Fuzz/") + Name + STR("Item.") + Name + STR("Item"),
            {Prop(STR("StateGroupID"), Kind::Name, 0), ArrayProp(STR("Entries"), std::move(Element), 16)}, 32);
        auto* const RowStruct = Sim.CreateStruct(
            STR("/Game/Fuzz/") + Name + STR("Row.") + Name + STR("Row"),
            {Prop(STR("ID"), Kind::Name, 8), ArrayProp(STR("SelectionSet"), StructProp(STR("Item"), Item, 0), 32)}, 48);
        OtherTable Made;
        Made.Table = Sim.CreateDataTable(STR("/Game/Fuzz/DT_") + Name + STR(".DT_") + Name, RowStruct);
        Made.Row = Sim.AddRow(Made.Table, FName(STR("Row_0")));
        Made.Item = static_cast<uint8_t*>(RC::Unreal::FMemory::Malloc(BlueprintHalf::ItemSize, 0));
        std::memset(Made.Item, 0, BlueprintHalf::ItemSize);
        Made.ElementsSize = 2 * ElementSize;
        Made.Elements = static_cast<uint8_t*>(RC::Unreal::FMemory::Malloc(Made.ElementsSize, 0));
        std::memset(Made.Elements, 0, Made.ElementsSize);
        Fuzz::WriteHeader(Made.Item + BlueprintHalf::ItemEntriesOffset, Fuzz::ArrayHeader{Made.Elements, 2, 2});
        Fuzz::WriteHeader(Made.Row + BlueprintHalf::RowSelectionSetOffset, Fuzz::ArrayHeader{Made.Item, 1, 1});
        return Made;
    }

    auto Snapshot(const OtherTable& Other) -> std::vector<uint8_t>
    {
        std::vector<uint8_t> Bytes(Other.Row, Other.Row + BlueprintHalf::RowSize);
        Bytes.insert(Bytes.end(), Other.Item, Other.Item + BlueprintHalf::ItemSize);
        Bytes.insert(Bytes.end(), Other.Elements, Other.Elements + Other.ElementsSize);
        return Bytes;
    }

    auto EntriesOf(Rows& Table, int Row) -> uint8_t*
    {
        return static_cast<uint8_t*>(Table.ItemStorage[Row]) + BlueprintHalf::ItemEntriesOffset;
    }

    auto ReleaseRow(Rows& Table, int Row) -> void
    {
        for (int32_t Item = 0; Item < Table.ItemsAllocated[Row]; ++Item)
        {
            Fuzz::FreeHeader(static_cast<uint8_t*>(Table.ItemStorage[Row]) + Item * BlueprintHalf::ItemSize +
                             BlueprintHalf::ItemEntriesOffset);
        }
        RC::Unreal::FMemory::Free(Table.ItemStorage[Row]);
        Table.ItemStorage[Row] = nullptr;
        Table.ItemsAllocated[Row] = 0;
        Fuzz::WriteHeader(SelectionSetOf(Table, Row), Fuzz::ArrayHeader{nullptr, 0, 0});
    }

    // A SelectionSet of up to three items (honest or inconsistent header) whose first item's
    // Entries list is honest or inconsistent and holds a few small values.
    auto BuildRow(Rows& Table, int Row, FuzzedDataProvider& Input) -> void
    {
        ReleaseRow(Table, Row);
        const auto Items = Input.ConsumeIntegralInRange<int32_t>(0, 3);
        const Fuzz::ArrayHeader Set = Fuzz::MakeHeader(Input, Items, BlueprintHalf::ItemSize);
        Table.ItemStorage[Row] = Set.Data;
        Table.ItemsAllocated[Row] = Items;
        Fuzz::WriteHeader(SelectionSetOf(Table, Row), Set);
        if (Items > 0)
        {
            const auto Capacity = Input.ConsumeIntegralInRange<int32_t>(0, 8);
            const Fuzz::ArrayHeader Entries = Fuzz::MakeHeader(Input, Capacity, sizeof(uint64_t));
            for (int32_t Index = 0; Index < Capacity; ++Index)
            {
                const uint64_t Value = Input.ConsumeIntegralInRange<uint64_t>(0, 7);
                std::memcpy(static_cast<uint8_t*>(Entries.Data) + Index * sizeof(uint64_t), &Value, sizeof(Value));
            }
            Fuzz::WriteHeader(EntriesOf(Table, Row), Entries);
        }
    }

    Rows::~Rows()
    {
        for (int Row = 0; Row < RowCount; ++Row)
        {
            if (Memory[Row] != nullptr)
            {
                ReleaseRow(*this, Row);
            }
        }
    }

    auto GetRows(Harness::Session& Session) -> Rows&
    {
        static Rows Instance;
        if (Instance.Objects.empty())
        {
            for (int Row = 0; Row < RowCount; ++Row)
            {
                const RC::StringType Name = STR("Row_") + RC::StringType(1, static_cast<RC::CharType>('0' + Row));
                Instance.Names[Row] = FName(Name.c_str());
                Instance.Memory[Row] = Session.Sim().AddRow(Session.Table(), Instance.Names[Row]);
            }
            Instance.Objects = {nullptr,           Session.Proxy(), Session.Sim().SpawnObject(Session.Half().ProxyClass),
                                Session.WorldActor(), Session.LibraryObject(Harness::Library::Proxy), Session.Table()};
            using RC::Sim::Kind;
            auto* const Holder = Session.Sim().CreateStruct(STR("/Game/Fuzz/NameHolder.NameHolder"),
                                                            {RC::Sim::Prop(STR("Value"), Kind::Name, 0)}, 8);
            Instance.Others = {
                MakeOtherTable(Session, STR("Objects"), RC::Sim::Prop(STR("Entry"), Kind::Object, 0), 8),
                MakeOtherTable(Session, STR("Names"), RC::Sim::StructProp(STR("Entry"), Holder, 0), 8),
                MakeOtherTable(Session, STR("Int32s"), RC::Sim::Prop(STR("Entry"), Kind::Int32, 0), 4),
            };
        }
        return Instance;
    }

    auto Contains(const Fuzz::ArrayHeader& Entries, uint64_t Value) -> bool
    {
        const auto* const Begin = static_cast<const uint64_t*>(Entries.Data);
        return Entries.Num > 0 && std::find(Begin, Begin + Entries.Num, Value) != Begin + Entries.Num;
    }
} // namespace

extern "C" auto LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) -> int
{
    Harness::Session& Session = Fuzz::GetSession();
    const Harness::Functions& Fn = Session.Fn();
    Rows& Table = GetRows(Session);
    FuzzedDataProvider Input(Data, Size);

    Session.RegisterProxy(Session.Proxy());
    for (int Row = 0; Row < RowCount; ++Row)
    {
        ReleaseRow(Table, Row);
    }

    for (int Step = 0; Step < 24 && Input.remaining_bytes() > 0; ++Step)
    {
        const int Action = Input.ConsumeIntegralInRange<int>(0, 5);
        if (Action == 5)
        {
            // A table of another element type: refused whatever the call, every byte kept.
            const OtherTable& Other = Table.Others[Input.ConsumeIntegralInRange<size_t>(0, Table.Others.size() - 1)];
            UFunction* const Function = Input.ConsumeBool() ? Fn.TestDT : Fn.AddObjectSelectionSetID;
            Harness::ParamBlock Params(Function);
            Params.SetObject(BlueprintHalf::Param::DataTable, Other.Table);
            Params.SetName(BlueprintHalf::Param::RowName, FName(STR("Row_0")));
            Params.SetInt64(BlueprintHalf::Param::EntryID, Input.ConsumeIntegral<uint64_t>());
            const auto Before = Snapshot(Other);
            Session.Call(Session.Proxy(), Function, Params);
            Fuzz::Require(Snapshot(Other) == Before, "a row of another element type is left as it was");
        }
        else if (Action == 0)
        {
            BuildRow(Table, Input.ConsumeIntegralInRange<int>(0, RowCount - 1), Input);
        }
        else if (Action == 1 || Action == 2)
        {
            UObject* const Object = Table.Objects[Input.ConsumeIntegralInRange<size_t>(0, Table.Objects.size() - 1)];
            UFunction* const Function = Action == 1 ? Fn.RegisterProxy : Fn.DestroyedProxy;
            Harness::ParamBlock Params(Function);
            Params.SetObject(BlueprintHalf::Param::Proxy, Object);
            Session.Call(Session.LibraryObject(Harness::Library::Proxy), Function, Params);
            Fuzz::Require(Object == nullptr || Params.GetObject(BlueprintHalf::Param::Proxy) == nullptr, "the argument slot is nulled");
        }
        else
        {
            const bool Diagnostic = Action == 4;
            UFunction* const Function = Diagnostic ? Fn.TestDT : Fn.AddObjectSelectionSetID;
            Harness::ParamBlock Params(Function);
            const bool WithTable = Input.ConsumeIntegralInRange<int>(0, 7) != 0;
            Params.SetObject(BlueprintHalf::Param::DataTable, WithTable ? Session.Table() : nullptr);
            const int Row = Input.ConsumeIntegralInRange<int>(0, RowCount); // RowCount: a missing row
            Params.SetName(BlueprintHalf::Param::RowName, Row < RowCount ? Table.Names[Row] : FName(STR("Missing_Row")));
            const uint64_t Entry = Input.ConsumeIntegralInRange<uint64_t>(0, 9);
            Params.SetInt64(BlueprintHalf::Param::EntryID, Entry);
            if (Diagnostic)
            {
                Params.SetInt64(BlueprintHalf::Param::Ignored, Input.ConsumeIntegral<uint64_t>());
            }

            const bool Present = WithTable && Row < RowCount;
            const Fuzz::ArrayHeader Set = Present ? Fuzz::ReadHeader(SelectionSetOf(Table, Row)) : Fuzz::ArrayHeader{};
            const bool Reachable = Present && Fuzz::IsConsistent(Set) && Set.Num > 0;
            const bool HasItems = Present && Table.ItemsAllocated[Row] > 0;
            const Fuzz::ArrayHeader Before = HasItems ? Fuzz::ReadHeader(EntriesOf(Table, Row)) : Fuzz::ArrayHeader{};
            const bool WasThere = Reachable && Fuzz::IsConsistent(Before) && Contains(Before, Entry);

            Session.Call(Session.Proxy(), Function, Params);

            if (HasItems)
            {
                const Fuzz::ArrayHeader After = Fuzz::ReadHeader(EntriesOf(Table, Row));
                if (!Reachable || !Fuzz::IsConsistent(Before))
                {
                    Fuzz::Require(After.Num == Before.Num && After.Max == Before.Max && After.Data == Before.Data,
                                  "a row out of reach is left as it was");
                }
                else
                {
                    const int32_t Added = (Diagnostic || !WasThere) ? 1 : 0;
                    Fuzz::Require(After.Num == Before.Num + Added, "the entry is added once, or always by TestDT");
                    Fuzz::Require(Fuzz::IsConsistent(After) && Contains(After, Entry), "the entry is present");
                }
            }
        }
        Fuzz::RequireNoEscapes(Session);
    }
    return 0;
}
