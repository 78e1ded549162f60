// Builds the Blueprint half in the simulated engine.
#include "blueprint_half.hpp"

#include <array>
#include <cstring>
#include <stdexcept>

#include <Unreal/Core/Containers/Array.hpp>

namespace BlueprintHalf
{
    namespace
    {
        using RC::Sim::ArrayProp;
        using RC::Sim::Kind;
        using RC::Sim::Prop;
        using RC::Sim::PropSpec;
        using RC::Sim::StructProp;

        struct FunctionDecl
        {
            const RC::CharType* Name;
            std::vector<PropSpec> Params;
        };

        auto Str(const RC::CharType* Name, int32_t Offset) -> PropSpec
        {
            return Prop(Name, Kind::Str, Offset);
        }

        auto Object(const RC::CharType* Name, int32_t Offset) -> PropSpec
        {
            return Prop(Name, Kind::Object, Offset);
        }

        auto CoreFunctions() -> std::vector<FunctionDecl>
        {
            return {
                {STR("VEXA_CPP_SendToUE4SSLog"), {Str(Param::Text, 0)}},
                {STR("VEXA_CPP_RegisterWorldActor"), {Object(Param::Actor, 0)}},
                {STR("VEXA_CPP_DestroyedWorldActor"), {Object(Param::Actor, 0)}},
                {STR("VEXA_CPP_GetNamesFromDir"), {Str(Param::Path, 0)}},
                {STR("VEXA_CPP_GetFileContents"), {Str(Param::Path, 0)}},
                {STR("VEXA_CPP_SaveFile"), {Str(Param::Path, 0), Str(Param::FileName, 16), Str(Param::Content, 32)}},
                {STR("VEXA_CPP_DoesFileExist"), {Str(Param::Path, 0)}},
            };
        }

        auto AnimFunctions() -> std::vector<FunctionDecl>
        {
            return {{STR("VEXA_Anim_CPP_GetResponse"), {Str(Param::Request, 0)}}};
        }

        auto ProxyLibraryFunctions() -> std::vector<FunctionDecl>
        {
            return {
                {STR("BRMB_CPP_RegisterProxy"), {Object(Param::Proxy, 0)}},
                {STR("BRMB_CPP_DestroyedProxy"), {Object(Param::Proxy, 0)}},
            };
        }

        auto WorldActorFunctions() -> std::vector<FunctionDecl>
        {
            return {
                {STR("VEXA_CPP_FindFirstOf"), {Str(Param::ClassName, 0)}},
                {STR("VEXA_CPP_FindAllOf"), {Str(Param::ClassName, 0)}},
                {STR("VEXA_CPP_NewObject"), {Object(Param::Outer, 0), Prop(Param::Class, Kind::Class, 8)}},
            };
        }

        auto ProxyClassFunctions() -> std::vector<FunctionDecl>
        {
            return {
                {STR("BRMB_CPP_AddObjectSelectionSetID"),
                 {Object(Param::DataTable, 0), Prop(Param::RowName, Kind::Name, 8), Prop(Param::EntryID, Kind::Int64, 16)}},
                {STR("BRMB_CPP_TestDT"),
                 {Object(Param::DataTable, 0), Prop(Param::RowName, Kind::Name, 8), Prop(Param::Ignored, Kind::Int64, 16),
                  Prop(Param::EntryID, Kind::Int64, 24)}},
            };
        }

        auto Declare(Engine& Sim, const Options& Choices, RC::StringViewType Path, std::vector<PropSpec> Variables,
                     const std::vector<FunctionDecl>& Functions) -> UClass*
        {
            UClass* const Class = Sim.CreateClass(Path, std::move(Variables));
            for (const FunctionDecl& Decl : Functions)
            {
                if (Choices.OmitFunctions.contains(Decl.Name))
                {
                    continue;
                }
                const auto Body = Choices.Bodies.find(Decl.Name);
                Sim.AddFunction(Class, Decl.Name, Decl.Params,
                                Body == Choices.Bodies.end() ? BlueprintBody{} : Body->second);
            }
            return Class;
        }

        auto FunctionPath(const UClass* Class, RC::StringViewType Name) -> RC::StringType
        {
            RC::StringType Path = Class->GetPathName();
            Path.push_back(STR(':'));
            Path.append(Name);
            return Path;
        }

        auto SetLibraryLoaded(Engine& Sim, UClass* Class, const std::vector<FunctionDecl>& Functions, bool Loaded)
            -> void
        {
            // The package brings the class, its default object and its functions together.
            Sim.SetLoaded(Class, Loaded);
            Sim.SetLoaded(Sim.ClassDefaultObject(Class), Loaded);
            for (const FunctionDecl& Decl : Functions)
            {
                if (UFunction* const Function = Half::Function(Class, Decl.Name))
                {
                    Sim.SetLoaded(Function, Loaded);
                }
            }
        }

        auto LibraryFunctions(Library Which) -> std::vector<FunctionDecl>
        {
            switch (Which)
            {
            case Library::Core:
                return CoreFunctions();
            case Library::Anim:
                return AnimFunctions();
            case Library::Proxy:
                return ProxyLibraryFunctions();
            }
            return {};
        }

        auto LibraryPath(Library Which) -> const RC::CharType*
        {
            switch (Which)
            {
            case Library::Core:
                return CoreLibraryPath;
            case Library::Anim:
                return AnimLibraryPath;
            case Library::Proxy:
                return ProxyLibraryPath;
            }
            return nullptr;
        }

        // An element of SelectionSet as raw bytes: the engine array only copies elements whole.
        using ItemBytes = std::array<uint8_t, ItemSize>;
    } // namespace

    auto Half::LibraryClass(Library Which) const -> UClass*
    {
        switch (Which)
        {
        case Library::Core:
            return CoreLibrary;
        case Library::Anim:
            return AnimLibrary;
        case Library::Proxy:
            return ProxyLibrary;
        }
        return nullptr;
    }

    auto Half::Function(Library Which, RC::StringViewType Name) const -> UFunction*
    {
        const UClass* const Class = LibraryClass(Which);
        return Class == nullptr ? nullptr : Function(Class, Name);
    }

    auto Half::Function(const UClass* Class, RC::StringViewType Name) -> UFunction*
    {
        return dynamic_cast<UFunction*>(Engine::Get().FindByPath(FunctionPath(Class, Name)));
    }

    auto Half::Show(Engine& Sim, Library Which) const -> void
    {
        if (UClass* const Class = LibraryClass(Which))
        {
            SetLibraryLoaded(Sim, Class, LibraryFunctions(Which), true);
        }
    }

    auto Build(Engine& Sim, const Options& Choices) -> Half
    {
        Half Built;
        for (const Library Which : {Library::Core, Library::Anim, Library::Proxy})
        {
            if (Choices.Omit.contains(Which))
            {
                continue;
            }
            const auto Functions = LibraryFunctions(Which);
            UClass* const Class = Declare(Sim, Choices, LibraryPath(Which), {}, Functions);
            if (Choices.Hidden.contains(Which))
            {
                SetLibraryLoaded(Sim, Class, Functions, false);
            }
            (Which == Library::Core ? Built.CoreLibrary : Which == Library::Anim ? Built.AnimLibrary : Built.ProxyLibrary) =
                Class;
        }

        Built.WorldActorClass = Declare(
            Sim, Choices, WorldActorClassPath,
            {Prop(ObjectRefVar, Kind::Object), ArrayProp(ObjectRefsVar, Prop(STR("Element"), Kind::Object, 0))},
            WorldActorFunctions());
        Built.ProxyClass = Declare(Sim, Choices, ProxyClassPath, {}, ProxyClassFunctions());

        Built.SelectionSetItem = Sim.CreateStruct(
            SelectionSetItemPath,
            {Prop(STR("StateGroupID"), Kind::Name, static_cast<int32_t>(ItemStateGroupIDOffset)),
             ArrayProp(STR("Entries"), Prop(STR("Entry"), Kind::Int64, 0), static_cast<int32_t>(ItemEntriesOffset))},
            static_cast<int32_t>(ItemSize));
        Built.ObjectSelectionRow = Sim.CreateStruct(
            ObjectSelectionRowPath,
            {Prop(STR("ID"), Kind::Name, static_cast<int32_t>(RowIDOffset)),
             ArrayProp(STR("SelectionSet"), StructProp(STR("Item"), Built.SelectionSetItem, 0),
                       static_cast<int32_t>(RowSelectionSetOffset))},
            static_cast<int32_t>(RowSize));
        return Built;
    }

    auto CreateSelectionTable(Engine& Sim, const Half& Built, RC::StringViewType Path) -> UDataTable*
    {
        if (Built.ObjectSelectionRow == nullptr)
        {
            throw std::logic_error("the row structure is built by Build");
        }
        return Sim.CreateDataTable(Path, Built.ObjectSelectionRow);
    }

    auto AddSelectionRow(Engine& Sim, UDataTable* Table, FName RowName, FName ID, const std::vector<SelectionSet>& Sets)
        -> uint8_t*
    {
        uint8_t* const Row = Sim.AddRow(Table, RowName);
        std::memcpy(Row + RowIDOffset, &ID, sizeof(ID));
        auto& Items = *reinterpret_cast<RC::Unreal::TArray<ItemBytes>*>(Row + RowSelectionSetOffset);
        for (const SelectionSet& Set : Sets)
        {
            ItemBytes Item{};
            std::memcpy(Item.data() + ItemStateGroupIDOffset, &Set.StateGroupID, sizeof(FName));
            Items.Add(Item);
        }
        // Entries only once every item is in place: adding items may move them.
        for (size_t Index = 0; Index < Sets.size(); ++Index)
        {
            auto& Entries = *reinterpret_cast<RC::Unreal::TArray<uint64_t>*>(Items.GetData()[Index].data() +
                                                                              ItemEntriesOffset);
            for (const uint64_t Entry : Sets[Index].Entries)
            {
                Entries.Add(Entry);
            }
        }
        return Row;
    }
} // namespace BlueprintHalf
