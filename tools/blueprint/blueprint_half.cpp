// Builds the Blueprint half in the simulated engine.
#include "blueprint_half.hpp"

#include <array>
#include <cstring>
#include <stdexcept>

#include <Unreal/Core/Containers/Array.hpp>

#include "core/contract.hpp"

namespace BlueprintHalf
{
    namespace
    {
        using RC::Sim::ArrayProp;
        using RC::Sim::Kind;
        using RC::Sim::Prop;
        using RC::Sim::PropDecl;
        using RC::Sim::StructProp;

        struct FunctionDecl
        {
            const RC::CharType* Name;
            std::vector<PropDecl> Params;
        };

        auto Declared(const RC::CharType* Name) -> FunctionDecl
        {
            return {Name, ContractParams(Name)};
        }

        auto CoreFunctions() -> std::vector<FunctionDecl>
        {
            return {
                Declared(STR("VEXA_CPP_SendToUE4SSLog")),     Declared(STR("VEXA_CPP_RegisterWorldActor")),
                Declared(STR("VEXA_CPP_DestroyedWorldActor")), Declared(STR("VEXA_CPP_GetNamesFromDir")),
                Declared(STR("VEXA_CPP_GetFileContents")),    Declared(STR("VEXA_CPP_SaveFile")),
                Declared(STR("VEXA_CPP_DoesFileExist")),
            };
        }

        auto AnimFunctions() -> std::vector<FunctionDecl>
        {
            return {Declared(STR("VEXA_Anim_CPP_GetResponse"))};
        }

        auto ProxyLibraryFunctions() -> std::vector<FunctionDecl>
        {
            return {Declared(STR("BRMB_CPP_RegisterProxy")), Declared(STR("BRMB_CPP_DestroyedProxy"))};
        }

        auto WorldActorFunctions() -> std::vector<FunctionDecl>
        {
            return {Declared(STR("VEXA_CPP_FindFirstOf")), Declared(STR("VEXA_CPP_FindAllOf")),
                    Declared(STR("VEXA_CPP_NewObject"))};
        }

        auto ProxyClassFunctions() -> std::vector<FunctionDecl>
        {
            return {Declared(STR("BRMB_CPP_AddObjectSelectionSetID")), Declared(STR("BRMB_CPP_TestDT"))};
        }

        auto Declare(Engine& Sim, const Options& Choices, RC::StringViewType Path, std::vector<PropDecl> Variables,
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
                const auto Redeclared = Choices.Redeclared.find(Decl.Name);
                Sim.AddFunction(Class, Decl.Name, Redeclared == Choices.Redeclared.end() ? Decl.Params : Redeclared->second,
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

    auto ContractParams(RC::StringViewType Function) -> std::vector<PropDecl>
    {
        const RC::StringType Name(Function);
        const BRMB::Contract::Function* const Contract = BRMB::Contract::Find(Name.c_str());
        if (Contract == nullptr)
        {
            throw std::invalid_argument("the contract has no such function");
        }
        std::vector<PropDecl> Params;
        for (const BRMB::Contract::Param& Param : Contract->Params)
        {
            using enum BRMB::Contract::ParamType;
            const Kind ParamKind = Param.Type == String            ? Kind::Str
                                   : Param.Type == Name            ? Kind::Name
                                   : Param.Type == ObjectReference ? Kind::Object
                                   : Param.Type == ClassReference  ? Kind::Class
                                                                   : Kind::Int64;
            PropDecl Declared = Prop(Param.Name, ParamKind, Param.Offset);
            Declared.Role = Param.Dir == BRMB::Contract::Direction::Out ? RC::Sim::ParamRole::Out : RC::Sim::ParamRole::In;
            Params.push_back(std::move(Declared));
        }
        return Params;
    }

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
