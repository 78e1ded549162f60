// The engine's dynamic array: a 16-byte header (data, ArrayNum, ArrayMax) over storage that
// belongs to the engine allocator. Header checks, checked access and the growth rule are the
// host's; code that changes an engine array in place relies on exactly this behaviour.
#pragma once

#include <algorithm>
#include <climits>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>

#include <fmt/format.h>

#include <DynamicOutput/Output.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>

namespace RC::Unreal
{
    using int32 = int32_t;
    using uint8 = uint8_t;

    inline constexpr int32 INDEX_NONE = -1;

    inline constexpr auto ArrayInvariantsError = "Array failed invariants check, ArrayNum exceeds ArrayMax.";
    inline constexpr auto ArrayIndexError = "Array index out of bounds: {} from an array of size {}";

    template <typename ElementType>
    class TArray
    {
        // Checked where elements are copied bytewise (Add, copies), not on the type itself, so an
        // array of structures that hold arrays can still be viewed and indexed in place.
        static constexpr auto CheckCopyable() -> void
        {
            static_assert(std::is_trivially_copyable_v<ElementType>,
                          "engine arrays copy only trivially copyable elements here");
        }

    public:
        TArray() = default;
        TArray(const TArray& Other) { CopyFrom(Other); }
        TArray(TArray&& Other) noexcept
            : AllocatorInstance(Other.AllocatorInstance), ArrayNum(Other.ArrayNum), ArrayMax(Other.ArrayMax)
        {
            Other.AllocatorInstance = nullptr;
            Other.ArrayNum = 0;
            Other.ArrayMax = 0;
        }
        auto operator=(const TArray& Other) -> TArray&
        {
            if (this != &Other)
            {
                FreeStorage();
                CopyFrom(Other);
            }
            return *this;
        }
        auto operator=(TArray&& Other) noexcept -> TArray&
        {
            if (this != &Other)
            {
                FreeStorage();
                AllocatorInstance = Other.AllocatorInstance;
                ArrayNum = Other.ArrayNum;
                ArrayMax = Other.ArrayMax;
                Other.AllocatorInstance = nullptr;
                Other.ArrayNum = 0;
                Other.ArrayMax = 0;
            }
            return *this;
        }
        ~TArray() { FreeStorage(); }

        [[nodiscard]] auto Num() const -> int32 { return ArrayNum; }
        [[nodiscard]] auto Max() const -> int32 { return ArrayMax; }
        [[nodiscard]] auto GetData() -> ElementType* { return AllocatorInstance; }
        [[nodiscard]] auto GetData() const -> const ElementType* { return AllocatorInstance; }
        [[nodiscard]] auto IsValidIndex(int32 Index) const -> bool { return Index >= 0 && Index < ArrayNum; }
        [[nodiscard]] auto IsEmpty() const -> bool { return ArrayNum == 0; }

        auto CheckInvariants() const -> void
        {
            if (ArrayNum < 0 || ArrayNum > ArrayMax)
            {
                throw std::runtime_error(ArrayInvariantsError);
            }
        }

        auto RangeCheck(int32 Index) const -> void
        {
            CheckInvariants();
            if (Index < 0 || Index >= ArrayNum)
            {
                throw std::runtime_error(fmt::format(fmt::runtime(ArrayIndexError), Index, ArrayNum));
            }
        }

        auto operator[](int32 Index) -> ElementType&
        {
            RangeCheck(Index);
            return AllocatorInstance[Index];
        }
        auto operator[](int32 Index) const -> const ElementType&
        {
            RangeCheck(Index);
            return AllocatorInstance[Index];
        }

        // Drops every element and the allocation.
        auto Empty() -> void
        {
            ArrayNum = 0;
            if (ArrayMax != 0)
            {
                ArrayMax = 0;
                ResizeAllocation(0, 0);
            }
        }

        auto Add(const ElementType& Item) -> int32
        {
            CheckCopyable();
            CheckInvariants();
            // Copy first: Item may live inside the storage that is about to move.
            ElementType Copy;
            std::memcpy(static_cast<void*>(&Copy), static_cast<const void*>(&Item), sizeof(ElementType));
            const int32 OldNum = ArrayNum;
            const int32 NewNum = OldNum + 1;
            ArrayNum = NewNum;
            if (NewNum > ArrayMax)
            {
                ArrayMax = CalculateSlackGrow(NewNum, ArrayMax);
                ResizeAllocation(OldNum, ArrayMax);
            }
            std::memcpy(static_cast<void*>(AllocatorInstance + OldNum), static_cast<const void*>(&Copy),
                        sizeof(ElementType));
            return OldNum;
        }

        // Adds Count elements whose bytes are left as the storage holds them, growing once by the
        // rule of Add; returns the index of the first.
        auto AddUninitialized(int32 Count) -> int32
        {
            CheckCopyable();
            CheckInvariants();
            const int32 OldNum = ArrayNum;
            if (Count <= 0)
            {
                return OldNum;
            }
            if (Count > INT32_MAX - OldNum)
            {
                throw std::length_error("engine array too large");
            }
            const int32 NewNum = OldNum + Count;
            if (NewNum > ArrayMax)
            {
                const int32 NewMax = CalculateSlackGrow(NewNum, ArrayMax);
                ResizeAllocation(OldNum, NewMax);
                ArrayMax = NewMax;
            }
            ArrayNum = NewNum;
            return OldNum;
        }

        // Makes room for Number elements in all without adding any, so that later additions up
        // to that count do not move the storage. Never shrinks.
        auto Reserve(int32 Number) -> void
        {
            CheckCopyable();
            CheckInvariants();
            if (Number > ArrayMax)
            {
                const auto Bytes = FMemory::QuantizeSize(static_cast<size_t>(Number) * sizeof(ElementType), 0);
                const auto NewMax = static_cast<int32>(std::min<size_t>(Bytes / sizeof(ElementType), INT32_MAX));
                ResizeAllocation(ArrayNum, NewMax);
                ArrayMax = NewMax;
            }
        }

        // Appends Count elements in one step. Items must not lie inside this array's storage.
        auto Append(const ElementType* Items, int32 Count) -> void
        {
            const int32 First = AddUninitialized(Count);
            if (Count > 0)
            {
                std::memcpy(static_cast<void*>(AllocatorInstance + First), static_cast<const void*>(Items),
                            static_cast<size_t>(Count) * sizeof(ElementType));
            }
        }

        // Index of the first element equal (operator==) to Item; INDEX_NONE when there is none.
        [[nodiscard]] auto Find(const ElementType& Item) const -> int32
            requires std::equality_comparable<ElementType>
        {
            CheckInvariants();
            for (int32 Index = 0; Index < ArrayNum; ++Index)
            {
                if (AllocatorInstance[Index] == Item)
                {
                    return Index;
                }
            }
            return INDEX_NONE;
        }

        // Appends unless an equal element (operator==) is present. The header is checked before
        // the scan: a count above the capacity would read past the storage.
        auto AddUnique(const ElementType& Item) -> int32
        {
            if (const int32 Index = Find(Item); Index != INDEX_NONE)
            {
                return Index;
            }
            CheckAddress(&Item);
            return Add(Item);
        }

        // Capacity after growing to hold NewNum elements, before storage is resized.
        [[nodiscard]] static auto CalculateSlackGrow(int32 NewNum, int32 CurrentMax) -> int32
        {
            constexpr int64_t FirstGrow = 4;
            constexpr int64_t ConstantGrow = 16;
            const int64_t Num = NewNum;
            int64_t Grow = CurrentMax == 0 ? std::max(Num, FirstGrow) : Num + 3 * Num / 8 + ConstantGrow;
            const auto Bytes = static_cast<size_t>(Grow) * sizeof(ElementType);
            const auto Quantized = static_cast<int64_t>(FMemory::QuantizeSize(Bytes, 0) / sizeof(ElementType));
            Grow = Quantized;
            if (Grow < Num || Grow > INT32_MAX)
            {
                Grow = INT32_MAX;
            }
            return static_cast<int32>(Grow);
        }

    private:
        auto CheckAddress(const ElementType* Address) const -> void
        {
            const auto* Begin = AllocatorInstance;
            const auto* End = AllocatorInstance + ArrayMax;
            if (Begin != nullptr && Address >= Begin && Address < End)
            {
                Output::send<LogLevel::Default>(
                    STR("Attempting to use a container element ({}) which already comes from the container being "
                        "modified ({}, ArrayMax: {}, ArrayNum: {}, TypeSize: {})!\n"),
                    fmt::ptr(static_cast<const void*>(Address)), fmt::ptr(static_cast<const void*>(Begin)), ArrayMax,
                    ArrayNum, sizeof(ElementType));
            }
        }

        auto ResizeAllocation(int32 PreviousNumElements, int32 NumElements) -> void
        {
            (void)PreviousNumElements;
            if (NumElements == 0)
            {
                FMemory::Free(AllocatorInstance);
                AllocatorInstance = nullptr;
                return;
            }
            AllocatorInstance = static_cast<ElementType*>(
                FMemory::Realloc(AllocatorInstance, static_cast<size_t>(NumElements) * sizeof(ElementType)));
        }

        auto CopyFrom(const TArray& Other) -> void
        {
            CheckCopyable();
            Other.CheckInvariants();
            AllocatorInstance = nullptr;
            ArrayNum = Other.ArrayNum;
            ArrayMax = Other.ArrayNum;
            if (ArrayMax > 0)
            {
                ResizeAllocation(0, ArrayMax);
                std::memcpy(static_cast<void*>(AllocatorInstance), static_cast<const void*>(Other.AllocatorInstance),
                            static_cast<size_t>(ArrayNum) * sizeof(ElementType));
            }
        }

        auto FreeStorage() -> void
        {
            FMemory::Free(AllocatorInstance);
            AllocatorInstance = nullptr;
            ArrayNum = 0;
            ArrayMax = 0;
        }

        ElementType* AllocatorInstance{};
        int32 ArrayNum{};
        int32 ArrayMax{};
    };

    static_assert(sizeof(TArray<void*>) == 16, "the engine array header is 16 bytes");
} // namespace RC::Unreal
