// Parameter blocks of Blueprint calls and the shorthands for property declarations.
#include <cstring>
#include <stdexcept>

#include <Unreal/CoreUObject/UObject/UnrealType.hpp>

#include "sim_state.hpp"

namespace RC::Sim
{
    using namespace RC::Unreal;

    auto Prop(StringViewType Name, Kind PropKind, int32_t Offset) -> PropDecl
    {
        return PropDecl{StringType(Name), PropKind, Offset, nullptr, nullptr, nullptr, ParamRole::In};
    }

    auto ArrayProp(StringViewType Name, PropDecl Inner, int32_t Offset) -> PropDecl
    {
        UScriptStruct* ElementStruct = Inner.Struct;
        return PropDecl{StringType(Name), Kind::Array, Offset, std::make_shared<const PropDecl>(std::move(Inner)),
                        ElementStruct, nullptr, ParamRole::In};
    }

    auto StructProp(StringViewType Name, UScriptStruct* Struct, int32_t Offset) -> PropDecl
    {
        return PropDecl{StringType(Name), Kind::Struct, Offset, nullptr, Struct, nullptr, ParamRole::In};
    }

    namespace
    {
        auto Checked(const UFunction* Function) -> const UFunction*
        {
            if (Function == nullptr)
            {
                throw std::invalid_argument("a parameter block needs a function");
            }
            return Function;
        }

        template <typename PropertyType>
        auto FindParam(const UFunction* Function, StringViewType Name, int32_t Size = -1) -> const PropertyType&
        {
            FProperty* Property = Function->FindProperty(FName(Name, FNAME_Find));
            const auto* Typed = CastField<PropertyType>(Property);
            if (Typed == nullptr || (Size >= 0 && Typed->GetElementSize() != Size))
            {
                throw std::invalid_argument(ToUtf8(Function->GetName()) + " has no parameter " + ToUtf8(Name) +
                                            " of that kind");
            }
            return *Typed;
        }

        template <typename T>
        auto Store(uint8_t* Block, const FProperty& Property, const T& Value) -> void
        {
            std::memcpy(Block + Property.GetOffset_Internal(), &Value, sizeof(T));
        }

        template <typename T>
        auto Load(const uint8_t* Block, const FProperty& Property) -> T
        {
            T Value{};
            std::memcpy(static_cast<void*>(&Value), Block + Property.GetOffset_Internal(), sizeof(T));
            return Value;
        }
    } // namespace

    ParamBlock::ParamBlock(const UFunction* Function)
        : Fn(Checked(Function)), StorageSize(static_cast<size_t>(Function->GetParmsSize()))
    {
        Storage = std::make_unique<uint8_t[]>(StorageSize == 0 ? 1 : StorageSize);
    }

    ParamBlock::~ParamBlock() { DestroyValues(PropertiesInChain(Fn), Storage.get()); }

    auto ParamBlock::Data() -> uint8_t* { return Storage.get(); }
    auto ParamBlock::Size() const -> size_t { return StorageSize; }
    auto ParamBlock::Function() const -> const UFunction* { return Fn; }

    auto ParamBlock::SetString(StringViewType Name, StringViewType Text) -> void
    {
        const auto& Property = FindParam<FStrProperty>(Fn, Name);
        auto& Target = *reinterpret_cast<FString*>(Storage.get() + Property.GetOffset_Internal());
        Target = FString(StringType(Text).c_str());
    }

    auto ParamBlock::GetString(StringViewType Name) const -> StringType
    {
        const auto& Property = FindParam<FStrProperty>(Fn, Name);
        return StringType(**reinterpret_cast<const FString*>(Storage.get() + Property.GetOffset_Internal()));
    }

    auto ParamBlock::SetObject(StringViewType Name, UObject* Object) -> void
    {
        Store(Storage.get(), FindParam<FObjectProperty>(Fn, Name), Object);
    }

    auto ParamBlock::GetObject(StringViewType Name) const -> UObject*
    {
        return Load<UObject*>(Storage.get(), FindParam<FObjectProperty>(Fn, Name));
    }

    auto ParamBlock::SetName(StringViewType Name, FName Value) -> void
    {
        Store(Storage.get(), FindParam<FNameProperty>(Fn, Name), Value);
    }

    auto ParamBlock::GetName(StringViewType Name) const -> FName
    {
        return Load<FName>(Storage.get(), FindParam<FNameProperty>(Fn, Name));
    }

    auto ParamBlock::SetInt64(StringViewType Name, uint64_t Value) -> void
    {
        Store(Storage.get(), FindParam<FNumericProperty>(Fn, Name, 8), Value);
    }

    auto ParamBlock::GetInt64(StringViewType Name) const -> uint64_t
    {
        return Load<uint64_t>(Storage.get(), FindParam<FNumericProperty>(Fn, Name, 8));
    }

    auto ParamBlock::SetBytes(size_t Offset, const std::vector<uint8_t>& Bytes) -> void
    {
        if (Offset > StorageSize || Bytes.size() > StorageSize - Offset)
        {
            throw std::out_of_range("bytes past the end of the parameter block");
        }
        std::memcpy(Storage.get() + Offset, Bytes.data(), Bytes.size());
    }

    auto ParamBlock::GetBytes(size_t Offset, size_t Count) const -> std::vector<uint8_t>
    {
        if (Offset > StorageSize || Count > StorageSize - Offset)
        {
            throw std::out_of_range("bytes past the end of the parameter block");
        }
        return {Storage.get() + Offset, Storage.get() + Offset + Count};
    }
} // namespace RC::Sim
