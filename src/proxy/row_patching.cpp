// The proxy class's table hooks: add an entry to the first selection set of a data-table row,
// in engine memory, through the host's checked array operations only. An array error (empty
// SelectionSet, corrupt header) leaves the row unchanged and ends at the hook boundary.
#include <cstddef>
#include <string>
#include <utility>

#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
#include <Unreal/Engine/UDataTable.hpp>

#include "core/param_view.hpp"
#include "proxy/proxy_hooks.hpp"
#include "proxy/row_view.hpp"

namespace BRMB
{
    using RC::Unreal::FArrayProperty;
    using RC::Unreal::FNameProperty;
    using RC::Unreal::FProperty;
    using RC::Unreal::FStructProperty;
    using RC::Unreal::UDataTable;
    using RC::Unreal::UStruct;

    namespace
    {
        // Offsets are from the start of the whole struct, so members a super struct declares are
        // checked like the struct's own: what matters is the memory the view reads.
        template <typename Kind>
        auto FindAt(UStruct& Struct, size_t Offset) -> Kind*
        {
            for (FProperty* Property : Struct.ForEachPropertyInChain())
            {
                auto* const Typed = RC::Unreal::CastField<Kind>(Property);
                if (Typed != nullptr && std::cmp_equal(Typed->GetOffset_Internal(), Offset))
                {
                    return Typed;
                }
            }
            return nullptr;
        }

        auto HasEntriesAt(UStruct& Item, size_t Offset) -> bool
        {
            auto* const Entries = FindAt<FArrayProperty>(Item, Offset);
            const FProperty* const Inner = Entries != nullptr ? Entries->GetInner() : nullptr;
            return Inner != nullptr && std::cmp_equal(Inner->GetElementSize(), sizeof(Entry8));
        }
    } // namespace

    auto HasObjectSelectionLayout(RC::Unreal::UScriptStruct* RowStruct) -> bool
    {
        if (RowStruct == nullptr || FindAt<FNameProperty>(*RowStruct, offsetof(ObjectSelectionRow, ID)) == nullptr)
        {
            return false;
        }
        auto* const SelectionSet = FindAt<FArrayProperty>(*RowStruct, offsetof(ObjectSelectionRow, SelectionSet));
        auto* const Item =
            SelectionSet != nullptr ? RC::Unreal::CastField<FStructProperty>(SelectionSet->GetInner()) : nullptr;
        return Item != nullptr && Item->GetStruct() != nullptr &&
               HasEntriesAt(*Item->GetStruct(), offsetof(SelectionSetItem, Entries));
    }
} // namespace BRMB

namespace BRMB::ProxyHooks
{
    namespace
    {
        constexpr size_t DataTableOffset = 0;
        constexpr size_t RowNameOffset = 8;
        constexpr size_t AddEntryOffset = 16;
        // Bytes 16 to 23 of the diagnostic twin's block are another parameter, never read here.
        constexpr size_t TestEntryOffset = 24;
    } // namespace

    auto AddObjectSelectionSetID(HookContext& Context) -> void
    {
        SayNarrow("BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID Hook Triggered!");
        const ParamView Params(Context);
        auto* const Table = Params.ObjectAt<UDataTable>(DataTableOffset);
        if (Table == nullptr)
        {
            SayNarrow("BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID : Passed DataTable from BPs is nullptr");
            return;
        }
        if (!HasObjectSelectionLayout(Table->GetRowStruct()))
        {
            SayNarrow("BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Row layout mismatch");
            return;
        }
        auto* const Row = AsObjectSelectionRow(Table->FindRowUnchecked(Params.NameAt(RowNameOffset)));
        if (Row == nullptr)
        {
            SayNarrow("BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Table Row Not Found?");
            return;
        }
        Row->SelectionSet[0].Entries.AddUnique(Params.EntryAt(AddEntryOffset));
        SayNarrow("BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Entry Add Attempted!");
    }

    // The diagnostic twin: logs every step and the row's key values, then appends without the
    // duplicate scan.
    auto TestDT(HookContext& Context) -> void
    {
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT Hook Triggered!");
        const ParamView Params(Context);
        auto* const Table = Params.ObjectAt<UDataTable>(DataTableOffset);
        if (Table == nullptr)
        {
            SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Passed DataTable from BPs is Nullptr!");
            return;
        }
        if (!HasObjectSelectionLayout(Table->GetRowStruct()))
        {
            SayNarrow("BRMB:Proxy:BRMB_CPP_TestDT:Row layout mismatch");
            return;
        }
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Get TableRow");
        auto* const Row = AsObjectSelectionRow(Table->FindRowUnchecked(Params.NameAt(RowNameOffset)));
        if (Row == nullptr)
        {
            SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Table Row Not Found?");
            return;
        }
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Reinterpret Cast Data Table");
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Get and check ID");
        SayWide(RC::StringType(STR("BRMB : Proxy::BRMB_CPP_TestDT : ")) + Row->ID.ToString());
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Check SelectionSetCount");
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : SelectionSetCount = " + std::to_string(Row->SelectionSet.Num()));
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Check SelectionSet StateGroupID");
        const RC::Unreal::FName StateGroupID = Row->SelectionSet[0].StateGroupID;
        SayWide(RC::StringType(STR("BRMB : Proxy::BRMB_CPP_TestDT : StateGroupID = ")) + StateGroupID.ToString());
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Attempt AddEntry");
        Row->SelectionSet[0].Entries.Add(Params.EntryAt(TestEntryOffset));
        SayNarrow("BRMB : Proxy::BRMB_CPP_TestDT : Entry Add Attempted!");
    }
} // namespace BRMB::ProxyHooks
