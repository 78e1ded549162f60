#pragma once

#include <cstdint>

namespace RC::Unreal
{
    enum EObjectFlags : int32_t
    {
        RF_NoFlags = 0x00000000,
        RF_Public = 0x00000001,
        RF_Standalone = 0x00000002,
        RF_Transient = 0x00000040,
    };

    enum class EInternalObjectFlags : int32_t
    {
        None = 0,
    };
} // namespace RC::Unreal
