// The engine allocator over the C heap. Alignments up to the heap's own (16 bytes) are honoured;
// engine arrays and strings here never ask for more.
#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace RC::Unreal
{
    namespace
    {
        // Each block carries its size in a header of the heap's alignment, so that a reallocation
        // can copy it: growing always moves the storage, as the engine's binned allocator does
        // between bins, whatever the C heap would have done in place.
        constexpr size_t Header = 16;

        auto SizeOf(void* Memory) -> size_t
        {
            size_t Size = 0;
            std::memcpy(&Size, static_cast<uint8_t*>(Memory) - Header, sizeof(Size));
            return Size;
        }
    } // namespace

    auto FMemory::Malloc(size_t Count, uint32_t Alignment) -> void*
    {
        (void)Alignment;
        if (Count > SIZE_MAX - Header)
        {
            throw std::bad_alloc();
        }
        auto* Block = static_cast<uint8_t*>(std::malloc(Header + (Count == 0 ? 1 : Count)));
        if (Block == nullptr)
        {
            throw std::bad_alloc();
        }
        std::memcpy(Block, &Count, sizeof(Count));
        return Block + Header;
    }

    auto FMemory::Realloc(void* Original, size_t Count, uint32_t Alignment) -> void*
    {
        if (Count == 0)
        {
            Free(Original);
            return nullptr;
        }
        if (Original != nullptr && Count <= SizeOf(Original))
        {
            // Shrinking keeps the storage where it is.
            std::memcpy(static_cast<uint8_t*>(Original) - Header, &Count, sizeof(Count));
            return Original;
        }
        void* Memory = Malloc(Count, Alignment);
        if (Original != nullptr)
        {
            std::memcpy(Memory, Original, SizeOf(Original));
            Free(Original);
        }
        return Memory;
    }

    auto FMemory::Free(void* Original) -> void
    {
        if (Original != nullptr)
        {
            std::free(static_cast<uint8_t*>(Original) - Header);
        }
    }

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
