#pragma once

#include <Unreal/UStruct.hpp>

namespace RC::Unreal
{
    class UFunction;

    class RC_HOST_API UClass : public UStruct
    {
    public:
        ~UClass() override;
        [[nodiscard]] auto FindFunctionByName(FName Name) const -> UFunction*;

    protected:
        UClass();
        friend class RC::Sim::Engine;
    };
} // namespace RC::Unreal
