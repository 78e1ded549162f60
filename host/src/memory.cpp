// The engine allocator over the C heap. Alignments up to the heap's own (16 bytes) are honoured;
// engine arrays and strings here never ask for more.
#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace RC::Unreal
{
    auto FMemory::Malloc(size_t Count, uint32_t Alignment) -> void*
    {
        (void)Alignment;
        void* Memory = std::malloc(Count == 0 ? 1 : Count);
        if (Memory == nullptr)
        {
            throw std::bad_alloc();
        }
        return Memory;
    }

    auto FMemory::Realloc(void* Original, size_t Count, uint32_t Alignment) -> void*
    {
        (void)Alignment;
        if (Count == 0)
        {
            std::free(Original);
            return nullptr;
        }
        void* Memory = std::realloc(Original, Count);
        if (Memory == nullptr)
        {
            throw std::bad_alloc();
        }
        return Memory;
    }

    auto FMemory::Free(void* Original) -> void { std::free(Original); }

    auto FMemory::QuantizeSize(size_t Count, uint32_t Alignment) -> size_t
    {
        (void)Alignment;
        constexpr size_t SmallLimit = 32 * 1024;
        constexpr size_t SmallStep = 16;
        constexpr size_t PageStep = 4096;
        const size_t Step = Count <= SmallLimit ? SmallStep : PageStep;
        if (Count > SIZE_MAX - (Step - 1))
        {
            return Count; // nothing larger is representable; the allocation itself will fail
        }
        return (Count + Step - 1) / Step * Step;
    }
} // namespace RC::Unreal
