#include "sim/world.hpp"

#include <algorithm>
#include <cstring>
#include <set>

#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/FProperty.hpp>

#include "sim/rows.hpp"
#include "sim/text.hpp"

namespace BRMB::Sim
{
    namespace
    {
        using RC::Sim::Kind;
        using RC::Sim::PropSpec;
        using RC::Unreal::FName;
        using RC::Unreal::TArray;
        using RC::Unreal::UClass;
        using RC::Unreal::UFunction;
        using RC::Unreal::UObject;

        [[noreturn]] auto Fail(const Scenario& Plan, const std::string& Field, const std::string& Message) -> void
        {
            throw InvalidScenario(Plan.File, 0, Field, Message);
        }

        auto Field(const std::string& List, size_t Index, const std::string& Member) -> std::string
        {
            return "blueprint." + List + "[" + std::to_string(Index) + "]" + (Member.empty() ? "" : "." + Member);
        }

        using StructMap = std::map<std::string, RC::Unreal::UScriptStruct*>;

        // At names the declaration in the scenario, for the error of a structure it lacks.
        auto ToProp(const Scenario& Plan, const StructMap& Structs, const ParamDecl& Decl, const std::string& At)
            -> PropSpec
        {
            const auto Name = Wide(Decl.Name);
            switch (Decl.Kind)
            {
            case Type::Text: return RC::Sim::Prop(Name, Kind::Str, Decl.Offset);
            case Type::Object: return RC::Sim::Prop(Name, Kind::Object, Decl.Offset);
            case Type::Class: return RC::Sim::Prop(Name, Kind::Class, Decl.Offset);
            case Type::Name: return RC::Sim::Prop(Name, Kind::Name, Decl.Offset);
            case Type::Entry: return RC::Sim::Prop(Name, Kind::Int64, Decl.Offset);
            case Type::Int32: return RC::Sim::Prop(Name, Kind::Int32, Decl.Offset);
            case Type::Float: return RC::Sim::Prop(Name, Kind::Float, Decl.Offset);
            case Type::Bool: return RC::Sim::Prop(Name, Kind::Bool, Decl.Offset);
            case Type::Objects: return RC::Sim::ArrayProp(Name, RC::Sim::Prop(STR("Element"), Kind::Object, 0), Decl.Offset);
            case Type::Entries: return RC::Sim::ArrayProp(Name, RC::Sim::Prop(STR("Element"), Kind::Int64, 0), Decl.Offset);
            case Type::Int32s: return RC::Sim::ArrayProp(Name, RC::Sim::Prop(STR("Element"), Kind::Int32, 0), Decl.Offset);
            case Type::Struct:
            {
                const auto Found = Structs.find(Decl.Struct);
                if (Found == Structs.end())
                {
                    Fail(Plan, At + ".struct", Decl.Struct + " names no structure declared before it");
                }
                return RC::Sim::StructProp(Name, Found->second, Decl.Offset);
            }
            }
            return RC::Sim::Prop(Name, Kind::Int64, Decl.Offset);
        }

        auto ToProps(const Scenario& Plan, const StructMap& Structs, const std::vector<ParamDecl>& Decls,
                     const std::string& At) -> std::vector<PropSpec>
        {
            std::vector<PropSpec> Result;
            for (size_t Index = 0; Index < Decls.size(); ++Index)
            {
                Result.push_back(ToProp(Plan, Structs, Decls[Index], At + "[" + std::to_string(Index) + "]"));
            }
            return Result;
        }

        // A property as the engine would declare it again, to copy a standard class's members.
        auto CopyProp(RC::Unreal::FProperty* Property) -> PropSpec
        {
            using namespace RC::Unreal;
            const auto Name = Property->GetFName().ToString();
            const auto Offset = Property->GetOffset_Internal();
            if (auto* Array = CastField<FArrayProperty>(Property))
            {
                return RC::Sim::ArrayProp(Name, CopyProp(Array->GetInner()), Offset);
            }
            if (auto* Struct = CastField<FStructProperty>(Property))
            {
                return RC::Sim::StructProp(Name, Struct->GetStruct(), Offset);
            }
            switch (TypeOf(Property))
            {
            case Type::Class: return RC::Sim::Prop(Name, Kind::Class, Offset);
            case Type::Object: return RC::Sim::Prop(Name, Kind::Object, Offset);
            case Type::Text: return RC::Sim::Prop(Name, Kind::Str, Offset);
            case Type::Name: return RC::Sim::Prop(Name, Kind::Name, Offset);
            case Type::Bool: return RC::Sim::Prop(Name, Kind::Bool, Offset);
            case Type::Int32: return RC::Sim::Prop(Name, Kind::Int32, Offset);
            default: return RC::Sim::Prop(Name, Kind::Int64, Offset);
            }
        }

        auto Contains(const std::vector<std::string>& List, const std::string& Item) -> bool
        {
            return std::find(List.begin(), List.end(), Item) != List.end();
        }

        auto IsLibraryKey(const std::string& Name) -> bool
        {
            return Name == "VEXA" || Name == "VEXA_Anim" || Name == "BRMB";
        }

        // A selection row through the host's array code; the corrupt headers are written over it.
        auto AddRow(RC::Sim::Engine& Engine, RC::Unreal::UDataTable* Table, const RowDecl& Row) -> void
        {
            std::vector<BlueprintHalf::SelectionSet> Sets;
            if (!Row.CorruptSets)
            {
                for (const auto& Set : Row.Sets)
                {
                    Sets.push_back({FName(Wide(Set.StateGroupId)), Set.CorruptEntries ? std::vector<uint64_t>{} : Set.Entries});
                }
            }
            uint8_t* Memory = BlueprintHalf::AddSelectionRow(Engine, Table, FName(Wide(Row.Name)), FName(Wide(Row.Id)), Sets);
            if (Row.CorruptSets)
            {
                WriteCorruptHeader(Memory + BlueprintHalf::RowSelectionSetOffset, *Row.CorruptSets);
                return;
            }
            uint8_t* Items = nullptr;
            std::memcpy(static_cast<void*>(&Items), Memory + BlueprintHalf::RowSelectionSetOffset, sizeof(Items));
            for (size_t Index = 0; Index < Row.Sets.size(); ++Index)
            {
                if (Row.Sets[Index].CorruptEntries)
                {
                    WriteCorruptHeader(Items + Index * BlueprintHalf::ItemSize + BlueprintHalf::ItemEntriesOffset,
                                       *Row.Sets[Index].CorruptEntries);
                }
            }
        }

        auto LibraryOf(const std::string& Key) -> BlueprintHalf::Library
        {
            using BlueprintHalf::Library;
            return Key == "VEXA" ? Library::Core : Key == "VEXA_Anim" ? Library::Anim : Library::Proxy;
        }

        // The functions of the two standard classes; their layouts come from the built classes.
        auto StandardFunctions(const std::string& Class) -> std::vector<std::string>
        {
            if (Class == "VEXA_WorldActor_C")
            {
                return {"VEXA_CPP_FindFirstOf", "VEXA_CPP_FindAllOf", "VEXA_CPP_NewObject"};
            }
            if (Class == "BRMB_Proxy_C")
            {
                return {"BRMB_CPP_AddObjectSelectionSetID", "BRMB_CPP_TestDT"};
            }
            return {};
        }

        auto VariableType(const UObject* Object, const std::string& Variable) -> std::optional<Type>
        {
            auto* Property = Object->GetClassPrivate()->FindProperty(FName(Wide(Variable)));
            if (Property == nullptr)
            {
                return std::nullopt;
            }
            return TypeOf(Property);
        }

        auto VariableSize(const UObject* Object, const std::string& Variable) -> size_t
        {
            return static_cast<size_t>(Object->GetClassPrivate()->FindProperty(FName(Wide(Variable)))->GetElementSize());
        }

        auto InitVariables(const Scenario& Plan, World& Built, const ObjectDecl& Decl, size_t Index) -> void
        {
            UObject* Object = Built.Objects.at(Decl.Name);
            for (const auto& Init : Decl.Variables)
            {
                const auto At = Field("objects", Index, "variables." + Init.Variable);
                const auto Kind = VariableType(Object, Init.Variable);
                if (!Kind)
                {
                    Fail(Plan, At, "class " + Decl.Class + " has no variable " + Init.Variable);
                }
                void* Storage = Object->GetValuePtrByPropertyNameInChain<void>(Wide(Init.Variable).c_str());
                if (Init.Bytes)
                {
                    // Raw bytes suit only plain values: they would not own engine memory.
                    if (*Kind == Type::Text || *Kind == Type::Objects || *Kind == Type::Entries || *Kind == Type::Int32s)
                    {
                        Fail(Plan, At + ".hex", std::string("a variable of type ") + TypeName(*Kind) + " takes no raw bytes");
                    }
                    const auto Size = VariableSize(Object, Init.Variable);
                    if (Init.Bytes->size() > Size)
                    {
                        Fail(Plan, At + ".hex", "runs past the variable's " + std::to_string(Size) + " bytes");
                    }
                    std::memcpy(Storage, Init.Bytes->data(), Init.Bytes->size());
                    continue;
                }
                if (Init.One)
                {
                    if (*Kind != Type::Object)
                    {
                        Fail(Plan, At, std::string("expected an object variable, it is ") + TypeName(*Kind));
                    }
                    UObject* Value = nullptr;
                    if (!Init.One->Null)
                    {
                        const auto Found = Built.Objects.find(Init.One->Text);
                        if (Found == Built.Objects.end())
                        {
                            Fail(Plan, At + ".object", "names no object of the scenario");
                        }
                        Value = Found->second;
                    }
                    std::memcpy(Storage, static_cast<const void*>(&Value), sizeof(Value));
                    continue;
                }
                if (*Kind != Type::Objects)
                {
                    Fail(Plan, At, std::string("expected an objects variable, it is ") + TypeName(*Kind));
                }
                if (Init.CorruptHeader)
                {
                    WriteCorruptHeader(Storage, *Init.CorruptHeader);
                    continue;
                }
                auto& Array = *static_cast<TArray<UObject*>*>(Storage);
                for (const auto& Name : Init.Many)
                {
                    const auto Found = Built.Objects.find(Name);
                    if (Found == Built.Objects.end())
                    {
                        Fail(Plan, At + ".objects", Name + " names no object of the scenario");
                    }
                    Array.Add(Found->second);
                }
            }
        }

        auto ParamList(UFunction* Function) -> std::string
        {
            std::string Names;
            for (auto* Property : Function->ForEachProperty())
            {
                Names += (Names.empty() ? "" : ", ") + Narrow(Property->GetFName().ToString());
            }
            return Names.empty() ? "none" : Names;
        }

        class StepChecker
        {
        public:
            StepChecker(const Scenario& InPlan, const World& InBuilt, const Step& InCurrent)
                : Plan(InPlan), Built(InBuilt), Current(InCurrent)
            {
            }

            [[noreturn]] auto Fail(const std::string& At, const std::string& Message) const -> void
            {
                throw InvalidScenario(Plan.File, Current.Index, At, Message);
            }

            auto Check() const -> void
            {
                UFunction* Function = nullptr;
                if (Current.Kind == Action::Call)
                {
                    Function = CheckCall();
                }
                const auto& Expect = Current.Expect;
                for (const auto& Param : Expect.Params)
                {
                    CheckValue(Function, Param, "expect.params." + Param.Param);
                }
                for (size_t Index = 0; Index < Expect.ParamBytes.size(); ++Index)
                {
                    CheckBytes(Function, Expect.ParamBytes[Index], "expect.paramBytes[" + std::to_string(Index) + "]");
                }
                for (const auto& Variable : Expect.Variables)
                {
                    CheckVariable(Variable);
                }
                for (const auto& Row : Expect.Rows)
                {
                    CheckRow(Row);
                }
                for (const auto& Hook : Expect.Hooks)
                {
                    const auto At = "expect.hooks." + Hook.Owner + "." + Hook.Function;
                    if (Built.Libraries.count(Hook.Owner) == 0 && Built.Classes.count(Hook.Owner) == 0)
                    {
                        Fail(At, Hook.Owner + " is neither a library of the scenario nor a class");
                    }
                    if (FindDeclaredFunction(Built, Hook.Owner, Hook.Function) == nullptr)
                    {
                        Fail(At, Hook.Owner + " declares no function " + Hook.Function);
                    }
                }
            }

        private:
            auto CheckCall() const -> UFunction*
            {
                if (Built.Libraries.count(Current.On) == 0 && Built.Objects.count(Current.On) == 0)
                {
                    Fail("on", IsLibraryKey(Current.On)
                                   ? "the " + Current.On + " library is not part of this scenario's Blueprint half"
                                   : Current.On + " names no library or object of the scenario");
                }
                UFunction* Function = FindFunction(Built, Current.On, Current.Function);
                if (Function == nullptr)
                {
                    Fail("call", "unknown function " + Current.Function + " on " + Current.On);
                }
                for (const auto& Arg : Current.Args)
                {
                    CheckValue(Function, Arg, "args." + Arg.Param);
                }
                for (size_t Index = 0; Index < Current.Bytes.size(); ++Index)
                {
                    CheckBytes(Function, Current.Bytes[Index], "bytes[" + std::to_string(Index) + "]");
                }
                return Function;
            }

            auto CheckValue(UFunction* Function, const ParamExpect& Param, const std::string& At) const -> void
            {
                auto* Property = FindParam(Function, Param.Param);
                if (Property == nullptr)
                {
                    Fail(At, Current.Function + " has no parameter " + Param.Param + " (it has " + ParamList(Function) +
                                 ")");
                }
                const auto Kind = TypeOf(Property);
                if (Kind != Param.Expected.Kind)
                {
                    Fail(At, std::string("expected ") + TypeName(Kind) + ", got " + TypeName(Param.Expected.Kind));
                }
                if (Kind == Type::Object && !Param.Expected.Null && Built.Objects.count(Param.Expected.Text) == 0 &&
                    Built.Libraries.count(Param.Expected.Text) == 0)
                {
                    Fail(At, Param.Expected.Text + " names no object of the scenario");
                }
                if (Kind == Type::Class && !Param.Expected.Null && FindClass(Built, Param.Expected.Text) == nullptr)
                {
                    Fail(At, Param.Expected.Text + " names no class of the scenario");
                }
            }

            auto CheckBytes(const UFunction* Function, const BytesAt& Bytes, const std::string& At) const -> void
            {
                const auto Size = static_cast<size_t>(Function->GetParmsSize());
                if (Bytes.Offset + Bytes.Bytes.size() > Size)
                {
                    Fail(At, "runs past the parameter block of " + std::to_string(Size) + " bytes");
                }
            }

            auto CheckVariable(const VariableExpect& Expected) const -> void
            {
                const auto At = "expect.variables." + Expected.Object + "." + Expected.Variable;
                const auto Found = Built.Objects.find(Expected.Object);
                if (Found == Built.Objects.end())
                {
                    Fail(At, Expected.Object + " names no object of the scenario");
                }
                const auto Kind = VariableType(Found->second, Expected.Variable);
                if (!Kind)
                {
                    Fail(At, Expected.Object + " has no variable " + Expected.Variable);
                }
                if (Expected.Bytes)
                {
                    if (Expected.Bytes->size() > VariableSize(Found->second, Expected.Variable))
                    {
                        Fail(At + ".hex", "runs past the variable's " +
                                              std::to_string(VariableSize(Found->second, Expected.Variable)) + " bytes");
                    }
                    return;
                }
                const auto Wanted = Expected.Many || Expected.Capacity ? Type::Objects : Type::Object;
                if (*Kind != Wanted)
                {
                    Fail(At, std::string("expected ") + TypeName(*Kind) + ", got " + TypeName(Wanted));
                }
                if (Expected.One && !Expected.One->Null && Built.Objects.count(Expected.One->Text) == 0)
                {
                    Fail(At + ".object", Expected.One->Text + " names no object of the scenario");
                }
                if (Expected.OfClass && FindClass(Built, *Expected.OfClass) == nullptr)
                {
                    Fail(At + ".objectOfClass", *Expected.OfClass + " names no class of the scenario");
                }
                for (const auto& Name : Expected.Many.value_or(std::vector<std::string>{}))
                {
                    if (Built.Objects.count(Name) == 0)
                    {
                        Fail(At + ".objects", Name + " names no object of the scenario");
                    }
                }
            }

            auto CheckRow(const RowExpect& Expected) const -> void
            {
                const auto At = "expect.rows." + Expected.Table + "." + Expected.Row;
                const auto Table = Built.Tables.find(Expected.Table);
                if (Table == Built.Tables.end())
                {
                    Fail(At, Expected.Table + " names no data table of the scenario");
                }
                if (Table->second->GetRowStruct() != Built.Half.ObjectSelectionRow)
                {
                    Fail(At, Expected.Table + " does not hold selection rows");
                }
                if (Table->second->FindRowUnchecked(FName(Wide(Expected.Row))) == nullptr)
                {
                    Fail(At, Expected.Table + " has no row " + Expected.Row);
                }
            }

            const Scenario& Plan;
            const World& Built;
            const Step& Current;
        };
    } // namespace

    auto BuildWorld(const Scenario& Plan) -> World
    {
        const auto IsStandardClass = [](const std::string& Name) { return !StandardFunctions(Name).empty(); };

        // What the scenario takes away must exist in the first place: check against a full half.
        BlueprintHalf::Options Choices;
        {
            auto& Probe = RC::Sim::Engine::Reset();
            const auto Full = BlueprintHalf::Build(Probe);
            for (const auto& Decl : Plan.Libraries)
            {
                for (const auto& Lacked : Decl.Lacks)
                {
                    if (Full.Function(LibraryOf(Decl.Key), Wide(Lacked)) == nullptr)
                    {
                        Fail(Plan, "blueprint.libraries." + Decl.Key + ".lacks", "the library has no function " + Lacked);
                    }
                    Choices.OmitFunctions.insert(Wide(Lacked));
                }
                if (!Decl.Present)
                {
                    Choices.Omit.insert(LibraryOf(Decl.Key));
                }
                else if (Decl.LoadAt > 0.0)
                {
                    Choices.Hidden.insert(LibraryOf(Decl.Key));
                }
            }
            for (size_t Index = 0; Index < Plan.Classes.size(); ++Index)
            {
                const auto& Decl = Plan.Classes[Index];
                if (!IsStandardClass(Decl.Name))
                {
                    continue;
                }
                if (!Decl.Like.empty() || !Decl.Functions.empty() || !Decl.Variables.empty())
                {
                    Fail(Plan, Field("classes", Index, "name"),
                         Decl.Name + " is a standard class: a scenario can only take functions away from it (lacks)");
                }
                for (const auto& Lacked : Decl.Lacks)
                {
                    if (!Contains(StandardFunctions(Decl.Name), Lacked))
                    {
                        Fail(Plan, Field("classes", Index, "lacks"), Decl.Name + " has no function " + Lacked);
                    }
                    Choices.OmitFunctions.insert(Wide(Lacked));
                }
            }
        }

        World Built;
        Built.Engine = &RC::Sim::Engine::Reset();
        auto& Engine = *Built.Engine;
        Built.Half = BlueprintHalf::Build(Engine, Choices);
        std::set<std::string> Functions;
        for (const auto& Decl : Plan.Libraries)
        {
            const auto Which = LibraryOf(Decl.Key);
            if (!Decl.Present)
            {
                continue;
            }
            LibraryState Entry;
            Entry.Which = Which;
            Entry.Class = Built.Half.LibraryClass(Which);
            Entry.LoadAt = Decl.LoadAt;
            Entry.Loaded = Decl.LoadAt <= 0.0;
            Built.Classes[Narrow(Entry.Class->GetName())] = Entry.Class;
            Built.Libraries[Decl.Key] = Entry;
        }
        for (auto* Standard : {Built.Half.WorldActorClass, Built.Half.ProxyClass})
        {
            Built.Classes[Narrow(Standard->GetName())] = Standard;
        }
        Built.Structs["ObjectSelectionRow"] = Built.Half.ObjectSelectionRow;
        Built.Structs["SelectionSetItem"] = Built.Half.SelectionSetItem;

        for (size_t Index = 0; Index < Plan.Structs.size(); ++Index)
        {
            const auto& Decl = Plan.Structs[Index];
            if (Built.Structs.count(Decl.Name) != 0)
            {
                Fail(Plan, Field("structs", Index, "name"), Decl.Name + " is declared twice");
            }
            Built.Structs[Decl.Name] =
                Engine.CreateStruct(Wide("/Script/Scenario." + Decl.Name),
                                    ToProps(Plan, Built.Structs, Decl.Members, Field("structs", Index, "members")), Decl.Size);
        }

        for (size_t Index = 0; Index < Plan.Classes.size(); ++Index)
        {
            const auto& Decl = Plan.Classes[Index];
            if (IsStandardClass(Decl.Name))
            {
                continue;
            }
            if (Built.Classes.count(Decl.Name) != 0)
            {
                Fail(Plan, Field("classes", Index, "name"), Decl.Name + " is declared twice");
            }
            std::vector<PropSpec> Variables;
            std::vector<std::pair<std::string, std::vector<PropSpec>>> Members;
            if (!Decl.Like.empty())
            {
                const auto Base = Built.Classes.find(Decl.Like);
                if (!IsStandardClass(Decl.Like) || Base == Built.Classes.end())
                {
                    Fail(Plan, Field("classes", Index, "like"), "expected VEXA_WorldActor_C or BRMB_Proxy_C");
                }
                std::set<std::string> Known;
                for (auto* Variable : Base->second->ForEachProperty())
                {
                    const auto Name = Narrow(Variable->GetFName().ToString());
                    Known.insert(Name);
                    if (!Contains(Decl.Lacks, Name))
                    {
                        Variables.push_back(CopyProp(Variable));
                    }
                }
                for (const auto& Name : StandardFunctions(Decl.Like))
                {
                    Known.insert(Name);
                    auto* Function = BlueprintHalf::Half::Function(Base->second, Wide(Name));
                    if (Function == nullptr || Contains(Decl.Lacks, Name))
                    {
                        continue;
                    }
                    std::vector<PropSpec> Params;
                    for (auto* Param : Function->ForEachProperty())
                    {
                        Params.push_back(CopyProp(Param));
                    }
                    Members.emplace_back(Name, std::move(Params));
                }
                for (const auto& Lacked : Decl.Lacks)
                {
                    if (Known.count(Lacked) == 0)
                    {
                        Fail(Plan, Field("classes", Index, "lacks"), Decl.Like + " has no member " + Lacked);
                    }
                }
            }
            else if (!Decl.Lacks.empty())
            {
                Fail(Plan, Field("classes", Index, "lacks"), "only a class that is like a standard one can lack members");
            }
            const auto DeclaredVariables = ToProps(Plan, Built.Structs, Decl.Variables, Field("classes", Index, "variables"));
            Variables.insert(Variables.end(), DeclaredVariables.begin(), DeclaredVariables.end());
            for (size_t Function = 0; Function < Decl.Functions.size(); ++Function)
            {
                Members.emplace_back(Decl.Functions[Function].Name,
                                     ToProps(Plan, Built.Structs, Decl.Functions[Function].Params,
                                             Field("classes", Index, "functions[" + std::to_string(Function) + "].params")));
            }
            UClass* Parent = nullptr;
            if (!Decl.Parent.empty())
            {
                Parent = FindClass(Built, Decl.Parent);
                if (Parent == nullptr)
                {
                    Fail(Plan, Field("classes", Index, "parent"), Decl.Parent + " names no class declared before this one");
                }
            }
            auto* Class = Engine.CreateClass(Wide(Decl.Path), std::move(Variables), Parent);
            for (auto& [Name, Params] : Members)
            {
                Engine.AddFunction(Class, Wide(Name), std::move(Params));
                Functions.insert(Name);
            }
            Built.Classes[Decl.Name] = Class;
        }

        const auto Claim = [&](const std::string& Name, const std::string& At) {
            if (IsLibraryKey(Name) || Built.Objects.count(Name) != 0)
            {
                Fail(Plan, At, Name + " is already the name of a library or object");
            }
        };
        for (size_t Index = 0; Index < Plan.Objects.size(); ++Index)
        {
            const auto& Decl = Plan.Objects[Index];
            Claim(Decl.Name, Field("objects", Index, "name"));
            auto* Class = FindClass(Built, Decl.Class);
            if (Class == nullptr)
            {
                Fail(Plan, Field("objects", Index, "class"), Decl.Class + " names no class of the scenario");
            }
            Built.Objects[Decl.Name] = Engine.SpawnObject(Class, nullptr, Wide(Decl.Name));
        }
        // Variables may refer to any object, so they are set once all exist.
        for (size_t Index = 0; Index < Plan.Objects.size(); ++Index)
        {
            InitVariables(Plan, Built, Plan.Objects[Index], Index);
        }

        for (size_t Index = 0; Index < Plan.Tables.size(); ++Index)
        {
            const auto& Decl = Plan.Tables[Index];
            Claim(Decl.Name, Field("dataTables", Index, "name"));
            const auto Struct = Built.Structs.find(Decl.RowStruct);
            if (Struct == Built.Structs.end())
            {
                Fail(Plan, Field("dataTables", Index, "rowStruct"), Decl.RowStruct + " names no structure of the scenario");
            }
            auto* Table = Engine.CreateDataTable(Wide(Decl.Path), Struct->second);
            const bool Selection = Struct->second == Built.Half.ObjectSelectionRow;
            std::set<std::string> Rows;
            for (size_t RowIndex = 0; RowIndex < Decl.Rows.size(); ++RowIndex)
            {
                const auto& Row = Decl.Rows[RowIndex];
                const auto At = Field("dataTables", Index, "rows[" + std::to_string(RowIndex) + "]");
                if (!Rows.insert(Row.Name).second)
                {
                    Fail(Plan, At + ".name", "the table already has a row " + Row.Name);
                }
                if (!Selection)
                {
                    if (!Row.Sets.empty() || Row.CorruptSets)
                    {
                        Fail(Plan, At, "only rows of ObjectSelectionRow have selection sets");
                    }
                    Engine.AddRow(Table, FName(Wide(Row.Name)));
                    continue;
                }
                AddRow(Engine, Table, Row);
            }
            Built.Tables[Decl.Name] = Table;
            Built.Objects[Decl.Name] = Table;
        }

        for (const auto& Name : Plan.Faults.RegisterHookFails)
        {
            const bool Declared = Functions.count(Name) != 0 ||
                                  std::any_of(Built.Classes.begin(), Built.Classes.end(), [&](const auto& Entry) {
                                      return BlueprintHalf::Half::Function(Entry.second, Wide(Name)) != nullptr;
                                  });
            if (!Declared)
            {
                Fail(Plan, "faults.registerHookFails", Name + " is no function of the Blueprint half");
            }
        }
        return Built;
    }

    auto CheckSteps(const Scenario& Plan, const World& Built) -> void
    {
        for (const auto& Current : Plan.Steps)
        {
            StepChecker(Plan, Built, Current).Check();
        }
    }

    auto LoadDueLibraries(World& Built, double Now) -> void
    {
        // A little slack so that a library due at 1.0 s is there after sixty frames of 1/60 s.
        constexpr double Slack = 1e-6;
        for (auto& [Key, Entry] : Built.Libraries)
        {
            if (!Entry.Loaded && Entry.LoadAt <= Now + Slack)
            {
                Built.Half.Show(*Built.Engine, Entry.Which);
                Entry.Loaded = true;
            }
        }
    }

    auto CallTarget(const World& Built, const std::string& On) -> UObject*
    {
        if (const auto Library = Built.Libraries.find(On); Library != Built.Libraries.end())
        {
            return Library->second.Class;
        }
        const auto Found = Built.Objects.find(On);
        return Found == Built.Objects.end() ? nullptr : Found->second;
    }

    auto FindFunction(const World& Built, const std::string& On, const std::string& Function) -> UFunction*
    {
        if (const auto Library = Built.Libraries.find(On); Library != Built.Libraries.end())
        {
            return Library->second.Class->FindFunctionByName(FName(Wide(Function)));
        }
        const auto Found = Built.Objects.find(On);
        return Found == Built.Objects.end() ? nullptr : Found->second->GetFunctionByNameInChain(Wide(Function).c_str());
    }

    auto FindDeclaredFunction(const World& Built, const std::string& Owner, const std::string& Function) -> UFunction*
    {
        const UClass* Class = nullptr;
        if (const auto Library = Built.Libraries.find(Owner); Library != Built.Libraries.end())
        {
            Class = Library->second.Class;
        }
        else if (const auto Found = Built.Classes.find(Owner); Found != Built.Classes.end())
        {
            Class = Found->second;
        }
        return Class == nullptr ? nullptr : Class->FindFunctionByName(FName(Wide(Function)));
    }

    auto FindClass(const World& Built, const std::string& NameOrPath) -> UClass*
    {
        if (NameOrPath.find('/') == std::string::npos)
        {
            const auto Found = Built.Classes.find(NameOrPath);
            return Found == Built.Classes.end() ? nullptr : Found->second;
        }
        for (const auto& [Name, Class] : Built.Classes)
        {
            if (Narrow(Class->GetPathName()) == NameOrPath)
            {
                return Class;
            }
        }
        return nullptr;
    }

    auto FindParam(const UFunction* Function, const std::string& Name) -> RC::Unreal::FProperty*
    {
        return Function->FindProperty(FName(Wide(Name)));
    }

    auto TypeOf(RC::Unreal::FProperty* Property) -> Type
    {
        using namespace RC::Unreal;
        if (CastField<FClassProperty>(Property) != nullptr)
        {
            return Type::Class;
        }
        if (CastField<FObjectProperty>(Property) != nullptr)
        {
            return Type::Object;
        }
        if (CastField<FStrProperty>(Property) != nullptr)
        {
            return Type::Text;
        }
        if (CastField<FNameProperty>(Property) != nullptr)
        {
            return Type::Name;
        }
        if (auto* Array = CastField<FArrayProperty>(Property))
        {
            if (CastField<FObjectProperty>(Array->GetInner()) != nullptr)
            {
                return Type::Objects;
            }
            return Array->GetInner()->GetElementSize() == 4 ? Type::Int32s : Type::Entries;
        }
        if (CastField<FStructProperty>(Property) != nullptr)
        {
            return Type::Struct;
        }
        switch (Property->GetElementSize())
        {
        case 1: return Type::Bool;
        case 4: return Type::Int32;
        default: return Type::Entry;
        }
    }
} // namespace BRMB::Sim
