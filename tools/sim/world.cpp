#include "sim/world.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>

#include <nlohmann/json.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/FProperty.hpp>

#include "sim/rows.hpp"
#include "sim/text.hpp"

namespace BRMB::Sim
{
    namespace
    {
        using RC::Sim::Kind;
        using RC::Sim::PropDecl;
        using RC::Unreal::FName;
        using RC::Unreal::TArray;
        using RC::Unreal::UClass;
        using RC::Unreal::UFunction;
        using RC::Unreal::UObject;

        using StructMap = std::map<std::string, RC::Unreal::UScriptStruct*>;

        // Structures are looked up in Structs; CheckStructs has made sure they are there.
        // The class an object reference refers to, by name or path; null for Object.
        using ClassLookup = std::function<UClass*(const std::string&)>;

        auto ToPropOfKind(const ParamDecl& Decl, const StructMap& Structs, UClass* Referred) -> PropDecl
        {
            const auto Name = Wide(Decl.Name);
            const auto Referring = [&](Kind Of, int32_t Offset) {
                PropDecl Declared = RC::Sim::Prop(Name, Of, Offset);
                Declared.ObjectClass = Referred;
                return Declared;
            };
            switch (Decl.Kind)
            {
            case Type::Text: return RC::Sim::Prop(Name, Kind::Str, Decl.Offset);
            case Type::Object: return Referring(Kind::Object, Decl.Offset);
            case Type::Class: return Referring(Kind::Class, Decl.Offset);
            case Type::Name: return RC::Sim::Prop(Name, Kind::Name, Decl.Offset);
            case Type::Entry: return RC::Sim::Prop(Name, Kind::Int64, Decl.Offset);
            case Type::Int32: return RC::Sim::Prop(Name, Kind::Int32, Decl.Offset);
            case Type::Float: return RC::Sim::Prop(Name, Kind::Float, Decl.Offset);
            case Type::Bool: return RC::Sim::Prop(Name, Kind::Bool, Decl.Offset);
            case Type::Objects:
            {
                PropDecl Element = RC::Sim::Prop(STR("Element"), Kind::Object, 0);
                Element.ObjectClass = Referred;
                return RC::Sim::ArrayProp(Name, std::move(Element), Decl.Offset);
            }
            case Type::Classes:
            {
                PropDecl Element = RC::Sim::Prop(STR("Element"), Kind::Class, 0);
                Element.ObjectClass = Referred;
                return RC::Sim::ArrayProp(Name, std::move(Element), Decl.Offset);
            }
            case Type::Entries: return RC::Sim::ArrayProp(Name, RC::Sim::Prop(STR("Element"), Kind::Int64, 0), Decl.Offset);
            case Type::Int32s: return RC::Sim::ArrayProp(Name, RC::Sim::Prop(STR("Element"), Kind::Int32, 0), Decl.Offset);
            case Type::Struct: return RC::Sim::StructProp(Name, Structs.at(Decl.Struct), Decl.Offset);
            case Type::Structs:
                return RC::Sim::ArrayProp(Name, RC::Sim::StructProp(STR("Element"), Structs.at(Decl.Struct), 0), Decl.Offset);
            }
            return RC::Sim::Prop(Name, Kind::Int64, Decl.Offset);
        }

        // Structures are looked up in Structs and classes through ClassOf; both have been checked.
        auto ToProp(const ParamDecl& Decl, const StructMap& Structs, const ClassLookup& ClassOf = {}) -> PropDecl
        {
            PropDecl Declared = ToPropOfKind(Decl, Structs, Decl.Class.empty() || !ClassOf ? nullptr : ClassOf(Decl.Class));
            Declared.Role = Decl.Direction == ParamDirection::Out     ? RC::Sim::ParamRole::Out
                        : Decl.Direction == ParamDirection::Local ? RC::Sim::ParamRole::Local
                                                                  : RC::Sim::ParamRole::In;
            return Declared;
        }

        auto ToProps(const std::vector<ParamDecl>& Decls, const StructMap& Structs, const ClassLookup& ClassOf = {})
            -> std::vector<PropDecl>
        {
            std::vector<PropDecl> Result;
            for (const auto& Decl : Decls)
            {
                Result.push_back(ToProp(Decl, Structs, ClassOf));
            }
            return Result;
        }

        // A property as the engine would declare it again, to copy a standard class's members.
        auto CopyProp(RC::Unreal::FProperty* Property) -> PropDecl
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

        // A standard class's members, to declare them again in a class that is like it.
        struct ShippedClass
        {
            std::vector<std::pair<std::string, PropDecl>> Variables;
            std::vector<std::pair<std::string, std::vector<PropDecl>>> Functions;
        };

        auto Contains(const std::vector<std::string>& List, const std::string& Item) -> bool
        {
            return std::find(List.begin(), List.end(), Item) != List.end();
        }

        [[noreturn]] auto Fail(const Scenario& Plan, const std::string& Field, const std::string& Message) -> void
        {
            throw InvalidScenario(Plan.File, 0, Field, Message);
        }

        // struct and structs members name a structure declared before them; no other type does.
        auto CheckStructs(const Scenario& Plan, const StructMap& Structs, const std::vector<ParamDecl>& Decls,
                          const std::string& At) -> void
        {
            for (size_t Index = 0; Index < Decls.size(); ++Index)
            {
                const auto& Decl = Decls[Index];
                const auto Here = At + "[" + std::to_string(Index) + "].struct";
                const bool Wants = Decl.Kind == Type::Struct || Decl.Kind == Type::Structs;
                if (Wants && Structs.count(Decl.Struct) == 0)
                {
                    Fail(Plan, Here, "a " + std::string(TypeName(Decl.Kind)) + " names a structure declared before it");
                }
                if (!Wants && !Decl.Struct.empty())
                {
                    Fail(Plan, Here, "only struct and structs name a structure");
                }
            }
        }

        // A class named by an object reference is one declared before (or a standard one).
        auto CheckClasses(const Scenario& Plan, const World& Built, const std::vector<ParamDecl>& Decls,
                          const std::string& At) -> void
        {
            for (size_t Index = 0; Index < Decls.size(); ++Index)
            {
                const auto& Decl = Decls[Index];
                if (Decl.Class.empty())
                {
                    continue;
                }
                const auto Here = At + "[" + std::to_string(Index) + "].class";
                if (Decl.Kind != Type::Object && Decl.Kind != Type::Objects && Decl.Kind != Type::Class &&
                    Decl.Kind != Type::Classes)
                {
                    Fail(Plan, Here, "only object, objects, class and classes name a class");
                }
                if (FindClass(Built, Decl.Class) == nullptr)
                {
                    Fail(Plan, Here, Decl.Class + " names no class declared before this one");
                }
            }
        }

        // A standard function declared with the scenario's parameters: plain types only, as the
        // standard half is built before the scenario's structures and classes.
        auto Redeclare(const Scenario& Plan, const FunctionDecl& Function, const std::string& At) -> std::vector<PropDecl>
        {
            for (size_t Index = 0; Index < Function.Params.size(); ++Index)
            {
                const auto& Param = Function.Params[Index];
                if (!Param.Struct.empty() || !Param.Class.empty() || Param.Kind == Type::Struct ||
                    Param.Kind == Type::Structs)
                {
                    Fail(Plan, At + ".params[" + std::to_string(Index) + "]",
                         "a standard function's parameters name no structure or class");
                }
            }
            return ToProps(Function.Params, {});
        }

        // Members of a row of a scenario structure, set from JSON values: numbers, names, lists of
        // numbers and of structures (storage from the host's allocator), structures.
        auto WriteValues(uint8_t* At, RC::Unreal::UScriptStruct* Struct, const nlohmann::json& Values,
                         const std::function<void(const std::string&)>& Refuse) -> void
        {
            using namespace RC::Unreal;
            for (const auto& [Member, Value] : Values.items())
            {
                auto* Property = Struct->FindProperty(FName(Wide(Member)));
                if (Property == nullptr)
                {
                    Refuse(Member + ": the structure has no such member");
                    return;
                }
                auto* Place = At + Property->GetOffset_Internal();
                const auto Scalar = [&](FProperty* Of, uint8_t* Into, const nlohmann::json& Item) {
                    if (auto* Inner = CastField<FStructProperty>(Of))
                    {
                        WriteValues(Into, Inner->GetStruct(), Item, Refuse);
                        return;
                    }
                    if (CastField<FNameProperty>(Of) != nullptr && Item.is_string())
                    {
                        const FName Name(Wide(Item.get<std::string>()));
                        std::memcpy(Into, &Name, sizeof(Name));
                        return;
                    }
                    const auto Size = Of->GetElementSize();
                    if (!Item.is_number() && !Item.is_boolean())
                    {
                        Refuse(Member + ": expected a number");
                        return;
                    }
                    if (Size == 4 && Item.is_number_float())
                    {
                        const auto Number = Item.get<float>();
                        std::memcpy(Into, &Number, sizeof(Number));
                    }
                    else
                    {
                        const auto Number = Item.is_boolean() ? uint64_t{Item.get<bool>()} : Item.get<uint64_t>();
                        std::memcpy(Into, &Number, static_cast<size_t>(Size)); // little-endian: the low bytes
                    }
                };
                if (auto* Array = CastField<FArrayProperty>(Property))
                {
                    if (!Value.is_array())
                    {
                        Refuse(Member + ": expected a list");
                        return;
                    }
                    auto* Inner = Array->GetInner();
                    const auto Size = static_cast<size_t>(Inner->GetElementSize());
                    auto* Storage = static_cast<uint8_t*>(Value.empty() ? nullptr : FMemory::Malloc(Size * Value.size()));
                    if (Storage != nullptr)
                    {
                        std::memset(Storage, 0, Size * Value.size());
                    }
                    for (size_t Index = 0; Index < Value.size(); ++Index)
                    {
                        Scalar(Inner, Storage + Index * Size, Value[Index]);
                    }
                    const struct
                    {
                        void* Data;
                        int32_t Num;
                        int32_t Max;
                    } Header{Storage, static_cast<int32_t>(Value.size()), static_cast<int32_t>(Value.size())};
                    std::memcpy(Place, &Header, sizeof(Header));
                    continue;
                }
                if (CastField<FStrProperty>(Property) != nullptr || CastField<FObjectProperty>(Property) != nullptr)
                {
                    Refuse(Member + ": texts and objects cannot be given in a row");
                    return;
                }
                Scalar(Property, Place, Value);
            }
        }

        auto Field(const std::string& List, size_t Index, const std::string& Member) -> std::string
        {
            return "blueprint." + List + "[" + std::to_string(Index) + "]" + (Member.empty() ? "" : "." + Member);
        }

        auto IsLibraryKey(const std::string& Name) -> bool
        {
            return Name == "VEXA" || Name == "VEXA_Anim" || Name == "BRMB";
        }

        // A selection row through the host's array code; the corrupt headers are written over it.
        auto AddRow(RC::Sim::Engine& Engine, RC::Unreal::UDataTable* Table, const RowDecl& Row) -> uint8_t*
        {
            std::vector<BlueprintHalf::SelectionSet> Sets;
            if (!Row.CorruptSets)
            {
                for (const auto& Set : Row.Sets)
                {
                    const bool Raw = Set.CorruptEntries || Set.Exact;
                    Sets.push_back({FName(Wide(Set.StateGroupId)), Raw ? std::vector<uint64_t>{} : Set.Entries});
                }
            }
            uint8_t* Memory = BlueprintHalf::AddSelectionRow(Engine, Table, FName(Wide(Row.Name)), FName(Wide(Row.Id)), Sets);
            if (Row.CorruptSets)
            {
                WriteCorruptHeader(Memory + BlueprintHalf::RowSelectionSetOffset, *Row.CorruptSets);
                return Memory;
            }
            uint8_t* Items = nullptr;
            std::memcpy(static_cast<void*>(&Items), Memory + BlueprintHalf::RowSelectionSetOffset, sizeof(Items));
            for (size_t Index = 0; Index < Row.Sets.size(); ++Index)
            {
                auto* Entries = Items + Index * BlueprintHalf::ItemSize + BlueprintHalf::ItemEntriesOffset;
                if (Row.Sets[Index].CorruptEntries)
                {
                    WriteCorruptHeader(Entries, *Row.Sets[Index].CorruptEntries);
                }
                else if (Row.Sets[Index].Exact)
                {
                    WriteExactArray(Entries, Row.Sets[Index].Entries, *Row.Sets[Index].Exact);
                }
            }
            return Memory;
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
                    if (*Kind == Type::Text || *Kind == Type::Objects || *Kind == Type::Entries || *Kind == Type::Int32s ||
                        *Kind == Type::Structs || *Kind == Type::Classes)
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
                std::vector<uint64_t> Elements;
                for (const auto& Name : Init.Many)
                {
                    const auto Found = Built.Objects.find(Name);
                    if (Found == Built.Objects.end())
                    {
                        Fail(Plan, At + ".objects", Name + " names no object of the scenario");
                    }
                    uint64_t Element = 0;
                    std::memcpy(&Element, static_cast<const void*>(&Found->second), sizeof(Element));
                    Elements.push_back(Element);
                }
                if (Init.Exact)
                {
                    WriteExactArray(Storage, Elements, *Init.Exact);
                    continue;
                }
                auto& Array = *static_cast<TArray<UObject*>*>(Storage);
                for (const auto Element : Elements)
                {
                    UObject* Item = nullptr;
                    std::memcpy(static_cast<void*>(&Item), &Element, sizeof(Item));
                    Array.Add(Item);
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

        // Names the steps give as they go: objects the mod made, answers of exports, mod objects.
        struct StepNames
        {
            std::set<std::string> Objects;
            std::set<std::string> Answers;
            std::set<std::string> Mods;
        };

        class StepChecker
        {
        public:
            StepChecker(const Scenario& InPlan, const World& InBuilt, const Step& InCurrent, StepNames& InNames)
                : Plan(InPlan), Built(InBuilt), Current(InCurrent), Names(InNames)
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
                if (Current.Kind == Action::Export)
                {
                    CheckExport();
                }
                CheckMember();
                const auto& Expect = Current.Expect;
                for (const auto& Answer : Expect.Answers)
                {
                    for (const auto* Name : {&Answer.Name, &Answer.Other})
                    {
                        if (!Name->empty() && Names.Answers.count(*Name) == 0)
                        {
                            Fail("expect.answers." + Answer.Name, *Name + " names no answer remembered by an earlier export");
                        }
                    }
                }
                for (const auto& [Class, Count] : Expect.LiveObjects)
                {
                    if (Built.Classes.count(Class) == 0)
                    {
                        Fail("expect.liveObjects." + Class, Class + " names no class of the scenario");
                    }
                }
                if (Expect.Constructed)
                {
                    for (size_t Index = 0; Index < Expect.Constructed->size(); ++Index)
                    {
                        const auto& Made = (*Expect.Constructed)[Index];
                        const auto At = "expect.constructed[" + std::to_string(Index) + "]";
                        if (Made.Class && !Made.Class->Null && FindClass(Built, Made.Class->Text) == nullptr)
                        {
                            Fail(At + ".class", Made.Class->Text + " names no class of the scenario");
                        }
                        CheckObjectName(Made.Outer, At + ".outer");
                        CheckObjectName(Made.Template, At + ".template");
                    }
                }
                for (const auto& Param : Expect.Params)
                {
                    CheckValue(Function, Param, "expect.params." + Param.Param);
                }
                for (size_t Index = 0; Index < Expect.ParamBytes.size(); ++Index)
                {
                    CheckBytes(Function, Expect.ParamBytes[Index], "expect.paramBytes[" + std::to_string(Index) + "]");
                }
                // Constructed objects are named first, so the step's variables can name them; a
                // name a variable gives counts from the next step on.
                if (Expect.Constructed)
                {
                    for (size_t Index = 0; Index < Expect.Constructed->size(); ++Index)
                    {
                        Name((*Expect.Constructed)[Index].As, "expect.constructed[" + std::to_string(Index) + "].as");
                    }
                }
                for (const auto& Variable : Expect.Variables)
                {
                    CheckVariable(Variable);
                }
                for (const auto& Variable : Expect.Variables)
                {
                    Name(Variable.As, "expect.variables." + Variable.Object + "." + Variable.Variable + ".as");
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
            auto IsObjectName(const std::string& Name) const -> bool
            {
                return Built.Objects.count(Name) != 0 || Names.Objects.count(Name) != 0;
            }

            auto CheckObjectName(const std::optional<Value>& Reference, const std::string& At) const -> void
            {
                if (Reference && !Reference->Null && !IsObjectName(Reference->Text))
                {
                    Fail(At, Reference->Text + " names no object of the scenario");
                }
            }

            auto Name(const std::string& Given, const std::string& At) const -> void
            {
                if (Given.empty())
                {
                    return;
                }
                if (IsLibraryKey(Given) || IsObjectName(Given))
                {
                    Fail(At, Given + " is already the name of a library or object");
                }
                Names.Objects.insert(Given);
            }

            // Texts as the member takes and answers them: an engine string may be given as code units
            // or with no storage, a wide string as code units, a narrow one only as text.
            auto CheckMember() const -> void
            {
                const auto& Answer = Current.Expect.Answer;
                if (Current.Kind != Action::Member)
                {
                    if (Answer)
                    {
                        Fail("expect.answer", "only a member step has an answer");
                    }
                    return;
                }
                const auto Plain = [](const Value& Given) { return Given.Kind == Type::Text && !Given.Names; };
                const auto Narrow = [](const Value& Given) { return !Given.Null && !Given.Units; };
                if (!Plain(Current.Text) || (Current.Member == "NarrowToFString" && !Narrow(Current.Text)) ||
                    (Current.Member == "WideToFString" && (Current.Text.Null || Current.Text.Count)))
                {
                    Fail("text", Current.Member == "FStringToUtf8"   ? "an engine string is text, utf16 or null text"
                                 : Current.Member == "WideToFString" ? "a wide string is text or utf16 without count"
                                                                     : "a narrow string is text");
                }
                if (Answer && (!Plain(*Answer) || (Current.Member == "FStringToUtf8" && !Narrow(*Answer))))
                {
                    Fail("expect.answer", Current.Member == "FStringToUtf8" ? "a narrow answer is text"
                                                                            : "an engine string is text, utf16 or null text");
                }
            }

            auto CheckExport() const -> void
            {
                const bool Answers = Current.Export == "start_mod" || Current.Export.rfind("Get_", 0) == 0;
                if (!Current.As.empty() && !Answers)
                {
                    Fail("as", Current.Export + " answers nothing");
                }
                if (Current.With && !Current.With->empty() && *Current.With != "mod" &&
                    Names.Mods.count(*Current.With) == 0)
                {
                    Fail("with", *Current.With + " names no mod object that start_mod answered earlier");
                }
                if (!Current.As.empty())
                {
                    if (Names.Answers.count(Current.As) != 0 || Current.As == "mod")
                    {
                        Fail("as", Current.As + " is already the name of an answer");
                    }
                    Names.Answers.insert(Current.As);
                    if (Current.Export == "start_mod")
                    {
                        Names.Mods.insert(Current.As);
                    }
                }
            }

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
                if (Param.Expected.Names && At.rfind("args.", 0) == 0)
                {
                    Fail(At, "names compares an answer; an argument is text, utf16 or null text");
                }
                if (Kind == Type::Object && !Param.Expected.Null && !IsObjectName(Param.Expected.Text) &&
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
                CheckObjectName(Expected.One, At + ".object");
                CheckObjectName(Expected.Outer, At + ".outer");
                if (Expected.OfClass && FindClass(Built, *Expected.OfClass) == nullptr)
                {
                    Fail(At + ".objectOfClass", *Expected.OfClass + " names no class of the scenario");
                }
                const auto Found = Built.Objects.find(Expected.Object);
                if (Found == Built.Objects.end())
                {
                    if (Names.Objects.count(Expected.Object) != 0)
                    {
                        return; // made by the mod: its class is known only when the step runs
                    }
                    Fail(At, Expected.Object + " names no object of the scenario");
                }
                const auto Kind = VariableType(Found->second, Expected.Variable);
                if (!Kind)
                {
                    Fail(At, Expected.Object + " has no variable " + Expected.Variable);
                }
                if (Expected.Bytes)
                {
                    const auto Size = VariableSize(Found->second, Expected.Variable);
                    if (Expected.Bytes->size() > Size)
                    {
                        Fail(At + ".hex", "runs past the variable's " + std::to_string(Size) + " bytes");
                    }
                    return;
                }
                const auto Wanted =
                    Expected.Many || Expected.Capacity || Expected.Count || Expected.Moved ? Type::Objects : Type::Object;
                if (*Kind != Wanted)
                {
                    Fail(At, std::string("expected ") + TypeName(*Kind) + ", got " + TypeName(Wanted));
                }
                // The objects of a list may be the mod's own, unnamed: they are compared with
                // the engine's names of the objects when the step runs.
            }

            auto CheckRow(const RowExpect& Expected) const -> void
            {
                const auto At = "expect.rows." + Expected.Table + "." + Expected.Row;
                const auto Table = Built.Tables.find(Expected.Table);
                if (Table == Built.Tables.end())
                {
                    Fail(At, Expected.Table + " names no data table of the scenario");
                }
                // Selection sets are read where the game's selection rows hold them, in any row
                // that is large enough: a scenario may declare its own structure of that layout.
                if (Expected.Set &&
                    static_cast<size_t>(Table->second->GetRowStruct()->GetPropertiesSize()) < BlueprintHalf::RowSize)
                {
                    Fail(At, Expected.Table + " does not hold selection rows");
                }
                if (Table->second->FindRowUnchecked(FName(Wide(Expected.Row))) == nullptr)
                {
                    Fail(At, Expected.Table + " has no row " + Expected.Row);
                }
                const auto Size = static_cast<size_t>(Table->second->GetRowStruct()->GetPropertiesSize());
                for (size_t Index = 0; Index < Expected.Bytes.size(); ++Index)
                {
                    if (Expected.Bytes[Index].Offset + Expected.Bytes[Index].Bytes.size() > Size)
                    {
                        Fail(At + ".bytes[" + std::to_string(Index) + "]",
                             "runs past the row of " + std::to_string(Size) + " bytes");
                    }
                }
            }

            const Scenario& Plan;
            const World& Built;
            const Step& Current;
            StepNames& Names;
        };
    } // namespace

    auto BuildWorld(const Scenario& Plan) -> World
    {
        const auto IsStandardClass = [](const std::string& Name) { return !StandardFunctions(Name).empty(); };

        // What the scenario takes away must exist in the first place: check against a full half.
        BlueprintHalf::Options Choices;
        // The standard classes as shipped: a class that is like one starts from these, whatever
        // the scenario takes away from the standard class itself.
        std::map<std::string, ShippedClass> Shipped;
        {
            auto& Probe = RC::Sim::Engine::Reset();
            const auto Full = BlueprintHalf::Build(Probe);
            for (auto* Standard : {Full.WorldActorClass, Full.ProxyClass})
            {
                const auto Name = Narrow(Standard->GetName());
                auto& Copy = Shipped[Name];
                for (auto* Variable : Standard->ForEachProperty())
                {
                    Copy.Variables.emplace_back(Narrow(Variable->GetFName().ToString()), CopyProp(Variable));
                }
                for (const auto& Function : StandardFunctions(Name))
                {
                    std::vector<PropDecl> Params;
                    for (auto* Param : BlueprintHalf::Half::Function(Standard, Wide(Function))->ForEachProperty())
                    {
                        Params.push_back(CopyProp(Param));
                    }
                    Copy.Functions.emplace_back(Function, std::move(Params));
                }
            }
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
                for (size_t Function = 0; Function < Decl.Functions.size(); ++Function)
                {
                    const auto& Redeclared = Decl.Functions[Function];
                    const auto At = "blueprint.libraries." + Decl.Key + ".functions[" + std::to_string(Function) + "]";
                    if (Full.Function(LibraryOf(Decl.Key), Wide(Redeclared.Name)) == nullptr)
                    {
                        Fail(Plan, At + ".name", "the library has no function " + Redeclared.Name);
                    }
                    Choices.Redeclared[Wide(Redeclared.Name)] = Redeclare(Plan, Redeclared, At);
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
                if (!Decl.Like.empty() || !Decl.Variables.empty())
                {
                    Fail(Plan, Field("classes", Index, "name"),
                         Decl.Name + " is a standard class: a scenario can only take functions away from it (lacks) "
                                     "or declare them with other parameters (functions)");
                }
                for (size_t Function = 0; Function < Decl.Functions.size(); ++Function)
                {
                    const auto& Redeclared = Decl.Functions[Function];
                    const auto At = Field("classes", Index, "functions[" + std::to_string(Function) + "]");
                    if (!Contains(StandardFunctions(Decl.Name), Redeclared.Name))
                    {
                        Fail(Plan, At + ".name", Decl.Name + " has no function " + Redeclared.Name);
                    }
                    Choices.Redeclared[Wide(Redeclared.Name)] = Redeclare(Plan, Redeclared, At);
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
        // The game's objects first: the mod's content loads after them.
        Engine.AddFiller(Plan.FillerObjects,
                         Plan.FillerPackages != 0 ? Plan.FillerPackages : std::max<size_t>(1, Plan.FillerObjects / 1000));
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
            CheckStructs(Plan, Built.Structs, Decl.Members, Field("structs", Index, "members"));
            Built.Structs[Decl.Name] =
                Engine.CreateStruct(Wide("/Script/Scenario." + Decl.Name), ToProps(Decl.Members, Built.Structs), Decl.Size);
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
            std::vector<PropDecl> Variables;
            std::vector<std::pair<std::string, std::vector<PropDecl>>> Members;
            if (!Decl.Like.empty())
            {
                const auto Base = Shipped.find(Decl.Like);
                if (Base == Shipped.end())
                {
                    Fail(Plan, Field("classes", Index, "like"), "expected VEXA_WorldActor_C or BRMB_Proxy_C");
                }
                std::set<std::string> Known;
                for (const auto& [Name, Variable] : Base->second.Variables)
                {
                    Known.insert(Name);
                    if (!Contains(Decl.Lacks, Name))
                    {
                        Variables.push_back(Variable);
                    }
                }
                for (const auto& [Name, Params] : Base->second.Functions)
                {
                    Known.insert(Name);
                    if (!Contains(Decl.Lacks, Name))
                    {
                        Members.emplace_back(Name, Params);
                    }
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
            CheckStructs(Plan, Built.Structs, Decl.Variables, Field("classes", Index, "variables"));
            CheckClasses(Plan, Built, Decl.Variables, Field("classes", Index, "variables"));
            for (size_t Function = 0; Function < Decl.Functions.size(); ++Function)
            {
                CheckStructs(Plan, Built.Structs, Decl.Functions[Function].Params,
                             Field("classes", Index, "functions[" + std::to_string(Function) + "].params"));
                CheckClasses(Plan, Built, Decl.Functions[Function].Params,
                             Field("classes", Index, "functions[" + std::to_string(Function) + "].params"));
            }
            const ClassLookup ClassOf = [&](const std::string& Name) { return FindClass(Built, Name); };
            for (const auto& Variable : Decl.Variables)
            {
                Variables.push_back(ToProp(Variable, Built.Structs, ClassOf));
            }
            for (const auto& Function : Decl.Functions)
            {
                Members.emplace_back(Function.Name, ToProps(Function.Params, Built.Structs, ClassOf));
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
                if (!Selection && (!Row.Sets.empty() || Row.CorruptSets))
                {
                    Fail(Plan, At, "only rows of ObjectSelectionRow have selection sets");
                }
                if (Selection && !Row.Values.empty())
                {
                    Fail(Plan, At + ".values", "a selection row is given by its selection sets");
                }
                uint8_t* Memory = Selection ? AddRow(Engine, Table, Row) : Engine.AddRow(Table, FName(Wide(Row.Name)));
                if (!Row.Values.empty())
                {
                    WriteValues(Memory, Struct->second, nlohmann::json::parse(Row.Values),
                                [&](const std::string& Problem) { Fail(Plan, At + ".values", Problem); });
                }
                const auto Size = static_cast<size_t>(Struct->second->GetPropertiesSize());
                for (size_t Part = 0; Part < Row.Bytes.size(); ++Part)
                {
                    const auto& Bytes = Row.Bytes[Part];
                    if (Bytes.Offset + Bytes.Bytes.size() > Size)
                    {
                        Fail(Plan, At + ".bytes[" + std::to_string(Part) + "]",
                             "runs past the row of " + std::to_string(Size) + " bytes");
                    }
                    std::memcpy(Memory + Bytes.Offset, Bytes.Bytes.data(), Bytes.Bytes.size());
                }
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
        StepNames Names;
        for (const auto& Current : Plan.Steps)
        {
            StepChecker(Plan, Built, Current, Names).Check();
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
            auto* Inner = Array->GetInner();
            if (CastField<FClassProperty>(Inner) != nullptr)
            {
                return Type::Classes;
            }
            if (CastField<FObjectProperty>(Inner) != nullptr)
            {
                return Type::Objects;
            }
            if (CastField<FStructProperty>(Inner) != nullptr)
            {
                return Type::Structs;
            }
            return Inner->GetElementSize() == 4 ? Type::Int32s : Type::Entries;
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
