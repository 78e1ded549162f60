// A Blueprint function; its properties are the parameters, at their offsets in the call's block.
#pragma once

#include <Unreal/UStruct.hpp>

namespace RC::Unreal
{
    class RC_HOST_API UFunction : public UStruct
    {
    public:
        ~UFunction() override;
        // Size of the call's parameter block.
        [[nodiscard]] auto GetParmsSize() const -> int32_t;

    protected:
        UFunction();
        friend class RC::Sim::Engine;
    };
} // namespace RC::Unreal
