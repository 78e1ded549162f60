// The proxy class's table hooks patching data-table rows in engine memory, called as Blueprints
// call them after a proxy has registered. Rows are read back through raw offsets, not through
// the mod's own row view.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>

#include "support/mod_fixture.hpp"

namespace
{
    using namespace BrambleonTest;
    using BlueprintHalf::SelectionSet;
    using RC::Sim::Kind;
    using RC::Sim::Prop;
    using RC::Unreal::FName;
    using RC::Unreal::TArray;
    using RC::Unreal::UDataTable;
    using RC::Unreal::UObject;

    using ItemBytes = std::array<uint8_t, BlueprintHalf::ItemSize>;

    constexpr auto AddFunction = STR("BRMB_CPP_AddObjectSelectionSetID");
    constexpr auto TestDTFunction = STR("BRMB_CPP_TestDT");
    constexpr auto AddTrigger = "BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID Hook Triggered!";
    constexpr auto AddDone = "BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Entry Add Attempted!";
    constexpr auto OutOfBounds = "Array index out of bounds: 0 from an array of size 0";
    constexpr auto Invariants = "Array failed invariants check, ArrayNum exceeds ArrayMax.";

    // The engine array header as laid out in memory.
    struct Header
    {
        uint8_t* Data;
        int32_t Num;
        int32_t Max;
    };

    auto HeaderAt(const uint8_t* Memory) -> Header
    {
        Header Read{};
        std::memcpy(&Read, Memory, sizeof(Read));
        return Read;
    }

    auto ItemAt(const uint8_t* Row, int32_t Index) -> const uint8_t*
    {
        return HeaderAt(Row + BlueprintHalf::RowSelectionSetOffset).Data +
               static_cast<size_t>(Index) * BlueprintHalf::ItemSize;
    }

    auto EntriesOf(const uint8_t* Row, int32_t Set) -> std::vector<uint64_t>
    {
        const Header Entries = HeaderAt(ItemAt(Row, Set) + BlueprintHalf::ItemEntriesOffset);
        std::vector<uint64_t> Values(static_cast<size_t>(Entries.Num));
        if (!Values.empty())
        {
            std::memcpy(Values.data(), Entries.Data, Values.size() * sizeof(uint64_t));
        }
        return Values;
    }

    // The row's bytes, its items and its entries' storage; the headers must be consistent.
    auto Snapshot(const uint8_t* Row) -> std::vector<uint8_t>
    {
        std::vector<uint8_t> Bytes(Row, Row + BlueprintHalf::RowSize);
        const Header Sets = HeaderAt(Row + BlueprintHalf::RowSelectionSetOffset);
        for (int32_t Set = 0; Set < Sets.Num; ++Set)
        {
            const uint8_t* const Item = ItemAt(Row, Set);
            Bytes.insert(Bytes.end(), Item, Item + BlueprintHalf::ItemSize);
            const Header Entries = HeaderAt(Item + BlueprintHalf::ItemEntriesOffset);
            if (Entries.Data != nullptr)
            {
                Bytes.insert(Bytes.end(), Entries.Data, Entries.Data + static_cast<size_t>(Entries.Max) * 8);
            }
        }
        return Bytes;
    }

    // "<Stem>A", "<Stem>B", ...: a fresh name for each case of a table.
    auto Numbered(RC::StringViewType Stem, int Number) -> RC::StringType
    {
        return RC::StringType(Stem) + static_cast<RC::CharType>('A' + Number);
    }

    auto TestDTLines(const std::string& ID, int32_t Count, const std::string& Group) -> std::vector<std::string>
    {
        const std::string Prefix = "BRMB : Proxy::BRMB_CPP_TestDT : ";
        return {"BRMB : Proxy::BRMB_CPP_TestDT Hook Triggered!",
                Prefix + "Get TableRow",
                Prefix + "Reinterpret Cast Data Table",
                Prefix + "Get and check ID",
                Prefix + ID,
                Prefix + "Check SelectionSetCount",
                Prefix + "SelectionSetCount = " + std::to_string(Count),
                Prefix + "Check SelectionSet StateGroupID",
                Prefix + "StateGroupID = " + Group,
                Prefix + "Attempt AddEntry",
                Prefix + "Entry Add Attempted!"};
    }

    class RowPatchingTest : public ModTest
    {
    protected:
        void SetUp() override
        {
            ModTest::SetUp();
            StartAndDiscover();
            Proxy = Sim().SpawnObject(Half->ProxyClass);
            const auto Block = Params(Library::Proxy, STR("BRMB_CPP_RegisterProxy"));
            Block->SetObject(BlueprintHalf::Param::Proxy, Proxy);
            CallLibrary(Library::Proxy, *Block);
            Table = BlueprintHalf::CreateSelectionTable(Sim(), *Half, STR("/Game/Data/DT_Selection.DT_Selection"));
            ClearLog();
        }

        auto AddRow(const RC::CharType* Name, const std::vector<SelectionSet>& Sets) -> uint8_t*
        {
            return BlueprintHalf::AddSelectionRow(Sim(), Table, FName(Name), FName(STR("Row_ID")), Sets);
        }

        // Calls one of the proxy class's table functions; Ignored fills TestDT's bytes 16 to 23.
        auto CallTable(const RC::CharType* Function, UDataTable* Target, FName RowName, uint64_t Entry,
                       uint64_t Ignored = 0) -> void
        {
            RC::Sim::ParamBlock Block(BlueprintHalf::Half::Function(Half->ProxyClass, Function));
            Block.SetObject(BlueprintHalf::Param::DataTable, Target);
            Block.SetName(BlueprintHalf::Param::RowName, RowName);
            Block.SetInt64(BlueprintHalf::Param::EntryID, Entry);
            if (RC::StringViewType(Function) == TestDTFunction)
            {
                Block.SetInt64(BlueprintHalf::Param::Ignored, Ignored);
            }
            Call(Proxy, Block);
        }
        auto Add(const RC::CharType* Row, uint64_t Entry) -> void { CallTable(AddFunction, Table, FName(Row), Entry); }
        auto TestDT(const RC::CharType* Row, uint64_t Entry, uint64_t Ignored = 0) -> void
        {
            CallTable(TestDTFunction, Table, FName(Row), Entry, Ignored);
        }

        UObject* Proxy = nullptr;
        UDataTable* Table = nullptr;
    };

    TEST_F(RowPatchingTest, AddUniqueTwiceAddsOnceWithTheSameLines)
    {
        uint8_t* const Row = AddRow(STR("Row"), {{FName(STR("Group")), {7}}});
        Add(STR("Row"), 42);
        const auto First = Lines();
        ClearLog();
        Add(STR("Row"), 42);
        EXPECT_EQ(EntriesOf(Row, 0), (std::vector<uint64_t>{7, 42}));
        EXPECT_EQ(First, (std::vector<Line>{Normal(AddTrigger), Normal(AddDone)}));
        EXPECT_EQ(Lines(), First);
    }

    TEST_F(RowPatchingTest, TestDTTwiceAppendsTwiceAndLogsEveryStep)
    {
        uint8_t* const Row = AddRow(STR("Row"), {{FName(STR("Group")), {42}}, {FName(STR("Other")), {}}});
        TestDT(STR("Row"), 42);
        EXPECT_EQ(Texts(), TestDTLines("Row_ID", 2, "Group"));
        TestDT(STR("Row"), 42);
        EXPECT_EQ(EntriesOf(Row, 0), (std::vector<uint64_t>{42, 42, 42}));
        for (const Line& Each : Lines())
        {
            EXPECT_EQ(Each.Level, 1);
            EXPECT_TRUE(Each.Newline);
        }
    }

    // Growth by the host's rule: no allocation gets 4, a full 4 gets 22 rounded by the host's
    // allocator, spare room is used in place. Both hooks append through the same array code.
    TEST_F(RowPatchingTest, EntriesGrowByTheHostsRule)
    {
        struct Case
        {
            const char* Name;
            int Existing;
            int32_t ExpectMax;
            bool Moves;
        };
        const auto RoundedFull = static_cast<int32_t>(RC::Unreal::FMemory::QuantizeSize(22 * 8) / 8);
        ASSERT_GE(RoundedFull, 22);
        const Case Cases[] = {
            {"no allocation", 0, 4, true},
            {"full 4", 4, RoundedFull, true},
            {"spare room", 2, 4, false},
        };
        int RowNumber = 0;
        for (const Case& Each : Cases)
        {
            for (const auto* Function : {AddFunction, TestDTFunction})
            {
                SCOPED_TRACE(std::string(Each.Name) + (Function == AddFunction ? " / add" : " / TestDT"));
                const RC::StringType RowName = Numbered(STR("Row"), RowNumber++);
                std::vector<uint64_t> Entries;
                for (int Index = 0; Index < Each.Existing; ++Index)
                {
                    Entries.push_back(100 + static_cast<uint64_t>(Index));
                }
                uint8_t* const Row = AddRow(RowName.c_str(), {{FName(STR("Group")), Entries}});
                const Header Before = HeaderAt(ItemAt(Row, 0) + BlueprintHalf::ItemEntriesOffset);

                CallTable(Function, Table, FName(RowName.c_str()), 9);

                const Header After = HeaderAt(ItemAt(Row, 0) + BlueprintHalf::ItemEntriesOffset);
                Entries.push_back(9);
                EXPECT_EQ(EntriesOf(Row, 0), Entries);
                EXPECT_EQ(After.Max, Each.ExpectMax);
                if (!Each.Moves)
                {
                    EXPECT_EQ(After.Data, Before.Data);
                }
            }
        }
    }

    TEST_F(RowPatchingTest, OnlyTheFirstSelectionSetChanges)
    {
        uint8_t* const Row = AddRow(STR("Row"), {{FName(STR("First")), {1}},
                                                 {FName(STR("Second")), {2}},
                                                 {FName(STR("Third")), {}}});
        const std::vector<uint8_t> LaterItems(ItemAt(Row, 1), ItemAt(Row, 3));
        Add(STR("Row"), 5);
        TestDT(STR("Row"), 6);
        EXPECT_EQ(EntriesOf(Row, 0), (std::vector<uint64_t>{1, 5, 6}));
        EXPECT_EQ(std::vector<uint8_t>(ItemAt(Row, 1), ItemAt(Row, 3)), LaterItems);
        EXPECT_EQ(EntriesOf(Row, 1), std::vector<uint64_t>{2});
        EXPECT_TRUE(EntriesOf(Row, 2).empty());
    }

    TEST_F(RowPatchingTest, EmptySelectionSetStopsAtTheBoundaryBeforeAnyChange)
    {
        uint8_t* const Row = AddRow(STR("Row"), {});
        const auto Before = Snapshot(Row);

        TestDT(STR("Row"), 3);
        auto Expected = TestDTLines("Row_ID", 0, "");
        Expected.resize(8);
        Expected.push_back(std::string("BRMB : BRMB_CPP_TestDT failed : ") + OutOfBounds);
        EXPECT_EQ(Texts(), Expected);

        ClearLog();
        Add(STR("Row"), 3);
        const std::string AddFailed = std::string("BRMB : BRMB_CPP_AddObjectSelectionSetID failed : ") + OutOfBounds;
        EXPECT_EQ(Texts(), (std::vector<std::string>{AddTrigger, AddFailed}));
        EXPECT_EQ(Snapshot(Row), Before);
        EXPECT_EQ(Sim().EscapedExceptions(), 0);
    }

    // Headers are corrupted raw, as a broken engine state would leave them; the count is put
    // back afterwards so that the engine can release the row.
    TEST_F(RowPatchingTest, CorruptHeadersStopAtTheBoundaryBeforeAnyChange)
    {
        struct Case
        {
            const char* Name;
            size_t (*HeaderOffset)(const uint8_t* Row);
        };
        const Case Cases[] = {
            {"SelectionSet", [](const uint8_t*) -> size_t { return BlueprintHalf::RowSelectionSetOffset; }},
            {"Entries",
             [](const uint8_t* Row) -> size_t {
                 return static_cast<size_t>(ItemAt(Row, 0) - Row) + BlueprintHalf::ItemEntriesOffset;
             }},
        };
        int RowNumber = 0;
        for (const Case& Each : Cases)
        {
            SCOPED_TRACE(Each.Name);
            const RC::StringType RowName = Numbered(STR("Row"), RowNumber++);
            uint8_t* const Row = AddRow(RowName.c_str(), {{FName(STR("Group")), {1, 2}}});
            uint8_t* const CountField = Row + Each.HeaderOffset(Row) + offsetof(Header, Num);
            const auto Before = Snapshot(Row);
            int32_t Count = 0;
            std::memcpy(&Count, CountField, sizeof(Count));
            const int32_t Corrupt = HeaderAt(Row + Each.HeaderOffset(Row)).Max + 1;
            std::memcpy(CountField, &Corrupt, sizeof(Corrupt));
            ClearLog();

            CallTable(AddFunction, Table, FName(RowName.c_str()), 3);
            CallTable(TestDTFunction, Table, FName(RowName.c_str()), 3);

            int32_t CountAfter = 0;
            std::memcpy(&CountAfter, CountField, sizeof(CountAfter));
            std::memcpy(CountField, &Count, sizeof(Count));
            EXPECT_EQ(CountAfter, Corrupt);
            EXPECT_EQ(Snapshot(Row), Before);
            const auto Logged = Texts();
            ASSERT_GE(Logged.size(), 3U);
            EXPECT_EQ(Logged[0], AddTrigger);
            EXPECT_EQ(Logged[1], std::string("BRMB : BRMB_CPP_AddObjectSelectionSetID failed : ") + Invariants);
            EXPECT_EQ(Logged.back(), std::string("BRMB : BRMB_CPP_TestDT failed : ") + Invariants);
            EXPECT_EQ(std::ranges::count(Logged, "BRMB : Proxy::BRMB_CPP_TestDT : Entry Add Attempted!"), 0);
        }
    }

    // A null table stops before the row name is used; an unknown row after the lookup.
    TEST_F(RowPatchingTest, NullTableOrUnknownRowChangesNothing)
    {
        struct Case
        {
            const char* Name;
            bool NullTable;
            const RC::CharType* RowName;
            std::vector<std::string> Expected;
        };
        const Case Cases[] = {
            {"null table",
             true,
             STR("Row"),
             {AddTrigger, "BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID : Passed DataTable from BPs is nullptr",
              "BRMB : Proxy::BRMB_CPP_TestDT Hook Triggered!",
              "BRMB : Proxy::BRMB_CPP_TestDT : Passed DataTable from BPs is Nullptr!"}},
            {"unknown row",
             false,
             STR("Missing"),
             {AddTrigger, "BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Table Row Not Found?",
              "BRMB : Proxy::BRMB_CPP_TestDT Hook Triggered!", "BRMB : Proxy::BRMB_CPP_TestDT : Get TableRow",
              "BRMB : Proxy::BRMB_CPP_TestDT : Table Row Not Found?"}},
        };
        uint8_t* const Row = AddRow(STR("Row"), {{FName(STR("Group")), {1}}});
        const auto Before = Snapshot(Row);
        for (const Case& Each : Cases)
        {
            SCOPED_TRACE(Each.Name);
            ClearLog();
            UDataTable* const Target = Each.NullTable ? nullptr : Table;
            CallTable(AddFunction, Target, FName(Each.RowName), 2);
            CallTable(TestDTFunction, Target, FName(Each.RowName), 2);
            EXPECT_EQ(Texts(), Each.Expected);
            EXPECT_EQ(Snapshot(Row), Before);
        }
    }

    TEST_F(RowPatchingTest, TestDTIgnoresBytes16To23)
    {
        const uint64_t Fillers[] = {0, 4, 0xFFFFFFFFFFFFFFFFULL, 0x0123456789ABCDEFULL};
        int RowNumber = 0;
        for (const uint64_t Filler : Fillers)
        {
            SCOPED_TRACE(Filler);
            const RC::StringType RowName = Numbered(STR("Row"), RowNumber++);
            uint8_t* const Row = AddRow(RowName.c_str(), {{FName(STR("Group")), {1}}});
            ClearLog();
            TestDT(RowName.c_str(), 4, Filler);
            EXPECT_EQ(EntriesOf(Row, 0), (std::vector<uint64_t>{1, 4}));
            EXPECT_EQ(Texts(), TestDTLines("Row_ID", 1, "Group"));
        }
    }

    TEST_F(RowPatchingTest, HooksKeepWorkingAfterTheProxyWithdraws)
    {
        uint8_t* const Row = AddRow(STR("Row"), {{FName(STR("Group")), {}}});
        const auto Block = Params(Library::Proxy, STR("BRMB_CPP_DestroyedProxy"));
        Block->SetObject(BlueprintHalf::Param::Proxy, Proxy);
        CallLibrary(Library::Proxy, *Block);
        Add(STR("Row"), 8);
        EXPECT_EQ(EntriesOf(Row, 0), std::vector<uint64_t>{8});
    }

    // Tables whose row structure differs from the selection row in one point each. Their rows
    // hold the selection row's layout in memory all the same, so that a hook without the check
    // would write into them.
    class RowLayoutTest : public RowPatchingTest
    {
    protected:
        auto Struct(const RC::CharType* Path, std::vector<RC::Sim::PropDecl> Members, int32_t Size)
            -> RC::Unreal::UScriptStruct*
        {
            return Sim().CreateStruct(Path, std::move(Members), Size);
        }

        auto ItemWith(const RC::CharType* Path, RC::Sim::PropDecl Entries) -> RC::Unreal::UScriptStruct*
        {
            return Struct(Path, {Prop(STR("StateGroupID"), Kind::Name, 0), std::move(Entries)}, 48);
        }

        auto RowWith(const RC::CharType* Path, RC::Sim::PropDecl ID, RC::Sim::PropDecl Sets)
            -> RC::Unreal::UScriptStruct*
        {
            return Struct(Path, {std::move(ID), std::move(Sets)}, 96);
        }

        auto SelectionRowInMemory(uint8_t* Row) -> void
        {
            auto& Items = *reinterpret_cast<TArray<ItemBytes>*>(Row + BlueprintHalf::RowSelectionSetOffset);
            Items.Add(ItemBytes{});
        }

        auto ReleaseSelectionRow(uint8_t* Row) -> void
        {
            auto& Items = *reinterpret_cast<TArray<ItemBytes>*>(Row + BlueprintHalf::RowSelectionSetOffset);
            reinterpret_cast<TArray<uint64_t>*>(Items.GetData()->data() + BlueprintHalf::ItemEntriesOffset)->Empty();
            Items.Empty();
        }
    };

    TEST_F(RowLayoutTest, TablesOfAnotherRowStructureAreRefused)
    {
        using RC::Sim::ArrayProp;
        using RC::Sim::StructProp;
        const auto Entries = [](int32_t Offset, Kind Element) {
            return ArrayProp(STR("Entries"), Prop(STR("Entry"), Element, 0), Offset);
        };
        auto* const GoodItem = ItemWith(STR("/Game/Test/GoodItem.GoodItem"), Entries(16, Kind::Int64));
        auto* const NarrowItem = ItemWith(STR("/Game/Test/NarrowItem.NarrowItem"), Entries(16, Kind::Int32));
        auto* const ShiftedItem = ItemWith(STR("/Game/Test/ShiftedItem.ShiftedItem"), Entries(24, Kind::Int64));
        auto* const UnnamedItem = Struct(STR("/Game/Test/UnnamedItem.UnnamedItem"),
                                         {Prop(STR("StateGroupID"), Kind::Int64, 0), Entries(16, Kind::Int64)}, 48);
        const auto Sets = [](RC::Unreal::UScriptStruct* Item, int32_t Offset) {
            return ArrayProp(STR("SelectionSet"), StructProp(STR("Item"), Item, 0), Offset);
        };
        const auto ID = Prop(STR("ID"), Kind::Name, 8);

        struct Case
        {
            const char* Name;
            RC::Unreal::UScriptStruct* RowStruct;
        };
        const Case Cases[] = {
            {"ID is not a name", RowWith(STR("/Game/Test/R1.R1"), Prop(STR("ID"), Kind::Int64, 8), Sets(GoodItem, 32))},
            {"no ID at 8", RowWith(STR("/Game/Test/R2.R2"), Prop(STR("ID"), Kind::Name, 0), Sets(GoodItem, 32))},
            {"selection sets elsewhere", RowWith(STR("/Game/Test/R3.R3"), ID, Sets(GoodItem, 48))},
            {"selection sets of plain values",
             RowWith(STR("/Game/Test/R4.R4"), ID, ArrayProp(STR("SelectionSet"), Prop(STR("V"), Kind::Int64, 0), 32))},
            {"selection set not an array",
             RowWith(STR("/Game/Test/R5.R5"), ID, StructProp(STR("SelectionSet"), GoodItem, 32))},
            {"entries of 4 bytes", RowWith(STR("/Game/Test/R6.R6"), ID, Sets(NarrowItem, 32))},
            {"entries elsewhere", RowWith(STR("/Game/Test/R7.R7"), ID, Sets(ShiftedItem, 32))},
            {"state group not a name", RowWith(STR("/Game/Test/R8.R8"), ID, Sets(UnnamedItem, 32))},
        };
        int TableNumber = 0;
        for (const Case& Each : Cases)
        {
            SCOPED_TRACE(Each.Name);
            const RC::StringType Name = Numbered(STR("DT"), TableNumber++);
            const RC::StringType Path = STR("/Game/Test/") + Name + STR(".") + Name;
            UDataTable* const Other = Sim().CreateDataTable(Path, Each.RowStruct);
            uint8_t* const Row = Sim().AddRow(Other, FName(STR("Row")));
            SelectionRowInMemory(Row);
            const auto Before = Snapshot(Row);
            ClearLog();

            CallTable(AddFunction, Other, FName(STR("Row")), 5);
            CallTable(TestDTFunction, Other, FName(STR("Row")), 5);

            EXPECT_EQ(Texts(), (std::vector<std::string>{
                                   AddTrigger, "BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Row layout mismatch",
                                   "BRMB : Proxy::BRMB_CPP_TestDT Hook Triggered!",
                                   "BRMB:Proxy:BRMB_CPP_TestDT:Row layout mismatch"}));
            EXPECT_EQ(Snapshot(Row), Before);
            ReleaseSelectionRow(Row);
        }
    }

    // Offsets count from the start of the whole row, so members inherited from a parent structure
    // are checked (and accepted or refused) like the structure's own.
    TEST_F(RowLayoutTest, RowStructuresWithParentsAreCheckedThroughTheirInheritedMembers)
    {
        using RC::Sim::ArrayProp;
        using RC::Sim::StructProp;
        auto* const ItemBase = Struct(STR("/Game/Test/ItemBase.ItemBase"), {Prop(STR("StateGroupID"), Kind::Name, 0)}, 16);
        auto* const Item = Sim().CreateStruct(STR("/Game/Test/ChildItem.ChildItem"),
                                              {ArrayProp(STR("Entries"), Prop(STR("Entry"), Kind::Int64, 0), 16)}, 48,
                                              ItemBase);
        const auto Sets = ArrayProp(STR("SelectionSet"), StructProp(STR("Item"), Item, 0), 32);
        struct Case
        {
            const char* Name;
            RC::Sim::PropDecl ParentID;
            bool Accepted;
        };
        const Case Cases[] = {
            {"the parent holds the name at 8", Prop(STR("ID"), Kind::Name, 8), true},
            {"the parent holds a number at 8", Prop(STR("ID"), Kind::Int64, 8), false},
        };
        int Number = 0;
        for (const Case& Each : Cases)
        {
            SCOPED_TRACE(Each.Name);
            const RC::StringType Name = Numbered(STR("Inherited"), Number++);
            auto* const Parent = Sim().CreateStruct(STR("/Game/Test/") + Name + STR("Base.") + Name + STR("Base"),
                                                    {Each.ParentID}, 32);
            auto* const RowStruct =
                Sim().CreateStruct(STR("/Game/Test/") + Name + STR(".") + Name, {Sets}, 96, Parent);
            UDataTable* const Inherited =
                Sim().CreateDataTable(STR("/Game/Test/DT_") + Name + STR(".DT_") + Name, RowStruct);
            uint8_t* const Row = Sim().AddRow(Inherited, FName(STR("Row")));
            SelectionRowInMemory(Row);
            ClearLog();

            CallTable(AddFunction, Inherited, FName(STR("Row")), 5);

            if (Each.Accepted)
            {
                EXPECT_EQ(Texts(), (std::vector<std::string>{AddTrigger, AddDone}));
                EXPECT_EQ(EntriesOf(Row, 0), std::vector<uint64_t>{5});
            }
            else
            {
                EXPECT_EQ(Texts(), (std::vector<std::string>{
                                       AddTrigger, "BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Row layout mismatch"}));
                EXPECT_TRUE(EntriesOf(Row, 0).empty());
            }
            ReleaseSelectionRow(Row);
        }
    }

    // The same memory under the selection row's own structure is accepted, so the refusals above
    // come from the structure alone.
    TEST_F(RowLayoutTest, TheSelectionRowStructureIsAccepted)
    {
        uint8_t* const Row = Sim().AddRow(Table, FName(STR("Raw")));
        SelectionRowInMemory(Row);
        Add(STR("Raw"), 5);
        EXPECT_EQ(Texts(), (std::vector<std::string>{AddTrigger, AddDone}));
        EXPECT_EQ(EntriesOf(Row, 0), std::vector<uint64_t>{5});
    }
} // namespace
