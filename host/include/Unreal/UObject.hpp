// Engine objects as the host presents them. The simulated engine (Sim/) creates and owns them;
// a mod only holds non-owning pointers.
#pragma once

#include <cstdint>
#include <memory>

#include <HostApi.hpp>
#include <String/StringType.hpp>
#include <Unreal/NameTypes.hpp>

namespace RC::Sim
{
    class Engine;
    struct ObjectState;
} // namespace RC::Sim

namespace RC::Unreal
{
    class UClass;
    class UFunction;
    class FProperty;

    class RC_HOST_API UObject
    {
    public:
        UObject(const UObject&) = delete;
        auto operator=(const UObject&) -> UObject& = delete;
        virtual ~UObject();

        [[nodiscard]] auto GetClassPrivate() const -> UClass*;
        [[nodiscard]] auto GetOuterPrivate() const -> UObject*;
        [[nodiscard]] auto GetNamePrivate() const -> FName;
        [[nodiscard]] auto GetName() const -> StringType;
        // The class name, a blank, then the path name.
        [[nodiscard]] auto GetFullName() const -> StringType;
        // For example "/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C".
        [[nodiscard]] auto GetPathName() const -> StringType;
        [[nodiscard]] auto IsA(const UClass* Class) const -> bool;

        // A function that the object's class (or a super class) declares; null when absent.
        [[nodiscard]] auto GetFunctionByName(const CharType* FunctionName) const -> UFunction*;

        // Storage of a variable that the object's class declares; null when absent.
        template <typename T>
        auto GetValuePtrByPropertyName(const CharType* PropertyName) -> T*
        {
            return static_cast<T*>(GetValuePtrByPropertyNameInternal(PropertyName));
        }
        auto GetValuePtrByPropertyNameInternal(const CharType* PropertyName) -> void*;

    protected:
        UObject();

    private:
        friend class RC::Sim::Engine;
        std::unique_ptr<RC::Sim::ObjectState> State;
    };

    class UEngine : public UObject
    {
    };
} // namespace RC::Unreal
