// Engine objects and reflection: names, paths, classes, functions, structs, data tables and
// properties. The state behind each object lives in its ObjectState; the engine creates them.
#include <algorithm>
#include <stdexcept>
#include <string>

#include <Mod/CppUserModBase.hpp>
#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
#include <Unreal/Engine/UDataTable.hpp>
#include <Unreal/UObject.hpp>

#include <cstdio>
#include <cstdlib>

#include "sim_state.hpp"

namespace RC
{
    CppUserModBase::CppUserModBase() = default;
    CppUserModBase::~CppUserModBase() = default;

    auto CppUserModBase::register_tab(StringViewType tab_name, GUI::GUITab::RenderFunctionType render_function) -> void
    {
        GUITabs.push_back(std::make_shared<GUI::GUITab>(tab_name, std::move(render_function), this));
    }

    auto CppUserModBase::register_keydown_event(Input::Key, const Input::EventCallbackCallable&, uint8_t) -> void {}

    auto CppUserModBase::register_keydown_event(Input::Key, const std::vector<Input::ModifierKey>&,
                                                const Input::EventCallbackCallable&, uint8_t) -> void
    {
    }
} // namespace RC

namespace RC::Unreal
{
    using Sim::Engine;

    namespace
    {
        auto StateOf(const UObject* Object) -> Sim::ObjectState& { return Engine::Impl::StateOf(Object); }
    } // namespace

    // --- UObject ----------------------------------------------------------------------------

    UObject::UObject() : State(std::make_unique<Sim::ObjectState>()) {}

    UObject::~UObject()
    {
        // Engine strings and arrays in the variables belong to the object; its class outlives it.
        if (State->Variables.Size() != 0 && State->Class != nullptr)
        {
            Sim::DestroyValues(Sim::PropertiesInChain(State->Class), State->Variables.Data());
        }
    }

    auto UObject::GetClassPrivate() const -> UClass* { return State->Class; }
    auto UObject::GetOuterPrivate() const -> UObject* { return State->Outer; }
    auto UObject::GetNamePrivate() const -> FName { return State->Name; }
    auto UObject::GetName() const -> StringType { return State->Name.ToString(); }
    auto UObject::GetPathName() const -> StringType { return State->Path.empty() ? Sim::BuildPath(this) : State->Path; }

    auto UObject::GetFullName() const -> StringType
    {
        const StringType ClassName = State->Class != nullptr ? State->Class->GetName() : StringType(STR("None"));
        return ClassName + STR(" ") + GetPathName();
    }

    auto UObject::IsA(const UClass* Class) const -> bool
    {
        for (const UStruct* Current = State->Class; Current != nullptr; Current = Current->GetSuperStruct())
        {
            if (Current == Class)
            {
                return true;
            }
        }
        return false;
    }

    auto UObject::GetFunctionByName(const CharType* FunctionName) -> UFunction*
    {
        if (FunctionName == nullptr || State->Class == nullptr)
        {
            return nullptr;
        }
        const FName Name(FunctionName, FNAME_Find);
        for (UFunction* Function : StateOf(State->Class).Functions)
        {
            // A function not loaded is not part of the class the engine has.
            if (!Name.IsNone() && Function->GetNamePrivate() == Name && StateOf(Function).Loaded)
            {
                return Function;
            }
        }
        return nullptr;
    }

    auto UObject::GetFunctionByNameInChain(const CharType* FunctionName) -> UFunction*
    {
        if (FunctionName == nullptr || State->Class == nullptr)
        {
            return nullptr;
        }
        return State->Class->FindFunctionByName(FName(FunctionName, FNAME_Find));
    }

    auto UObject::GetPropertyByNameInChain(const CharType* PropertyName) -> FProperty*
    {
        if (PropertyName == nullptr || State->Class == nullptr)
        {
            return nullptr;
        }
        return State->Class->FindProperty(FName(PropertyName, FNAME_Find));
    }

    auto UObject::GetValuePtrByPropertyNameInternal(const CharType* PropertyName, bool InChain) -> void*
    {
        if (PropertyName == nullptr || State->Class == nullptr || State->Variables.Size() == 0)
        {
            return nullptr;
        }
        const FName Name(PropertyName, FNAME_Find);
        const FProperty* Property = nullptr;
        if (InChain)
        {
            Property = State->Class->FindProperty(Name);
        }
        else if (!Name.IsNone())
        {
            for (const auto& Own : StateOf(State->Class).Properties)
            {
                if (Own->GetFName() == Name)
                {
                    Property = Own.get();
                    break;
                }
            }
        }
        if (Property == nullptr)
        {
            return nullptr;
        }
        return State->Variables.Data() + Property->GetOffset_Internal();
    }

    // --- UStruct and kin --------------------------------------------------------------------

    UStruct::UStruct() = default;
    UStruct::~UStruct() = default;

    auto UStruct::ForEachProperty() -> FPropertySequence
    {
        std::vector<FProperty*> Properties;
        for (const auto& Property : StateOf(this).Properties)
        {
            Properties.push_back(Property.get());
        }
        return FPropertySequence(std::move(Properties));
    }

    auto UStruct::ForEachPropertyInChain() -> FPropertySequence { return FPropertySequence(Sim::PropertiesInChain(this)); }

    auto UStruct::FindProperty(FName Name) const -> FProperty*
    {
        if (Name.IsNone())
        {
            return nullptr;
        }
        for (const UStruct* Current = this; Current != nullptr; Current = Current->GetSuperStruct())
        {
            for (const auto& Property : StateOf(Current).Properties)
            {
                if (Property->GetFName() == Name)
                {
                    return Property.get();
                }
            }
        }
        return nullptr;
    }

    auto UStruct::GetPropertiesSize() const -> int32_t { return StateOf(this).PropertiesSize; }
    auto UStruct::GetSuperStruct() const -> UStruct* { return StateOf(this).Super; }

    UClass::UClass() = default;
    UClass::~UClass() = default;

    auto UClass::FindFunctionByName(FName Name) const -> UFunction*
    {
        if (Name.IsNone())
        {
            return nullptr;
        }
        for (const UStruct* Current = this; Current != nullptr; Current = Current->GetSuperStruct())
        {
            for (UFunction* Function : StateOf(Current).Functions)
            {
                if (Function->GetNamePrivate() == Name)
                {
                    return Function;
                }
            }
        }
        return nullptr;
    }

    UFunction::UFunction() = default;
    UFunction::~UFunction() = default;
    auto UFunction::GetParmsSize() const -> int32_t { return GetPropertiesSize(); }

    auto UFunction::UnregisterHook(int Id) -> bool
    {
        auto& S = Sim::Engine::Impl::Current();
        const std::lock_guard Guard(S.Lock);
        if (std::ranges::find(S.RunningHooks, std::pair<const UFunction*, int>(this, Id)) != S.RunningHooks.end())
        {
            throw std::logic_error("UnregisterHook(" + std::to_string(Id) + ") on " + Sim::ToUtf8(GetFullName()) +
                                   " from inside that hook");
        }
        const auto Found = S.Hooks.find(this);
        if (Found == S.Hooks.end())
        {
            return false;
        }
        bool Removed = false;
        for (auto* Entries : {&Found->second.Pre, &Found->second.Post})
        {
            for (auto& Entry : *Entries)
            {
                if (Entry.Id == Id && !Entry.Removed)
                {
                    Entry.Removed = true;
                    Removed = true;
                }
            }
            if (Found->second.Running == 0)
            {
                std::erase_if(*Entries, [](const Sim::HookEntry& Entry) { return Entry.Removed; });
            }
        }
        return Removed;
    }

    UScriptStruct::UScriptStruct() = default;
    UScriptStruct::~UScriptStruct() = default;

    // --- UDataTable -------------------------------------------------------------------------

    UDataTable::UDataTable() = default;

    namespace
    {
        // In the engine a table member called on another object reads that object's memory as a
        // table: the stand-in stops the game instead of answering from its own records.
        auto CheckIsTable(const UDataTable* Table) -> void
        {
            if (dynamic_cast<const UDataTable*>(static_cast<const UObject*>(Table)) == nullptr)
            {
                std::fputs("stand-in host: a UDataTable member was called on an object that is not a data table\n", stderr);
                std::abort();
            }
        }
    } // namespace

    UDataTable::~UDataTable()
    {
        auto& Table = StateOf(this);
        if (Table.RowStruct == nullptr)
        {
            return;
        }
        const auto Properties = Sim::PropertiesInChain(Table.RowStruct);
        for (auto& Row : Table.Rows)
        {
            Sim::DestroyValues(Properties, Row.second.Data());
        }
    }

    auto UDataTable::FindRowUnchecked(FName RowName) -> uint8_t*
    {
        CheckIsTable(this);
        for (const auto& Row : StateOf(this).Rows)
        {
            if (Row.first == RowName)
            {
                return Row.second.Data();
            }
        }
        return nullptr;
    }

    auto UDataTable::GetRowStruct() -> UScriptStruct*
    {
        CheckIsTable(this);
        return StateOf(this).RowStruct;
    }

    auto UDataTable::GetRowNames() -> TArray<FName>
    {
        TArray<FName> Names;
        for (const auto& Row : StateOf(this).Rows)
        {
            Names.Add(Row.first);
        }
        return Names;
    }

    // --- properties -------------------------------------------------------------------------

    FField::FField(FName Name) : NamePrivate(Name) {}
    FField::~FField() = default;

    FProperty::FProperty(FName Name, int32_t Offset, int32_t Size)
        : FField(Name), Offset_Internal(Offset), ElementSize(Size)
    {
    }

    FNameProperty::FNameProperty(FName Name, int32_t Offset) : FProperty(Name, Offset, sizeof(FName)) {}
    FStrProperty::FStrProperty(FName Name, int32_t Offset) : FProperty(Name, Offset, sizeof(FString)) {}
    FObjectPropertyBase::FObjectPropertyBase(FName Name, int32_t Offset, UClass* Class)
        : FProperty(Name, Offset, sizeof(void*)), PropertyClass(Class)
    {
    }
    FObjectProperty::FObjectProperty(FName Name, int32_t Offset, UClass* Class) : FObjectPropertyBase(Name, Offset, Class) {}
    FClassProperty::FClassProperty(FName Name, int32_t Offset, UClass* ClassOfClasses, UClass* InMetaClass)
        : FObjectProperty(Name, Offset, ClassOfClasses), MetaClass(InMetaClass)
    {
    }
    FNumericProperty::FNumericProperty(FName Name, int32_t Offset, int32_t Size) : FProperty(Name, Offset, Size) {}
    FStructProperty::FStructProperty(FName Name, int32_t Offset, UScriptStruct* InStruct)
        : FProperty(Name, Offset, InStruct != nullptr ? InStruct->GetPropertiesSize() : 0), Struct(InStruct)
    {
    }
    FArrayProperty::FArrayProperty(FName Name, int32_t Offset, std::unique_ptr<FProperty> InInner)
        : FProperty(Name, Offset, sizeof(TArray<uint8_t>)), OwnedInner(std::move(InInner)), Inner(OwnedInner.get())
    {
    }
    FArrayProperty::~FArrayProperty() = default;
} // namespace RC::Unreal

namespace RC::Sim
{
    AlignedBlock::AlignedBlock(size_t Size)
        : Bytes(static_cast<uint8_t*>(::operator new[](Size == 0 ? 1 : Size, std::align_val_t{16}))), ByteCount(Size)
    {
        std::memset(Bytes.get(), 0, Size == 0 ? 1 : Size);
    }

    auto PropertiesInChain(const Unreal::UStruct* Struct) -> std::vector<Unreal::FProperty*>
    {
        std::vector<Unreal::FProperty*> Properties;
        for (const Unreal::UStruct* Current = Struct; Current != nullptr; Current = Current->GetSuperStruct())
        {
            for (const auto& Property : Engine::Impl::StateOf(Current).Properties)
            {
                Properties.push_back(Property.get());
            }
        }
        return Properties;
    }

    namespace
    {
        auto NeedsRelease(Unreal::FProperty* Property) -> bool
        {
            if (Unreal::CastField<Unreal::FStrProperty>(Property) != nullptr ||
                Unreal::CastField<Unreal::FArrayProperty>(Property) != nullptr)
            {
                return true;
            }
            if (auto* Struct = Unreal::CastField<Unreal::FStructProperty>(Property); Struct != nullptr)
            {
                for (auto* Member : PropertiesInChain(Struct->GetStruct()))
                {
                    if (NeedsRelease(Member))
                    {
                        return true;
                    }
                }
            }
            return false;
        }

        auto DestroyValue(Unreal::FProperty* Property, uint8_t* Memory) -> void;

        // Frees an engine array's storage, after its elements when they own memory. The count is
        // trusted only as far as the capacity: tests build inconsistent headers on purpose.
        auto DestroyArray(Unreal::FArrayProperty* Property, uint8_t* Header) -> void
        {
            void* Data = nullptr;
            int32_t Num = 0;
            int32_t Max = 0;
            std::memcpy(&Data, Header, sizeof(Data));
            std::memcpy(&Num, Header + 8, sizeof(Num));
            std::memcpy(&Max, Header + 12, sizeof(Max));
            auto* Inner = Property->GetInner();
            if (Data != nullptr && Inner != nullptr && NeedsRelease(Inner))
            {
                const int32_t Live = std::max(0, std::min(Num, Max));
                for (int32_t Index = 0; Index < Live; ++Index)
                {
                    DestroyValue(Inner, static_cast<uint8_t*>(Data) + static_cast<size_t>(Index) *
                                                                          static_cast<size_t>(Inner->GetElementSize()));
                }
            }
            Unreal::FMemory::Free(Data);
            std::memset(Header, 0, 16);
        }

        auto DestroyValue(Unreal::FProperty* Property, uint8_t* Memory) -> void
        {
            if (Unreal::CastField<Unreal::FStrProperty>(Property) != nullptr)
            {
                void* Data = nullptr;
                std::memcpy(&Data, Memory, sizeof(Data));
                Unreal::FMemory::Free(Data);
                std::memset(Memory, 0, sizeof(Unreal::FString));
            }
            else if (auto* Array = Unreal::CastField<Unreal::FArrayProperty>(Property); Array != nullptr)
            {
                DestroyArray(Array, Memory);
            }
            else if (auto* Struct = Unreal::CastField<Unreal::FStructProperty>(Property); Struct != nullptr)
            {
                DestroyValues(PropertiesInChain(Struct->GetStruct()), Memory);
            }
        }
    } // namespace

    auto DestroyValues(const std::vector<Unreal::FProperty*>& Properties, uint8_t* Memory) -> void
    {
        for (auto* Property : Properties)
        {
            DestroyValue(Property, Memory + Property->GetOffset_Internal());
        }
    }
} // namespace RC::Sim
