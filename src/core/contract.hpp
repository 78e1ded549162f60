// The parameters each hooked Blueprint function must declare, in declaration order: the one
// table that every hook description takes its parameters from (so the hook bridge checks a
// function's reflection against it before hooking it), that the simulator's Blueprint half
// declares its functions from and that the guide's tables are checked against. A function
// declared otherwise is not hooked: its handler would read and write the block at these offsets.
#pragma once

#include <cstddef>
#include <iterator>
#include <span>

#include <String/StringType.hpp>

#include "bridge/hook_bridge.hpp"

namespace BRMB::Contract
{
    using Bridge::Direction;
    using Bridge::Param;
    using Bridge::ParamType;

    struct Function
    {
        const RC::CharType* Name;
        std::span<const Param> Params;
    };

    namespace Layouts
    {
        using enum ParamType;
        using enum Direction;

        inline constexpr Param OneString[] = {{STR("Path"), String, 0, 16, In}};
        inline constexpr Param LogText[] = {{STR("Text"), String, 0, 16, In}};
        inline constexpr Param SaveFile[] = {
            {STR("Path"), String, 0, 16, In},
            {STR("FileName"), String, 16, 16, In},
            {STR("Content"), String, 32, 16, In},
        };
        inline constexpr Param Actor[] = {{STR("Actor"), ObjectReference, 0, 8, In}};
        inline constexpr Param ClassName[] = {{STR("ClassName"), String, 0, 16, In}};
        inline constexpr Param NewObject[] = {
            {STR("Outer"), ObjectReference, 0, 8, In},
            {STR("Class"), ClassReference, 8, 8, In},
        };
        inline constexpr Param Request[] = {{STR("Request"), String, 0, 16, In}};
        inline constexpr Param Proxy[] = {{STR("Proxy"), ObjectReference, 0, 8, In}};
        inline constexpr Param AddEntry[] = {
            {STR("DataTable"), ObjectReference, 0, 8, In},
            {STR("RowName"), Name, 8, 8, In},
            {STR("EntryID"), Value8, 16, 8, In},
        };
        inline constexpr Param TestDT[] = {
            {STR("DataTable"), ObjectReference, 0, 8, In},
            {STR("RowName"), Name, 8, 8, In},
            {STR("Ignored"), Value8, 16, 8, In},
            {STR("EntryID"), Value8, 24, 8, In},
        };
    } // namespace Layouts

    inline constexpr Function Functions[] = {
        {STR("VEXA_CPP_SendToUE4SSLog"), Layouts::LogText},
        {STR("VEXA_CPP_GetNamesFromDir"), Layouts::OneString},
        {STR("VEXA_CPP_DoesFileExist"), Layouts::OneString},
        {STR("VEXA_CPP_GetFileContents"), Layouts::OneString},
        {STR("VEXA_CPP_SaveFile"), Layouts::SaveFile},
        {STR("VEXA_CPP_RegisterWorldActor"), Layouts::Actor},
        {STR("VEXA_CPP_DestroyedWorldActor"), Layouts::Actor},
        {STR("VEXA_CPP_FindFirstOf"), Layouts::ClassName},
        {STR("VEXA_CPP_FindAllOf"), Layouts::ClassName},
        {STR("VEXA_CPP_NewObject"), Layouts::NewObject},
        {STR("VEXA_Anim_CPP_GetResponse"), Layouts::Request},
        {STR("BRMB_CPP_RegisterProxy"), Layouts::Proxy},
        {STR("BRMB_CPP_DestroyedProxy"), Layouts::Proxy},
        {STR("BRMB_CPP_AddObjectSelectionSetID"), Layouts::AddEntry},
        {STR("BRMB_CPP_TestDT"), Layouts::TestDT},
    };

    // The function's position in the table; the table's size for a name it lacks. An index, not a
    // pointer, so that it is a constant expression in every build (sanitizers included).
    constexpr auto IndexOf(const RC::CharType* Name) -> size_t
    {
        for (size_t Entry = 0; Entry < std::size(Functions); ++Entry)
        {
            const RC::CharType* const Known = Functions[Entry].Name;
            size_t Index = 0;
            while (Known[Index] != 0 && Known[Index] == Name[Index])
            {
                ++Index;
            }
            if (Known[Index] == Name[Index])
            {
                return Entry;
            }
        }
        return std::size(Functions);
    }

    // The function's contract; null for a name the table lacks.
    inline auto Find(const RC::CharType* Name) -> const Function*
    {
        const size_t Entry = IndexOf(Name);
        return Entry < std::size(Functions) ? &Functions[Entry] : nullptr;
    }

    // The hook description of a function of the table, with the table's parameters; a name the
    // table lacks does not compile.
    consteval auto Hook(const RC::CharType* Prefix, const RC::CharType* Name, Bridge::HookHandler Handler)
        -> Bridge::HookedFunction
    {
        const size_t Entry = IndexOf(Name);
        if (Entry == std::size(Functions))
        {
            throw "every hooked function has a contract";
        }
        return {Prefix, Functions[Entry].Name, Handler, Functions[Entry].Params};
    }
} // namespace BRMB::Contract
