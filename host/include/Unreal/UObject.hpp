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

    // The engine's base of every object; the object-array listeners are handed these.
    class RC_HOST_API UObjectBase
    {
    protected:
        UObjectBase() = default;
    };

    class RC_HOST_API UObject : public UObjectBase
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

        // A function that the object's own class declares; null when absent (a super class's
        // function is not found).
        auto GetFunctionByName(const CharType* FunctionName) -> UFunction*;
        // As above, also searching the super classes.
        auto GetFunctionByNameInChain(const CharType* FunctionName) -> UFunction*;

        // The declared type of a variable of the object's class or a super class; null when absent.
        auto GetPropertyByNameInChain(const CharType* PropertyName) -> FProperty*;

        // Storage of a variable that the object's own class declares; null when absent (a super
        // class's variable is not found).
        template <typename T>
        auto GetValuePtrByPropertyName(const CharType* PropertyName) -> T*
        {
            return static_cast<T*>(GetValuePtrByPropertyNameInternal(PropertyName, false));
        }
        // As above, also searching the super classes.
        template <typename T>
        auto GetValuePtrByPropertyNameInChain(const CharType* PropertyName) -> T*
        {
            return static_cast<T*>(GetValuePtrByPropertyNameInternal(PropertyName, true));
        }
        auto GetValuePtrByPropertyNameInternal(const CharType* PropertyName, bool InChain) -> void*;

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
