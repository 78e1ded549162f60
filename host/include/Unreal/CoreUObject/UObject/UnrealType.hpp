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

    // The base of every reflected field; CastField tells the kinds apart.
    class RC_HOST_API FField
    {
    public:
        explicit FField(FName Name);
        FField(const FField&) = delete;
        auto operator=(const FField&) -> FField& = delete;
        virtual ~FField();

        [[nodiscard]] auto GetFName() const -> FName { return NamePrivate; }

    private:
        FName NamePrivate;
    };

    class RC_HOST_API FProperty : public FField
    {
    public:
        FProperty(FName Name, int32_t Offset, int32_t ElementSize);

        // A reference, as in the host: callers take it by value.
        [[nodiscard]] auto GetOffset_Internal() const -> const int32_t& { return Offset_Internal; }
        [[nodiscard]] auto GetElementSize() const -> int32_t { return ElementSize; }
        [[nodiscard]] auto GetSize() const -> int32_t { return ElementSize; }

    private:
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

    // Any reference to an object (8 bytes); the class it may point to, when the engine knows it.
    class RC_HOST_API FObjectPropertyBase : public FProperty
    {
    public:
        FObjectPropertyBase(FName Name, int32_t Offset, UClass* PropertyClass);
        [[nodiscard]] auto GetPropertyClass() -> UClass* { return PropertyClass; }

    private:
        UClass* PropertyClass;
    };

    // A plain object reference (UObject*).
    class RC_HOST_API FObjectProperty : public FObjectPropertyBase
    {
    public:
        FObjectProperty(FName Name, int32_t Offset, UClass* PropertyClass = nullptr);
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
        auto GetStruct() -> UScriptStruct* { return Struct; }

    private:
        UScriptStruct* Struct;
    };

    // An engine array (16-byte header); Inner describes one element at offset 0.
    class RC_HOST_API FArrayProperty : public FProperty
    {
    public:
        FArrayProperty(FName Name, int32_t Offset, std::unique_ptr<FProperty> Inner);
        ~FArrayProperty() override;
        // A reference to the host's own pointer, as in the host: callers take it by value.
        auto GetInner() -> FProperty*& { return Inner; }

    private:
        std::unique_ptr<FProperty> OwnedInner;
        FProperty* Inner; // OwnedInner's, for GetInner's reference

    };

    // Null when the field is null or of another kind.
    template <typename T>
    auto CastField(FField* Src) -> T*
    {
        return dynamic_cast<T*>(Src);
    }
} // namespace RC::Unreal
