// The engine allocator. Engine-owned memory (strings, arrays) is allocated and freed here only.
#pragma once

#include <cstddef>
#include <cstdint>

#include <HostApi.hpp>

namespace RC::Unreal
{
    struct RC_HOST_API FMemory
    {
        static auto Malloc(size_t Count, uint32_t Alignment = 0) -> void*;
        static auto Realloc(void* Original, size_t Count, uint32_t Alignment = 0) -> void*;
        static auto Free(void* Original) -> void;
        // Rounding of the stand-in's allocator: 0 stays 0; up to 32 KiB the size is rounded up
        // to a multiple of 16 bytes, above that to a multiple of 4096 bytes.
        static auto QuantizeSize(size_t Count, uint32_t Alignment = 0) -> size_t;
    };
} // namespace RC::Unreal
