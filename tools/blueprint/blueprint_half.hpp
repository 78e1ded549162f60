// The Blueprint half of the modification, built in the simulated engine: the three function
// libraries at their object paths, the world actor's and the proxy's classes, and the row
// structures of the selection tables, each function with the parameter layout the mod reads.
// Used by the tests and the simulator; never by the mod.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include <Sim/Engine.hpp>
#include <String/StringType.hpp>

namespace BlueprintHalf
{
    using RC::Sim::BlueprintBody;
    using RC::Sim::Engine;
    using RC::Unreal::FName;
    using RC::Unreal::UClass;
    using RC::Unreal::UDataTable;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;
    using RC::Unreal::UScriptStruct;

    enum class Library
    {
        Core,
        Anim,
        Proxy,
    };

    inline constexpr auto CoreLibraryPath = STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C");
    inline constexpr auto AnimLibraryPath =
        STR("/Game/Mods/VEXA_Anim/VEXA_Anim_FunctionLibrary.VEXA_Anim_FunctionLibrary_C");
    inline constexpr auto ProxyLibraryPath = STR("/Game/Mods/Brambleon/BRMB_BlueprintLibrary.BRMB_BlueprintLibrary_C");
    inline constexpr auto WorldActorClassPath = STR("/Game/Mods/VEXA/VEXA_WorldActor.VEXA_WorldActor_C");
    inline constexpr auto ProxyClassPath = STR("/Game/Mods/Brambleon/BRMB_Proxy.BRMB_Proxy_C");
    inline constexpr auto SelectionSetItemPath = STR("/Game/Data/SelectionSetItem.SelectionSetItem");
    inline constexpr auto ObjectSelectionRowPath = STR("/Game/Data/ObjectSelectionRow.ObjectSelectionRow");

    // Parameter names, for ParamBlock's by-name access. Functions are declared from the mod's
    // contract table (src/core/contract.hpp), which fixes the offsets.
    namespace Param
    {
        inline constexpr auto Text = STR("Text");         // SendToUE4SSLog: FString at 0
        inline constexpr auto Path = STR("Path");         // GetNamesFromDir, DoesFileExist, GetFileContents,
                                                           // SaveFile: FString at 0
        inline constexpr auto FileName = STR("FileName"); // SaveFile: FString at 16
        inline constexpr auto Content = STR("Content");   // SaveFile: FString at 32
        inline constexpr auto Actor = STR("Actor");       // Register/DestroyedWorldActor: object at 0
        inline constexpr auto Request = STR("Request");   // VEXA_Anim_CPP_GetResponse: FString at 0
        inline constexpr auto Proxy = STR("Proxy");       // BRMB_CPP_Register/DestroyedProxy: object at 0
        inline constexpr auto ClassName = STR("ClassName"); // FindFirstOf, FindAllOf: FString at 0
        inline constexpr auto Outer = STR("Outer");         // NewObject: object at 0
        inline constexpr auto Class = STR("Class");         // NewObject: class at 8
        inline constexpr auto DataTable = STR("DataTable"); // proxy table functions: object at 0
        inline constexpr auto RowName = STR("RowName");     // name at 8
        inline constexpr auto Ignored = STR("Ignored");     // TestDT: 8 bytes at 16, not read
        inline constexpr auto EntryID = STR("EntryID");     // AddObjectSelectionSetID: 16; TestDT: 24
    } // namespace Param

    // Variables of the world actor's class.
    inline constexpr auto ObjectRefVar = STR("ObjectRef");   // UObject*
    inline constexpr auto ObjectRefsVar = STR("ObjectRefs"); // engine array of UObject*

    struct Options
    {
        // Libraries not created at all.
        std::set<Library> Omit;
        // Libraries created but not loaded: FindObject does not see them until Show().
        std::set<Library> Hidden;
        // Functions (of any library or class, by name) left undeclared.
        std::set<RC::StringType> OmitFunctions;
        // Blueprint bodies by function name; they run after the mod's pre-callbacks.
        std::map<RC::StringType, BlueprintBody> Bodies;
        // Functions (by name) declared with these parameters instead of the contract's: a
        // Blueprint author's declaration mistakes.
        std::map<RC::StringType, std::vector<RC::Sim::PropDecl>> Redeclared;
    };

    // What Build created; null for what was omitted.
    struct Half
    {
        UClass* CoreLibrary = nullptr;
        UClass* AnimLibrary = nullptr;
        UClass* ProxyLibrary = nullptr;
        UClass* WorldActorClass = nullptr;
        UClass* ProxyClass = nullptr;
        UScriptStruct* SelectionSetItem = nullptr;
        UScriptStruct* ObjectSelectionRow = nullptr;

        [[nodiscard]] auto LibraryClass(Library Which) const -> UClass*;
        // The declared function of a library or class, loaded or not; null when undeclared.
        [[nodiscard]] auto Function(Library Which, RC::StringViewType Name) const -> UFunction*;
        [[nodiscard]] static auto Function(const UClass* Class, RC::StringViewType Name) -> UFunction*;
        // Loads a hidden library (and its functions), as the engine does when content streams in.
        auto Show(Engine& Sim, Library Which) const -> void;
    };

    auto Build(Engine& Sim, const Options& Choices = {}) -> Half;

    // The parameters the contract gives a hooked function, as the Blueprint half declares them.
    auto ContractParams(RC::StringViewType Function) -> std::vector<RC::Sim::PropDecl>;

    // One selection set of a row: its state group and its entries.
    struct SelectionSet
    {
        FName StateGroupID;
        std::vector<uint64_t> Entries;
    };

    // Creates a data table whose rows are ObjectSelectionRow.
    auto CreateSelectionTable(Engine& Sim, const Half& Built, RC::StringViewType Path) -> UDataTable*;
    // Adds a row with the given ID and selection sets, built through the host's array code.
    auto AddSelectionRow(Engine& Sim, UDataTable* Table, FName RowName, FName ID, const std::vector<SelectionSet>& Sets)
        -> uint8_t*;

    // Row layout, for reading rows back.
    inline constexpr size_t RowIDOffset = 8;
    inline constexpr size_t RowSelectionSetOffset = 32;
    inline constexpr size_t RowSize = 48;
    inline constexpr size_t ItemStateGroupIDOffset = 0;
    inline constexpr size_t ItemEntriesOffset = 16;
    inline constexpr size_t ItemSize = 32;
} // namespace BlueprintHalf
