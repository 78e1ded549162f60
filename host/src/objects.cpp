// Engine objects and reflection: names, paths, classes, functions, structs, data tables and
// properties. The state behind each object lives in its ObjectState; the engine creates them.
#include <Mod/CppUserModBase.hpp>
#include <Unreal/Engine/UDataTable.hpp>
#include <Unreal/FProperty.hpp>
#include <Unreal/UClass.hpp>
#include <Unreal/UFunction.hpp>
#include <Unreal/UObject.hpp>
#include <Unreal/UScriptStruct.hpp>
#include <Unreal/UStruct.hpp>

#include "sim_state.hpp"

namespace RC
{
    CppUserModBase::CppUserModBase() = default;
    CppUserModBase::~CppUserModBase() = default;
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
            Sim::DestroyValues(State->Class->ForEachProperty(), State->Variables.Data());
        }
    }

    auto UObject::GetClassPrivate() const -> UClass* { return State->Class; }
    auto UObject::GetOuterPrivate() const -> UObject* { return State->Outer; }
    auto UObject::GetNamePrivate() const -> FName { return State->Name; }
    auto UObject::GetName() const -> StringType { return State->Name.ToString(); }
    auto UObject::GetPathName() const -> StringType { return State->Path; }

    auto UObject::GetFullName() const -> StringType
    {
        const StringType ClassName = State->Class != nullptr ? State->Class->GetName() : StringType(STR("None"));
        return ClassName + STR(" ") + State->Path;
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

    auto UObject::GetFunctionByName(const CharType* FunctionName) const -> UFunction*
    {
        if (FunctionName == nullptr || State->Class == nullptr)
        {
            return nullptr;
        }
        return State->Class->FindFunctionByName(FName(FunctionName, FNAME_Find));
    }

    auto UObject::GetValuePtrByPropertyNameInternal(const CharType* PropertyName) -> void*
    {
        if (PropertyName == nullptr || State->Class == nullptr || State->Variables.Size() == 0)
        {
            return nullptr;
        }
        const FProperty* Property = State->Class->FindProperty(FName(PropertyName, FNAME_Find));
        if (Property == nullptr)
        {
            return nullptr;
        }
        return State->Variables.Data() + Property->GetOffset_Internal();
    }

    // --- UStruct and kin --------------------------------------------------------------------

    UStruct::UStruct() = default;
    UStruct::~UStruct() = default;

    auto UStruct::ForEachProperty() const -> std::vector<FProperty*>
    {
        std::vector<FProperty*> Properties;
        for (const UStruct* Current = this; Current != nullptr; Current = Current->GetSuperStruct())
        {
            for (const auto& Property : StateOf(Current).Properties)
            {
                Properties.push_back(Property.get());
            }
        }
        return Properties;
    }

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

    UScriptStruct::UScriptStruct() = default;
    UScriptStruct::~UScriptStruct() = default;

    // --- UDataTable -------------------------------------------------------------------------

    UDataTable::UDataTable() = default;

    UDataTable::~UDataTable()
    {
        auto& Table = StateOf(this);
        if (Table.RowStruct == nullptr)
        {
            return;
        }
        const auto Properties = Table.RowStruct->ForEachProperty();
        for (auto& Row : Table.Rows)
        {
            Sim::DestroyValues(Properties, Row.second.Data());
        }
    }

    auto UDataTable::FindRowUnchecked(FName RowName) const -> uint8_t*
    {
        for (const auto& Row : StateOf(this).Rows)
        {
            if (Row.first == RowName)
            {
                return Row.second.Data();
            }
        }
        return nullptr;
    }

    auto UDataTable::GetRowStruct() const -> UScriptStruct* { return StateOf(this).RowStruct; }

    auto UDataTable::GetRowNames() const -> std::vector<FName>
    {
        std::vector<FName> Names;
        for (const auto& Row : StateOf(this).Rows)
        {
            Names.push_back(Row.first);
        }
        return Names;
    }

    // --- properties -------------------------------------------------------------------------

    FProperty::FProperty(FName Name, int32_t Offset, int32_t Size)
        : NamePrivate(Name), Offset_Internal(Offset), ElementSize(Size)
    {
    }
    FProperty::~FProperty() = default;

    FNameProperty::FNameProperty(FName Name, int32_t Offset) : FProperty(Name, Offset, sizeof(FName)) {}
    FStrProperty::FStrProperty(FName Name, int32_t Offset) : FProperty(Name, Offset, sizeof(FString)) {}
    FObjectProperty::FObjectProperty(FName Name, int32_t Offset, UClass* Class)
        : FProperty(Name, Offset, sizeof(void*)), PropertyClass(Class)
    {
    }
    FClassProperty::FClassProperty(FName Name, int32_t Offset) : FObjectProperty(Name, Offset) {}
    FNumericProperty::FNumericProperty(FName Name, int32_t Offset, int32_t Size) : FProperty(Name, Offset, Size) {}
    FStructProperty::FStructProperty(FName Name, int32_t Offset, UScriptStruct* InStruct)
        : FProperty(Name, Offset, InStruct != nullptr ? InStruct->GetPropertiesSize() : 0), Struct(InStruct)
    {
    }
    FArrayProperty::FArrayProperty(FName Name, int32_t Offset, std::unique_ptr<FProperty> InInner)
        : FProperty(Name, Offset, sizeof(TArray<uint8_t>)), Inner(std::move(InInner))
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

    namespace
    {
        auto NeedsRelease(const Unreal::FProperty* Property) -> bool
        {
            if (Unreal::CastField<Unreal::FStrProperty>(Property) != nullptr ||
                Unreal::CastField<Unreal::FArrayProperty>(Property) != nullptr)
            {
                return true;
            }
            if (const auto* Struct = Unreal::CastField<Unreal::FStructProperty>(Property); Struct != nullptr)
            {
                for (const auto* Member : Struct->GetStruct()->ForEachProperty())
                {
                    if (NeedsRelease(Member))
                    {
                        return true;
                    }
                }
            }
            return false;
        }

        auto DestroyValue(const Unreal::FProperty* Property, uint8_t* Memory) -> void;

        // Frees an engine array's storage, after its elements when they own memory. The count is
        // trusted only as far as the capacity: tests build inconsistent headers on purpose.
        auto DestroyArray(const Unreal::FArrayProperty* Property, uint8_t* Header) -> void
        {
            void* Data = nullptr;
            int32_t Num = 0;
            int32_t Max = 0;
            std::memcpy(&Data, Header, sizeof(Data));
            std::memcpy(&Num, Header + 8, sizeof(Num));
            std::memcpy(&Max, Header + 12, sizeof(Max));
            const auto* Inner = Property->GetInner();
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

        auto DestroyValue(const Unreal::FProperty* Property, uint8_t* Memory) -> void
        {
            if (Unreal::CastField<Unreal::FStrProperty>(Property) != nullptr)
            {
                void* Data = nullptr;
                std::memcpy(&Data, Memory, sizeof(Data));
                Unreal::FMemory::Free(Data);
                std::memset(Memory, 0, sizeof(Unreal::FString));
            }
            else if (const auto* Array = Unreal::CastField<Unreal::FArrayProperty>(Property); Array != nullptr)
            {
                DestroyArray(Array, Memory);
            }
            else if (const auto* Struct = Unreal::CastField<Unreal::FStructProperty>(Property); Struct != nullptr)
            {
                DestroyValues(Struct->GetStruct()->ForEachProperty(), Memory);
            }
        }
    } // namespace

    auto DestroyValues(const std::vector<Unreal::FProperty*>& Properties, uint8_t* Memory) -> void
    {
        for (const auto* Property : Properties)
        {
            DestroyValue(Property, Memory + Property->GetOffset_Internal());
        }
    }
} // namespace RC::Sim
