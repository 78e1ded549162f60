// The engine allocator over the C heap. Alignments up to the heap's own (16 bytes) are honoured;
// engine arrays and strings here never ask for more. Each block carries its size in front of it,
// so that Realloc behaves the same on every machine: growth always moves to a fresh block,
// shrinking never moves. An engine's allocator is just as fixed for a given build, and scenarios
// that say whether storage moved must not depend on what the C library's realloc happens to do.
#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace RC::Unreal
{
    namespace
    {
        // Keeps the heap's 16-byte alignment for what follows it.
        struct alignas(16) BlockHeader
        {
            size_t Size;
        };

        auto HeaderOf(void* Memory) -> BlockHeader*
        {
            return reinterpret_cast<BlockHeader*>(static_cast<unsigned char*>(Memory) - sizeof(BlockHeader));
        }
    } // namespace

    auto FMemory::Malloc(size_t Count, uint32_t Alignment) -> void*
    {
        (void)Alignment;
        if (Count > SIZE_MAX - sizeof(BlockHeader))
        {
            throw std::bad_alloc();
        }
        void* Block = std::malloc(sizeof(BlockHeader) + Count);
        if (Block == nullptr)
        {
            throw std::bad_alloc();
        }
        auto* Header = new (Block) BlockHeader{Count};
        return Header + 1;
    }

    auto FMemory::Realloc(void* Original, size_t Count, uint32_t Alignment) -> void*
    {
        if (Original == nullptr)
        {
            return Malloc(Count, Alignment);
        }
        if (Count == 0)
        {
            Free(Original);
            return nullptr;
        }
        BlockHeader* const Header = HeaderOf(Original);
        if (Count <= Header->Size)
        {
            Header->Size = Count;
            return Original;
        }
        void* const Grown = Malloc(Count, Alignment);
        std::memcpy(Grown, Original, Header->Size);
        Free(Original);
        return Grown;
    }

    auto FMemory::Free(void* Original) -> void
    {
        if (Original != nullptr)
        {
            std::free(HeaderOf(Original));
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
