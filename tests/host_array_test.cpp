// The engine array as mods rely on it: header checks, checked access, growth through the engine
// allocator, add-unique, emptying, and the allocator's rounding rule.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <Sim/Engine.hpp>
#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>

namespace
{
    using RC::Sim::Engine;
    using RC::Unreal::FMemory;
    using RC::Unreal::TArray;
    using Array8 = TArray<uint64_t>;

    constexpr auto InvariantsText = "Array failed invariants check, ArrayNum exceeds ArrayMax.";

    // The raw 16-byte header, as engine memory holds it.
    struct Header
    {
        void* Data;
        int32_t Num;
        int32_t Max;
    };
    static_assert(sizeof(Header) == sizeof(Array8));

    auto HeaderOf(const Array8& Array) -> Header
    {
        Header Raw{};
        std::memcpy(&Raw, &Array, sizeof(Raw));
        return Raw;
    }

    auto SetHeader(Array8& Array, const Header& Raw) -> void { std::memcpy(static_cast<void*>(&Array), &Raw, sizeof(Raw)); }

    template <typename Operation>
    auto MessageOf(Operation&& Run) -> std::string
    {
        try
        {
            Run();
        }
        catch (const std::runtime_error& Error)
        {
            return Error.what();
        }
        return "no error";
    }

    auto Filled(int Count) -> Array8
    {
        Array8 Array;
        for (int Index = 0; Index < Count; ++Index)
        {
            Array.Add(static_cast<uint64_t>(100 + Index));
        }
        return Array;
    }

    class ArrayTest : public testing::Test
    {
    protected:
        void SetUp() override { Log = &Engine::Reset().CaptureLog(); }
        RC::Sim::CaptureDevice* Log = nullptr;
    };

    TEST_F(ArrayTest, FirstAppendMakesRoomForFour)
    {
        Array8 Array;
        Array.Add(7);
        EXPECT_EQ(Array.Num(), 1);
        EXPECT_EQ(Array.Max(), 4);
        EXPECT_EQ(Array[0], 7U);
    }

    TEST_F(ArrayTest, FullArrayOfFourGrowsToTheRoundedTwentyTwo)
    {
        Array8 Array = Filled(4);
        ASSERT_EQ(Array.Max(), 4);
        Array.Add(104);
        const auto Expected = static_cast<int32_t>(FMemory::QuantizeSize(22 * sizeof(uint64_t)) / sizeof(uint64_t));
        EXPECT_EQ(Array.Max(), Expected);
        EXPECT_EQ(Array.Max(), 22); // 176 bytes is already a multiple of 16
        for (int32_t Index = 0; Index < 5; ++Index)
        {
            EXPECT_EQ(Array[Index], static_cast<uint64_t>(100 + Index));
        }
    }

    TEST_F(ArrayTest, SpareRoomIsNotReallocated)
    {
        Array8 Array = Filled(1);
        const void* Before = HeaderOf(Array).Data;
        Array.Add(1);
        Array.Add(2);
        EXPECT_EQ(HeaderOf(Array).Data, Before);
        EXPECT_EQ(Array.Max(), 4);
    }

    TEST_F(ArrayTest, SlackGrowthFollowsTheRuleAndCapsAtTheLargestInt)
    {
        struct Case
        {
            int32_t NewNum;
            int32_t CurrentMax;
            int32_t Expected;
        };
        const Case Cases[] = {
            {1, 0, 4},
            {3, 0, 4},
            {9, 0, 10},    // 9 elements, rounded to 80 bytes
            {5, 4, 22},    // 5 + 1 + 16
            {17, 16, 40},  // 17 + 6 + 16 = 39, rounded to 320 bytes
            {INT32_MAX, 1, INT32_MAX},
            {INT32_MAX - 1, INT32_MAX - 2, INT32_MAX},
        };
        for (const auto& Each : Cases)
        {
            EXPECT_EQ(Array8::CalculateSlackGrow(Each.NewNum, Each.CurrentMax), Each.Expected)
                << Each.NewNum << " from " << Each.CurrentMax;
        }
    }

    TEST_F(ArrayTest, OutOfBoundsTextsCarryIndexAndSize)
    {
        Array8 Empty;
        EXPECT_EQ(MessageOf([&] { (void)Empty[0]; }), "Array index out of bounds: 0 from an array of size 0");
        Array8 Three = Filled(3);
        EXPECT_EQ(MessageOf([&] { (void)Three[3]; }), "Array index out of bounds: 3 from an array of size 3");
        EXPECT_EQ(MessageOf([&] { (void)Three[-1]; }), "Array index out of bounds: -1 from an array of size 3");
    }

    // A bulk append grows once, by the rule of a single append to the final count, and keeps
    // what was there.
    TEST_F(ArrayTest, AppendGrowsOnceByTheSingleAppendRule)
    {
        struct Case
        {
            int Before;
            int32_t Count;
        };
        for (const Case Step : {Case{0, 1}, Case{0, 3}, Case{0, 50}, Case{4, 1}, Case{4, 30}, Case{2, 1}, Case{3, 0}})
        {
            Array8 Array = Filled(Step.Before);
            const Header Start = HeaderOf(Array);
            std::vector<uint64_t> Items(static_cast<size_t>(Step.Count));
            for (size_t Index = 0; Index < Items.size(); ++Index)
            {
                Items[Index] = 900 + Index;
            }
            Array.Append(Items.data(), Step.Count);

            const int32_t Wanted = Step.Before + Step.Count;
            ASSERT_EQ(Array.Num(), Wanted) << Step.Before << " + " << Step.Count;
            const int32_t ExpectedMax =
                Wanted > Start.Max ? Array8::CalculateSlackGrow(Wanted, Start.Max) : Start.Max;
            EXPECT_EQ(Array.Max(), ExpectedMax) << Step.Before << " + " << Step.Count;
            for (int32_t Index = 0; Index < Wanted; ++Index)
            {
                const uint64_t Expected = Index < Step.Before ? 100 + static_cast<uint64_t>(Index)
                                                              : 900 + static_cast<uint64_t>(Index - Step.Before);
                EXPECT_EQ(Array[Index], Expected) << "element " << Index;
            }
        }
    }

    // Reserving makes room without adding: the count and the elements stay, the capacity is at
    // least what was asked (rounded as the allocator rounds), a smaller request changes nothing,
    // and additions within the room keep the storage where it is.
    TEST_F(ArrayTest, ReserveMakesRoomWithoutAdding)
    {
        Array8 Array = Filled(3);
        Array.Reserve(1000);
        EXPECT_EQ(Array.Num(), 3);
        EXPECT_EQ(Array.Max(), static_cast<int32_t>(FMemory::QuantizeSize(1000 * sizeof(uint64_t)) / sizeof(uint64_t)));
        for (int32_t Index = 0; Index < 3; ++Index)
        {
            EXPECT_EQ(Array[Index], 100 + static_cast<uint64_t>(Index));
        }
        const Header Reserved = HeaderOf(Array);
        Array.Reserve(10);
        EXPECT_EQ(HeaderOf(Array).Max, Reserved.Max);
        (void)Array.AddUninitialized(Reserved.Max - 3);
        EXPECT_EQ(Array.GetData(), Reserved.Data);
        EXPECT_EQ(Array.Num(), Reserved.Max);
    }

    TEST_F(ArrayTest, InconsistentHeaderFailsEverythingButEmpty)
    {
        Array8 Array = Filled(2);
        const Header Consistent = HeaderOf(Array);
        for (const int32_t BadNum : {Consistent.Max + 1, -1})
        {
            SetHeader(Array, Header{Consistent.Data, BadNum, Consistent.Max});
            EXPECT_EQ(MessageOf([&] { (void)Array[0]; }), InvariantsText);
            EXPECT_EQ(MessageOf([&] { Array.Add(9); }), InvariantsText);
            EXPECT_EQ(MessageOf([&] { Array.AddUnique(9); }), InvariantsText);
            const uint64_t More[] = {7, 8};
            EXPECT_EQ(MessageOf([&] { Array.Append(More, 2); }), InvariantsText);
            EXPECT_EQ(MessageOf([&] { Array.Reserve(Consistent.Max + 100); }), InvariantsText);
            // Nothing changed by the failing operations.
            const Header After = HeaderOf(Array);
            EXPECT_EQ(After.Data, Consistent.Data);
            EXPECT_EQ(After.Num, BadNum);
            EXPECT_EQ(After.Max, Consistent.Max);
        }
        Array.Empty();
        EXPECT_EQ(Array.Num(), 0);
        EXPECT_EQ(Array.Max(), 0);
        EXPECT_EQ(Array.GetData(), nullptr);
    }

    TEST_F(ArrayTest, AddUniqueOfAPresentValueChangesNothing)
    {
        Array8 Array = Filled(4);
        const Header Before = HeaderOf(Array);
        EXPECT_EQ(Array.AddUnique(102), 2);
        const Header After = HeaderOf(Array);
        EXPECT_EQ(After.Data, Before.Data);
        EXPECT_EQ(After.Num, 4);
        EXPECT_EQ(After.Max, 4);

        EXPECT_EQ(Array.AddUnique(200), 4);
        EXPECT_EQ(Array.Num(), 5);
        EXPECT_EQ(Array[4], 200U);
        EXPECT_TRUE(Log->Lines().empty());
    }

    TEST_F(ArrayTest, AddUniqueOfAnElementOfItsOwnStorageIsReported)
    {
        Array8 Array = Filled(2);
        Array.Empty();
        Array.Add(1);
        Array.Add(2);
        // Element 3 lies inside the storage but beyond Num, so it is absent and gets appended.
        uint64_t* Spare = Array.GetData() + 3;
        *Spare = 77;
        Array.AddUnique(*Spare);
        EXPECT_EQ(Array.Num(), 3);
        EXPECT_EQ(Array[2], 77U);
        ASSERT_EQ(Log->Lines().size(), 1U);
        const auto& Line = Log->Lines()[0].Text;
        EXPECT_NE(Line.find(STR("Attempting to use a container element (")), RC::StringType::npos);
        EXPECT_NE(Line.find(STR("ArrayMax: 4, ArrayNum: 2, TypeSize: 8)!")), RC::StringType::npos);
    }

    TEST_F(ArrayTest, EmptyReleasesTheStorage)
    {
        Array8 Array = Filled(5);
        Array.Empty();
        const Header After = HeaderOf(Array);
        EXPECT_EQ(After.Data, nullptr);
        EXPECT_EQ(After.Num, 0);
        EXPECT_EQ(After.Max, 0);
        Array.Add(3);
        EXPECT_EQ(Array.Max(), 4);
    }

    TEST(MemoryTest, QuantizeSizeRoundsToSixteenThenToPages)
    {
        struct Case
        {
            size_t Size;
            size_t Expected;
        };
        const Case Cases[] = {
            {0, 0},         {1, 16},        {16, 16},       {17, 32},          {176, 176},
            {32767, 32768}, {32768, 32768}, {32769, 36864}, {40960, 40960},    {40961, 45056},
        };
        for (const auto& Each : Cases)
        {
            EXPECT_EQ(FMemory::QuantizeSize(Each.Size), Each.Expected) << Each.Size;
            EXPECT_EQ(FMemory::QuantizeSize(Each.Size, 16), Each.Expected) << Each.Size;
        }
    }

    // Growth moves and shrinking stays, whatever the C library's realloc would do, so that
    // scenarios saying whether storage moved hold on every machine.
    TEST(MemoryTest, ReallocKeepsContentsAndZeroFrees)
    {
        auto* Bytes = static_cast<uint8_t*>(FMemory::Malloc(4));
        std::memcpy(Bytes, "abcd", 4);
        for (const size_t Size : {size_t{5}, size_t{4096}})
        {
            const auto Before = reinterpret_cast<uintptr_t>(Bytes);
            Bytes = static_cast<uint8_t*>(FMemory::Realloc(Bytes, Size));
            EXPECT_NE(reinterpret_cast<uintptr_t>(Bytes), Before) << Size;
            EXPECT_EQ(std::memcmp(Bytes, "abcd", 4), 0);
        }
        const auto Grown = reinterpret_cast<uintptr_t>(Bytes);
        Bytes = static_cast<uint8_t*>(FMemory::Realloc(Bytes, 2));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(Bytes), Grown);
        EXPECT_EQ(std::memcmp(Bytes, "ab", 2), 0);
        EXPECT_EQ(FMemory::Realloc(Bytes, 0), nullptr);
    }
} // namespace
