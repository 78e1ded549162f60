// Reflected structures: classes, functions (their properties are the parameters, at their
// offsets in the call's block) and script structs.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <HostApi.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UObject.hpp>

namespace RC::Unreal
{
    class FProperty;
    class UFunction;

    // The properties of a struct, visited in declaration order. Only iteration is offered: the
    // host's own sequence is lazy and has no size or indexing.
    class RC_HOST_API FPropertySequence
    {
    public:
        explicit FPropertySequence(std::vector<FProperty*> InProperties) : Properties(std::move(InProperties)) {}
        [[nodiscard]] auto begin() const { return Properties.begin(); }
        [[nodiscard]] auto end() const { return Properties.end(); }

    private:
        std::vector<FProperty*> Properties;
    };

    class RC_HOST_API UStruct : public UObject
    {
    public:
        ~UStruct() override;

        // The struct's own properties only, not those of its super structs.
        auto ForEachProperty() -> FPropertySequence;
        // Own properties first, then those of each super struct in turn.
        auto ForEachPropertyInChain() -> FPropertySequence;
        // By name, own properties first, then the super structs'.
        [[nodiscard]] auto FindProperty(FName Name) const -> FProperty*;
        [[nodiscard]] auto GetPropertiesSize() const -> int32_t;
        [[nodiscard]] auto GetSuperStruct() const -> UStruct*;

    protected:
        UStruct();
        friend class RC::Sim::Engine;
    };

    class RC_HOST_API UClass : public UStruct
    {
    public:
        ~UClass() override;
        // A function this class or a super class declares; null when absent.
        [[nodiscard]] auto FindFunctionByName(FName Name) const -> UFunction*;

    protected:
        UClass();
        friend class RC::Sim::Engine;
    };

    class RC_HOST_API UFunction : public UStruct
    {
    public:
        ~UFunction() override;
        // Size of the call's parameter block.
        [[nodiscard]] auto GetParmsSize() const -> int32_t;
        // Removes the hook callbacks with this id; false when there is none.
        auto UnregisterHook(int Id) -> bool;

    protected:
        UFunction();
        friend class RC::Sim::Engine;
    };

    class RC_HOST_API UScriptStruct : public UStruct
    {
    public:
        ~UScriptStruct() override;

    protected:
        UScriptStruct();
        friend class RC::Sim::Engine;
    };
} // namespace RC::Unreal
