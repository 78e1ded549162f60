// A reflected structure: the base of classes, functions (their parameters) and script structs.
#pragma once

#include <memory>
#include <vector>

#include <Unreal/FProperty.hpp>
#include <Unreal/UObject.hpp>

namespace RC::Unreal
{
    class RC_HOST_API UStruct : public UObject
    {
    public:
        ~UStruct() override;

        // Own properties first, in declaration order, then those of the super structs.
        [[nodiscard]] auto ForEachProperty() const -> std::vector<FProperty*>;
        [[nodiscard]] auto FindProperty(FName Name) const -> FProperty*;
        [[nodiscard]] auto GetPropertiesSize() const -> int32_t;
        [[nodiscard]] auto GetSuperStruct() const -> UStruct*;

    protected:
        UStruct();
        friend class RC::Sim::Engine;
    };
} // namespace RC::Unreal
