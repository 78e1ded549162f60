// The proxy class's table hooks: add an entry to the first selection set of a data-table row,
// in engine memory, through the host's checked array operations only. An array error (empty
// SelectionSet, corrupt header) leaves the row unchanged and ends at the hook boundary.
#include <cstddef>
#include <string>
#include <utility>

#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
#include <Unreal/Engine/UDataTable.hpp>
#include <Unreal/UObject.hpp>

#include "bridge/log.hpp"
#include "bridge/param_view.hpp"
#include "proxy/proxy_hooks.hpp"
#include "proxy/row_view.hpp"

namespace BRMB
{
    using Bridge::Entry8;
    using Bridge::LogLine;
    using Bridge::ParamView;
    using RC::Unreal::CastField;
    using RC::Unreal::FArrayProperty;
    using RC::Unreal::FClassProperty;
    using RC::Unreal::FNameProperty;
    using RC::Unreal::FObjectProperty;
    using RC::Unreal::FProperty;
    using RC::Unreal::FStrProperty;
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

        // Both of the same kind; a kind that holds engine memory or promises a class is only
        // the same as itself.
        template <typename Kind>
        auto BothOrNeither(FProperty& A, FProperty& B, bool& Either) -> bool
        {
            const bool InA = CastField<Kind>(&A) != nullptr;
            const bool InB = CastField<Kind>(&B) != nullptr;
            Either = Either || InA || InB;
            return InA == InB;
        }

        // The same value type: what is copied from B into an array of A is what the engine reads
        // there. Plain values (numbers, opaque entries) of the same size count as the same.
        auto SameValueType(FProperty& A, FProperty& B) -> bool
        {
            if (A.GetSize() != B.GetSize())
            {
                return false;
            }
            bool Typed = false;
            if (!BothOrNeither<FStrProperty>(A, B, Typed) || !BothOrNeither<FNameProperty>(A, B, Typed) ||
                !BothOrNeither<FClassProperty>(A, B, Typed) || !BothOrNeither<FObjectProperty>(A, B, Typed) ||
                !BothOrNeither<FStructProperty>(A, B, Typed) || !BothOrNeither<FArrayProperty>(A, B, Typed))
            {
                return false;
            }
            if (!Typed)
            {
                return true;
            }
            if (auto* const Object = CastField<FObjectProperty>(&A))
            {
                return Object->GetPropertyClass() == CastField<FObjectProperty>(&B)->GetPropertyClass();
            }
            if (auto* const Struct = CastField<FStructProperty>(&A))
            {
                return Struct->GetStruct() == CastField<FStructProperty>(&B)->GetStruct();
            }
            if (auto* const Array = CastField<FArrayProperty>(&A))
            {
                FProperty* const InnerA = Array->GetInner();
                FProperty* const InnerB = CastField<FArrayProperty>(&B)->GetInner();
                return InnerA != nullptr && InnerB != nullptr && SameValueType(*InnerA, *InnerB);
            }
            return true; // strings, names
        }

        // The dump reads StateGroupID as a name: any other value there is no index into the
        // engine's name table.
        auto IsSelectionSetItem(UStruct& Item, FProperty& Entry) -> bool
        {
            if (FindAt<FNameProperty>(Item, offsetof(SelectionSetItem, StateGroupID)) == nullptr)
            {
                return false;
            }
            auto* const Entries = FindAt<FArrayProperty>(Item, offsetof(SelectionSetItem, Entries));
            FProperty* const Inner = Entries != nullptr ? Entries->GetInner() : nullptr;
            return Inner != nullptr && std::cmp_equal(Inner->GetElementSize(), sizeof(Entry8)) &&
                   SameValueType(*Inner, Entry);
        }

        template <typename T>
        auto ClaimsMissingStorage(RC::Unreal::TArray<T>& Array) -> bool
        {
            // An inconsistent header is the host's to refuse, with its own error.
            return Array.GetData() == nullptr && Array.Max() > 0 && Array.Num() >= 0 && Array.Num() <= Array.Max();
        }
    } // namespace

    auto HasMissingStorage(ObjectSelectionRow& Row) -> bool
    {
        auto& Sets = Row.SelectionSet;
        if (ClaimsMissingStorage(Sets))
        {
            return true;
        }
        const bool FirstReachable = Sets.GetData() != nullptr && Sets.Num() > 0 && Sets.Num() <= Sets.Max();
        return FirstReachable && ClaimsMissingStorage(Sets.GetData()[0].Entries);
    }

    auto HasObjectSelectionLayout(RC::Unreal::UScriptStruct* RowStruct, FProperty* Entry) -> bool
    {
        if (Entry == nullptr)
        {
            return false;
        }
        if (RowStruct == nullptr || FindAt<FNameProperty>(*RowStruct, offsetof(ObjectSelectionRow, ID)) == nullptr)
        {
            return false;
        }
        auto* const SelectionSet = FindAt<FArrayProperty>(*RowStruct, offsetof(ObjectSelectionRow, SelectionSet));
        auto* const Item =
            SelectionSet != nullptr ? RC::Unreal::CastField<FStructProperty>(SelectionSet->GetInner()) : nullptr;
        return Item != nullptr && Item->GetStruct() != nullptr && IsSelectionSetItem(*Item->GetStruct(), *Entry);
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

        // The object a Blueprint passed as the table is read as one only when its class is the
        // engine's data-table class or derives from it: any other object's memory is not a table.
        auto AsDataTable(RC::Unreal::UObject* const Object) -> UDataTable*
        {
            for (const UStruct* Class = Object->GetClassPrivate(); Class != nullptr; Class = Class->GetSuperStruct())
            {
                if (Class->GetName() == STR("DataTable"))
                {
                    return static_cast<UDataTable*>(Object);
                }
            }
            return nullptr;
        }

        // The entry parameter of the function running, as its declaration reflects it: the hook
        // sits on that function of the calling object's class. Null when it cannot be found.
        auto EntryParam(HookContext& Context, const RC::CharType* FunctionName, size_t Offset) -> FProperty*
        {
            RC::Unreal::UFunction* const Function =
                Context.Context != nullptr ? Context.Context->GetFunctionByNameInChain(FunctionName) : nullptr;
            if (Function == nullptr)
            {
                return nullptr;
            }
            for (FProperty* const Param : Function->ForEachProperty())
            {
                if (Param->HasAnyPropertyFlags(RC::Unreal::CPF_Parm) && std::cmp_equal(Param->GetOffset_Internal(), Offset))
                {
                    return Param;
                }
            }
            return nullptr;
        }
    } // namespace

    auto AddObjectSelectionSetID(HookContext& Context) -> void
    {
        LogLine("BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID Hook Triggered!");
        const ParamView Params(Context);
        auto* const Object = Params.ObjectAt<RC::Unreal::UObject>(DataTableOffset);
        if (Object == nullptr)
        {
            LogLine("BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID : Passed DataTable from BPs is nullptr");
            return;
        }
        auto* const Table = AsDataTable(Object);
        if (Table == nullptr)
        {
            LogLine("BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID : Passed DataTable from BPs is not a DataTable");
            return;
        }
        if (!HasObjectSelectionLayout(Table->GetRowStruct(),
                                      EntryParam(Context, AddObjectSelectionSetIDHook.Function, AddEntryOffset)))
        {
            LogLine("BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Row layout mismatch");
            return;
        }
        auto* const Row = AsObjectSelectionRow(Table->FindRowUnchecked(Params.NameAt(RowNameOffset)));
        if (Row == nullptr)
        {
            LogLine("BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Table Row Not Found?");
            return;
        }
        if (HasMissingStorage(*Row))
        {
            LogLine("BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Row layout mismatch");
            return;
        }
        Row->SelectionSet[0].Entries.AddUnique(Params.EntryAt(AddEntryOffset));
        LogLine("BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Entry Add Attempted!");
    }

    // The diagnostic twin: logs every step and the row's key values, then appends without the
    // duplicate scan.
    auto TestDT(HookContext& Context) -> void
    {
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT Hook Triggered!");
        const ParamView Params(Context);
        auto* const Object = Params.ObjectAt<RC::Unreal::UObject>(DataTableOffset);
        if (Object == nullptr)
        {
            LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Passed DataTable from BPs is Nullptr!");
            return;
        }
        auto* const Table = AsDataTable(Object);
        if (Table == nullptr)
        {
            LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Passed DataTable from BPs is not a DataTable!");
            return;
        }
        if (!HasObjectSelectionLayout(Table->GetRowStruct(), EntryParam(Context, TestDTHook.Function, TestEntryOffset)))
        {
            LogLine("BRMB:Proxy:BRMB_CPP_TestDT:Row layout mismatch");
            return;
        }
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Get TableRow");
        auto* const Row = AsObjectSelectionRow(Table->FindRowUnchecked(Params.NameAt(RowNameOffset)));
        if (Row == nullptr)
        {
            LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Table Row Not Found?");
            return;
        }
        if (HasMissingStorage(*Row))
        {
            LogLine("BRMB:Proxy:BRMB_CPP_TestDT:Row layout mismatch");
            return;
        }
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Reinterpret Cast Data Table");
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Get and check ID");
        LogLine(RC::StringType(STR("BRMB : Proxy::BRMB_CPP_TestDT : ")) + Row->ID.ToString());
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Check SelectionSetCount");
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : SelectionSetCount = " + std::to_string(Row->SelectionSet.Num()));
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Check SelectionSet StateGroupID");
        const RC::Unreal::FName StateGroupID = Row->SelectionSet[0].StateGroupID;
        LogLine(RC::StringType(STR("BRMB : Proxy::BRMB_CPP_TestDT : StateGroupID = ")) + StateGroupID.ToString());
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Attempt AddEntry");
        Row->SelectionSet[0].Entries.Add(Params.EntryAt(TestEntryOffset));
        LogLine("BRMB : Proxy::BRMB_CPP_TestDT : Entry Add Attempted!");
    }
} // namespace BRMB::ProxyHooks
