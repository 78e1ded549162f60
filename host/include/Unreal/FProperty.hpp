// Reflection of a structure's members: name, offset, size and kind. A mod reads these to check
// that engine memory has the layout it is about to write into.
#pragma once

#include <cstdint>
#include <memory>

#include <HostApi.hpp>
#include <Unreal/NameTypes.hpp>

namespace RC::Unreal
{
    class UScriptStruct;
    class UClass;

    class RC_HOST_API FProperty
    {
    public:
        FProperty(FName Name, int32_t Offset, int32_t ElementSize);
        FProperty(const FProperty&) = delete;
        auto operator=(const FProperty&) -> FProperty& = delete;
        virtual ~FProperty();

        [[nodiscard]] auto GetFName() const -> FName { return NamePrivate; }
        [[nodiscard]] auto GetOffset_Internal() const -> int32_t { return Offset_Internal; }
        [[nodiscard]] auto GetElementSize() const -> int32_t { return ElementSize; }
        [[nodiscard]] auto GetSize() const -> int32_t { return ElementSize; }

    private:
        FName NamePrivate;
        int32_t Offset_Internal;
        int32_t ElementSize;
    };

    class RC_HOST_API FNameProperty : public FProperty
    {
    public:
        FNameProperty(FName Name, int32_t Offset);
    };

    class RC_HOST_API FStrProperty : public FProperty
    {
    public:
        FStrProperty(FName Name, int32_t Offset);
    };

    class RC_HOST_API FObjectProperty : public FProperty
    {
    public:
        FObjectProperty(FName Name, int32_t Offset, UClass* PropertyClass = nullptr);
        [[nodiscard]] auto GetPropertyClass() const -> UClass* { return PropertyClass; }

    private:
        UClass* PropertyClass;
    };

    // A class reference (UClass*), 8 bytes like any object reference.
    class RC_HOST_API FClassProperty : public FObjectProperty
    {
    public:
        FClassProperty(FName Name, int32_t Offset);
    };

    // A plain value of ElementSize bytes (integers, floats, booleans, opaque 8-byte entries).
    class RC_HOST_API FNumericProperty : public FProperty
    {
    public:
        FNumericProperty(FName Name, int32_t Offset, int32_t ElementSize);
    };

    class RC_HOST_API FStructProperty : public FProperty
    {
    public:
        FStructProperty(FName Name, int32_t Offset, UScriptStruct* Struct);
        [[nodiscard]] auto GetStruct() const -> UScriptStruct* { return Struct; }

    private:
        UScriptStruct* Struct;
    };

    // An engine array (16-byte header); Inner describes one element at offset 0.
    class RC_HOST_API FArrayProperty : public FProperty
    {
    public:
        FArrayProperty(FName Name, int32_t Offset, std::unique_ptr<FProperty> Inner);
        ~FArrayProperty() override;
        [[nodiscard]] auto GetInner() const -> FProperty* { return Inner.get(); }

    private:
        std::unique_ptr<FProperty> Inner;
    };

    template <typename T>
    auto CastField(FProperty* Property) -> T*
    {
        return dynamic_cast<T*>(Property);
    }
    template <typename T>
    auto CastField(const FProperty* Property) -> const T*
    {
        return dynamic_cast<const T*>(Property);
    }
} // namespace RC::Unreal
