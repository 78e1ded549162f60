// The game's data-table row that the proxy's table hooks patch, viewed in place in engine
// memory. Only the fields named here are touched; the rest belongs to the game.
#pragma once

#include <cstddef>
#include <cstdint>

#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/NameTypes.hpp>

#include "bridge/param_view.hpp"

namespace RC::Unreal
{
    class FProperty;
    class UScriptStruct;
}

namespace BRMB
{
    static_assert(sizeof(RC::Unreal::FName) == 8,
                  "this host has 12-byte names (a CasePreserving configuration): the game's selection rows "
                  "cannot have the layout this mod patches; build against a host in a Game__ configuration");

    struct SelectionSetItem
    {
        RC::Unreal::FName StateGroupID;
        uint8_t Untouched[8];
        RC::Unreal::TArray<Bridge::Entry8> Entries;
    };

    // Only element 0 of SelectionSet is ever reached, so the element's full size is not needed.
    struct ObjectSelectionRow
    {
        uint8_t Untouched0[8];
        RC::Unreal::FName ID;
        uint8_t Untouched1[16];
        RC::Unreal::TArray<SelectionSetItem> SelectionSet;
    };

    static_assert(offsetof(SelectionSetItem, StateGroupID) == 0);
    static_assert(offsetof(SelectionSetItem, Entries) == 16);
    static_assert(sizeof(SelectionSetItem) == 32);
    static_assert(offsetof(ObjectSelectionRow, ID) == 8);
    static_assert(offsetof(ObjectSelectionRow, SelectionSet) == 32);
    static_assert(sizeof(ObjectSelectionRow) == 48);

    // True when the host describes RowStruct as this view expects: a name at the ID offset and,
    // at the SelectionSet offset, an array of structures that hold a name at the StateGroupID
    // offset and, at the Entries offset, an array whose elements have the type of Entry (the
    // hooked function's entry parameter, which is what gets copied in). Members a structure
    // inherits from its super structure count at their offsets like its own. Writing an entry
    // into any other row would corrupt engine memory.
    [[nodiscard]] auto HasObjectSelectionLayout(RC::Unreal::UScriptStruct* RowStruct, RC::Unreal::FProperty* Entry)
        -> bool;

    // True when a consistent SelectionSet header, or that of its first item's Entries, claims
    // storage behind a null data pointer: reading or appending would go through it.
    [[nodiscard]] auto HasMissingStorage(ObjectSelectionRow& Row) -> bool;

    // The row as the view; null stays null.
    [[nodiscard]] inline auto AsObjectSelectionRow(uint8_t* Row) -> ObjectSelectionRow*
    {
        return reinterpret_cast<ObjectSelectionRow*>(Row);
    }
} // namespace BRMB
