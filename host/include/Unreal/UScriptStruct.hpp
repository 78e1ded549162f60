#pragma once

#include <Unreal/UStruct.hpp>

namespace RC::Unreal
{
    class RC_HOST_API UScriptStruct : public UStruct
    {
    public:
        ~UScriptStruct() override;

    protected:
        UScriptStruct();
        friend class RC::Sim::Engine;
    };
} // namespace RC::Unreal
