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

    // Property flags: a function's parameters carry CPF_Parm, outputs also CPF_OutParm, the
    // return value CPF_ReturnParm; a Blueprint function's local variables carry none of them.
    enum EPropertyFlags : uint64_t
    {
        CPF_None = 0,
        CPF_Parm = 0x0000000000000080,
        CPF_OutParm = 0x0000000000000100,
        CPF_ReturnParm = 0x0000000000000400,
    };
} // namespace RC::Unreal
