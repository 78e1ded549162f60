#include "sim/rows.hpp"

#include <algorithm>
#include <cstring>

#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include "blueprint_half.hpp"

namespace BRMB::Sim
{
    namespace
    {
        struct RawHeader
        {
            const void* Data;
            int32_t Num;
            int32_t Max;
        };
        static_assert(sizeof(RawHeader) == 16, "the engine array header is 16 bytes");

        auto ReadHeader(const void* At) -> RawHeader
        {
            RawHeader Raw{};
            std::memcpy(&Raw, At, sizeof(Raw));
            return Raw;
        }

        auto Corrupt(const char* What, const RawHeader& Raw) -> std::string
        {
            return std::string(What) + " (num " + std::to_string(Raw.Num) + ", max " + std::to_string(Raw.Max) + ")";
        }
    } // namespace

    auto WriteCorruptHeader(void* At, Header Corrupt) -> void
    {
        const RawHeader Raw{nullptr, Corrupt.Num, Corrupt.Max};
        std::memcpy(At, &Raw, sizeof(Raw));
    }

    auto WriteExactArray(void* At, const std::vector<uint64_t>& Elements, const ExactArray& Exact) -> void
    {
        const auto Size = static_cast<int32_t>(Elements.size());
        const int32_t Capacity = std::max(Exact.Capacity.value_or(Size), Size);
        void* Storage = nullptr;
        if (Capacity > 0)
        {
            Storage = RC::Unreal::FMemory::Malloc(static_cast<size_t>(Capacity) * sizeof(uint64_t));
            std::memset(Storage, 0, static_cast<size_t>(Capacity) * sizeof(uint64_t));
            std::memcpy(Storage, Elements.data(), Elements.size() * sizeof(uint64_t));
        }
        const RawHeader Raw{Storage, Exact.Count.value_or(Size), Capacity};
        std::memcpy(At, &Raw, sizeof(Raw));
    }

    auto ArrayStorage(const void* Header) -> const void*
    {
        return ReadHeader(Header).Data;
    }

    auto SelectionEntriesHeader(const uint8_t* Row, size_t Set) -> const void*
    {
        const auto Sets = ReadHeader(Row + BlueprintHalf::RowSelectionSetOffset);
        if (Sets.Num < 0 || Sets.Num > Sets.Max || Set >= static_cast<size_t>(Sets.Num))
        {
            return nullptr;
        }
        return static_cast<const uint8_t*>(Sets.Data) + Set * BlueprintHalf::ItemSize + BlueprintHalf::ItemEntriesOffset;
    }

    auto ReadArray8(const void* Header) -> ArrayContents
    {
        const auto Raw = ReadHeader(Header);
        ArrayContents Result;
        Result.Capacity = Raw.Max;
        Result.Count = Raw.Num;
        Result.Storage = Raw.Data;
        if (Raw.Num < 0 || Raw.Num > Raw.Max || (Raw.Num > 0 && Raw.Data == nullptr))
        {
            Result.Problem = Corrupt("corrupt header", Raw);
            return Result;
        }
        Result.Elements.resize(static_cast<size_t>(Raw.Num));
        if (Raw.Num > 0)
        {
            std::memcpy(Result.Elements.data(), Raw.Data, Result.Elements.size() * sizeof(uint64_t));
        }
        return Result;
    }

    auto ReadSelectionEntries(const uint8_t* Row, size_t Set) -> ArrayContents
    {
        const auto Sets = ReadHeader(Row + BlueprintHalf::RowSelectionSetOffset);
        if (Sets.Num < 0 || Sets.Num > Sets.Max)
        {
            return {{}, 0, 0, Corrupt("corrupt selection set header", Sets), nullptr, false};
        }
        if (Set >= static_cast<size_t>(Sets.Num))
        {
            return {{}, 0, 0, "the row has " + std::to_string(Sets.Num) + " selection sets", nullptr, false};
        }
        const auto* Item = static_cast<const uint8_t*>(Sets.Data) + Set * BlueprintHalf::ItemSize;
        return ReadArray8(Item + BlueprintHalf::ItemEntriesOffset);
    }
} // namespace BRMB::Sim
