// Row expectations: bytes of a data-table row, the row unchanged, and the entries of its
// selection sets.
#include <algorithm>

#include <Unreal/UObjectGlobals.hpp>

#include "sim/run.hpp"
#include "sim/text.hpp"

namespace BRMB::Sim
{
    namespace
    {
        auto ShowEntries(const std::vector<uint64_t>& Entries) -> std::string
        {
            std::string Text = "[";
            for (size_t Index = 0; Index < Entries.size(); ++Index)
            {
                Text += (Index == 0 ? "" : ", ") + std::to_string(Entries[Index]);
            }
            return Text + "]";
        }
    } // namespace

    auto Run::RowMemory(const RowExpect& Row) const -> uint8_t*
    {
        return Built.Tables.at(Row.Table)->FindRowUnchecked(RC::Unreal::FName(Wide(Row.Row)));
    }

    auto Run::RowSize(const RowExpect& Row) const -> size_t
    {
        return static_cast<size_t>(Built.Tables.at(Row.Table)->GetRowStruct()->GetPropertiesSize());
    }

    auto Run::RowKey(const RowExpect& Row) -> std::string
    {
        return Row.Table + "." + Row.Row + "#" + std::to_string(Row.Set.value_or(0));
    }

    auto Run::CheckRow(const Step& Current, const RowExpect& Row) -> void
    {
        const auto* Memory = RowMemory(Row);
        const auto Name = Row.Table + "." + Row.Row;
        for (const auto& Bytes : Row.Bytes)
        {
            const std::string Seen(reinterpret_cast<const char*>(Memory) + Bytes.Offset, Bytes.Bytes.size());
            Check(Current, Seen == Bytes.Bytes, "bytes of " + Name + " at offset " + std::to_string(Bytes.Offset),
                  Hex(Bytes.Bytes), Hex(Seen));
        }
        if (Row.Unchanged)
        {
            const auto& Before = RowsBefore.at(Name);
            const std::string After(reinterpret_cast<const char*>(Memory), Before.size());
            const auto Differ = std::mismatch(Before.begin(), Before.end(), After.begin()).first - Before.begin();
            const auto Offset = static_cast<size_t>(Differ);
            Check(Current, Before == After,
                  "every byte of " + Name + " as before the step" +
                      (Before == After ? "" : ", first difference at offset " + std::to_string(Offset)),
                  Hex(Before), Hex(After));
        }
        if (!Row.Set)
        {
            return;
        }
        const auto Contents = ReadSelectionEntries(Memory, *Row.Set);
        const auto What = "entries of " + Name + ", selection set " + std::to_string(*Row.Set);
        const auto Wanted = Row.Entries ? ShowEntries(*Row.Entries) : "a readable list";
        if (!Contents.HeaderRead)
        {
            // A row without selection sets expected empty is still empty.
            const bool StillEmpty = *Row.Set == 0 && Row.Entries && Row.Entries->empty() && !Row.Capacity &&
                                    !Row.Count && !Row.Moved && Contents.Problem == "the row has 0 selection sets";
            Check(Current, StillEmpty, What, Wanted, Contents.Problem);
            return;
        }
        if (Row.Entries)
        {
            Check(Current, Contents.Problem.empty() && Contents.Elements == *Row.Entries, What, Wanted,
                  Contents.Problem.empty() ? ShowEntries(Contents.Elements) : Contents.Problem);
        }
        CheckHeader(Current, What, Contents, {Row.Capacity, Row.Count, Row.Moved}, RowKey(Row));
    }
} // namespace BRMB::Sim
