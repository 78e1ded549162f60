// Objects of the simulated engine as the mod finds them: by path while loaded, by class name
// among live objects, their functions and variables, constructed objects, data-table rows and
// typed parameter blocks.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <Sim/Engine.hpp>
#include <Unreal/FProperty.hpp>
#include <Unreal/UObjectArray.hpp>
#include <Unreal/UObjectGlobals.hpp>

namespace
{
    using namespace RC::Sim;
    using RC::StringType;
    namespace Globals = RC::Unreal::UObjectGlobals;

    constexpr auto LibraryPath = STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C");

    class ObjectTest : public testing::Test
    {
    protected:
        void SetUp() override { Sim = &Engine::Reset(); }
        Engine* Sim = nullptr;
    };

    TEST_F(ObjectTest, ClassesAndFunctionsLiveUnderTheirPackage)
    {
        UClass* Library = Sim->CreateClass(LibraryPath);
        UFunction* Function = Sim->AddFunction(Library, STR("VEXA_CPP_SaveFile"), {});
        EXPECT_EQ(Library->GetPathName(), LibraryPath);
        EXPECT_EQ(Library->GetName(), STR("VEXA_FunctionLibrary_C"));
        EXPECT_EQ(Library->GetOuterPrivate()->GetPathName(), STR("/Game/Mods/VEXA/VEXA_FunctionLibrary"));
        EXPECT_EQ(Function->GetPathName(), StringType(LibraryPath) + STR(":VEXA_CPP_SaveFile"));
        EXPECT_EQ(Function->GetOuterPrivate(), Library);
        EXPECT_EQ(Library->GetFullName(), StringType(STR("Class ")) + LibraryPath);
        EXPECT_THROW(Sim->CreateClass(LibraryPath), std::invalid_argument);
        EXPECT_THROW(Sim->CreateClass(STR("NoPackage")), std::invalid_argument);
    }

    TEST_F(ObjectTest, FindObjectSeesOnlyLoadedObjectsByExactPath)
    {
        UClass* Library = Sim->CreateClass(LibraryPath);
        UFunction* Function = Sim->AddFunction(Library, STR("VEXA_CPP_SaveFile"), {});
        const StringType FunctionPath = StringType(LibraryPath) + STR(":VEXA_CPP_SaveFile");

        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), Library);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, FunctionPath.c_str()), Function);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.vexa_functionlibrary_c")),
                  nullptr);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary")),
                  nullptr);

        Sim->SetLoaded(Library, false);
        EXPECT_FALSE(Sim->IsLoaded(Library));
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), nullptr);
        EXPECT_EQ(Sim->FindByPath(LibraryPath), Library);
        Sim->SetLoaded(Library, true);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, RC::StringViewType(LibraryPath)), Library);
        EXPECT_EQ(Sim->FindObjectCalls(), 6);
    }

    TEST_F(ObjectTest, FunctionsAreFoundInTheOwnClassOrThroughTheChain)
    {
        UClass* Base = Sim->CreateClass(STR("/Game/Actors/Base.Base_C"));
        UClass* Derived = Sim->CreateClass(STR("/Game/Actors/Derived.Derived_C"), {}, Base);
        UFunction* Inherited = Sim->AddFunction(Base, STR("VEXA_CPP_FindFirstOf"), {});
        UFunction* Own = Sim->AddFunction(Derived, STR("VEXA_CPP_NewObject"), {});
        UObject* Actor = Sim->SpawnObject(Derived);
        EXPECT_EQ(Actor->GetFunctionByName(STR("VEXA_CPP_FindFirstOf")), nullptr);
        EXPECT_EQ(Actor->GetFunctionByNameInChain(STR("VEXA_CPP_FindFirstOf")), Inherited);
        EXPECT_EQ(Actor->GetFunctionByName(STR("VEXA_CPP_NewObject")), Own);
        EXPECT_EQ(Actor->GetFunctionByNameInChain(STR("VEXA_CPP_NewObject")), Own);
        EXPECT_EQ(Actor->GetFunctionByNameInChain(STR("VEXA_CPP_FindAllOf")), nullptr);
        EXPECT_EQ(Sim->SpawnObject(Base)->GetFunctionByName(STR("VEXA_CPP_NewObject")), nullptr);
        EXPECT_TRUE(Actor->IsA(Base));
        EXPECT_FALSE(Sim->SpawnObject(Base)->IsA(Derived));
    }

    TEST_F(ObjectTest, VariablesAreZeroedAlignedAndAtTheirOffsets)
    {
        UClass* Base = Sim->CreateClass(STR("/Game/Actors/Base.Base_C"), {Prop(STR("Flag"), Kind::Bool)});
        UClass* Actor = Sim->CreateClass(
            STR("/Game/Actors/World.World_C"),
            {Prop(STR("ObjectRef"), Kind::Object), ArrayProp(STR("ObjectRefs"), Prop(STR("Item"), Kind::Object)),
             Prop(STR("Count"), Kind::Int32)},
            Base);
        UObject* Instance = Sim->SpawnObject(Actor);
        EXPECT_EQ(Instance->GetValuePtrByPropertyName<uint8_t>(STR("Flag")), nullptr);
        auto* Flag = Instance->GetValuePtrByPropertyNameInChain<uint8_t>(STR("Flag"));
        auto* Ref = Instance->GetValuePtrByPropertyName<UObject*>(STR("ObjectRef"));
        auto* Refs = Instance->GetValuePtrByPropertyName<RC::Unreal::TArray<UObject*>>(STR("ObjectRefs"));
        auto* Count = Instance->GetValuePtrByPropertyName<int32_t>(STR("Count"));
        ASSERT_NE(Flag, nullptr);
        ASSERT_NE(Ref, nullptr);
        ASSERT_NE(Refs, nullptr);
        ASSERT_NE(Count, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(Flag) % 16, 0U);
        // The base's variable comes first; own variables follow at their aligned offsets.
        EXPECT_EQ(reinterpret_cast<uint8_t*>(Ref) - Flag, 8);
        EXPECT_EQ(reinterpret_cast<uint8_t*>(Refs) - Flag, 16);
        EXPECT_EQ(reinterpret_cast<uint8_t*>(Count) - Flag, 32);
        EXPECT_EQ(Actor->GetPropertiesSize(), 40);
        EXPECT_EQ(*Ref, nullptr);
        EXPECT_EQ(Refs->Num(), 0);
        EXPECT_EQ(*Count, 0);
        EXPECT_EQ(Instance->GetValuePtrByPropertyNameInChain<void>(STR("Missing")), nullptr);
        EXPECT_EQ(Instance->GetValuePtrByPropertyNameInChain<UObject*>(STR("ObjectRef")), Ref);
        EXPECT_EQ(Instance->GetPropertyByNameInChain(STR("Flag")), Base->FindProperty(RC::Unreal::FName(STR("Flag"))));
        auto* RefsType = RC::Unreal::CastField<RC::Unreal::FArrayProperty>(Instance->GetPropertyByNameInChain(STR("ObjectRefs")));
        ASSERT_NE(RefsType, nullptr);
        EXPECT_NE(RC::Unreal::CastField<RC::Unreal::FObjectProperty>(RefsType->GetInner()), nullptr);
        EXPECT_EQ(Instance->GetPropertyByNameInChain(STR("Missing")), nullptr);

        // Engine arrays in variables belong to the object and go with it.
        Refs->Add(Instance);
        EXPECT_EQ((*Refs)[0], Instance);
    }

    TEST_F(ObjectTest, SearchesMatchTheClassOrASuperClassAmongLoadedObjectsInCreationOrder)
    {
        UClass* Target = Sim->CreateClass(STR("/Game/Things/Thing.Thing_C"));
        UClass* Sub = Sim->CreateClass(STR("/Game/Things/SubThing.SubThing_C"), {}, Target);
        UObject* First = Sim->SpawnObject(Target);
        UObject* Child = Sim->SpawnObject(Sub);
        UObject* Hidden = Sim->SpawnObject(Target);
        UObject* Third = Sim->SpawnObject(Target);
        Sim->SetLoaded(Hidden, false);
        // Every class has its class-default object, which the searches never return.
        ASSERT_NE(Sim->ClassDefaultObject(Target), nullptr);
        EXPECT_EQ(Sim->ClassDefaultObject(Sub)->GetName(), STR("Default__SubThing_C"));

        EXPECT_EQ(Globals::FindFirstOf(std::string("Thing_C")), First);
        EXPECT_EQ(Sim->LastFindFirstOfName(), "Thing_C");
        EXPECT_EQ(Globals::FindFirstOf(std::string_view("Missing_C")), nullptr);
        EXPECT_EQ(Sim->LastFindFirstOfName(), "Missing_C");
        EXPECT_EQ(Globals::FindFirstOf(STR("Thing_C")), First);
        EXPECT_EQ(Globals::FindFirstOf(RC::Unreal::FName(STR("Thing_C"))), First);
        EXPECT_EQ(Globals::FindFirstOf(std::string("SubThing_C")), Child);
        EXPECT_EQ(Globals::FindFirstOf(std::string("")), nullptr);

        const std::vector<UObject*> Expected{First, Child, Third};
        const auto All = [](auto Name) {
            std::vector<UObject*> Found;
            Globals::FindAllOf(Name, Found);
            return Found;
        };
        EXPECT_EQ(All(std::string("Thing_C")), Expected);
        EXPECT_EQ(All(std::string_view("Thing_C")), Expected);
        EXPECT_EQ(All(StringType(STR("Thing_C"))), Expected);
        EXPECT_EQ(All(RC::StringViewType(STR("Thing_C"))), Expected);
        EXPECT_EQ(All(STR("Thing_C")), Expected);
        EXPECT_EQ(All(std::string("SubThing_C")), std::vector<UObject*>{Child});
        EXPECT_TRUE(All(std::string("Nothing_C")).empty());
    }

    TEST_F(ObjectTest, ConstructedObjectsGetUniqueNamesUnderTheirOuter)
    {
        UClass* Class = Sim->CreateClass(STR("/Game/Things/Thing.Thing_C"));
        UObject* Outer = Sim->SpawnObject(Class, nullptr, STR("Owner"));
        EXPECT_EQ(Outer->GetPathName(), STR("/Engine/Transient.Owner"));

        const RC::Unreal::FStaticConstructObjectParameters Params(Class, Outer);
        UObject* First = Globals::StaticConstructObject(Params);
        UObject* Second = Globals::StaticConstructObject(Params);
        ASSERT_NE(First, nullptr);
        ASSERT_NE(Second, nullptr);
        EXPECT_EQ(First->GetName(), STR("Thing_C_0"));
        EXPECT_EQ(Second->GetName(), STR("Thing_C_1"));
        EXPECT_EQ(First->GetOuterPrivate(), Outer);
        EXPECT_EQ(First->GetClassPrivate(), Class);
        EXPECT_EQ(First->GetPathName(), STR("/Engine/Transient.Owner:Thing_C_0"));

        RC::Unreal::FStaticConstructObjectParameters Named(Class, nullptr);
        Named.Name = RC::Unreal::FName(STR("Chosen"));
        UObject* Third = Globals::StaticConstructObject(Named);
        EXPECT_EQ(Third->GetPathName(), STR("/Engine/Transient.Chosen"));

        EXPECT_EQ(Globals::StaticConstructObject(RC::Unreal::FStaticConstructObjectParameters(nullptr, nullptr)), nullptr);
        EXPECT_EQ(Sim->ConstructedObjects(), (std::vector<UObject*>{First, Second, Third}));
        EXPECT_EQ(Globals::FindFirstOf(std::string("Thing_C")), Outer);

        // Collection takes what was constructed and what it holds; spawned objects stay, and the
        // names are free again.
        Sim->SpawnObject(Class, First, STR("Held"));
        EXPECT_EQ(Sim->CollectConstructed(), 4U);
        EXPECT_TRUE(Sim->ConstructedObjects().empty());
        std::vector<UObject*> Left;
        Globals::FindAllOf(std::string("Thing_C"), Left);
        EXPECT_EQ(Left, std::vector<UObject*>{Outer});
        EXPECT_EQ(Sim->FindByPath(STR("/Engine/Transient.Owner:Thing_C_0.Held")), nullptr);
        EXPECT_EQ(Globals::StaticConstructObject(Params)->GetPathName(), STR("/Engine/Transient.Owner:Thing_C_0"));
    }

    TEST_F(ObjectTest, DataTableRowsFollowTheirStructure)
    {
        UScriptStruct* Item = Sim->CreateStruct(
            STR("/Script/Game.SelectionSetItem"),
            {Prop(STR("StateGroupID"), Kind::Name, 0), ArrayProp(STR("Entries"), Prop(STR("Entry"), Kind::Int64), 16)});
        UScriptStruct* Row = Sim->CreateStruct(
            STR("/Script/Game.ObjectSelectionRow"),
            {Prop(STR("ID"), Kind::Name, 8), ArrayProp(STR("SelectionSet"), StructProp(STR("Set"), Item), 32)}, 56);
        EXPECT_EQ(Item->GetPropertiesSize(), 32);
        EXPECT_EQ(Row->GetPropertiesSize(), 56);
        auto* Set = RC::Unreal::CastField<RC::Unreal::FArrayProperty>(Row->FindProperty(RC::Unreal::FName(STR("SelectionSet"))));
        ASSERT_NE(Set, nullptr);
        EXPECT_EQ(Set->GetOffset_Internal(), 32);
        auto* Inner = RC::Unreal::CastField<RC::Unreal::FStructProperty>(Set->GetInner());
        ASSERT_NE(Inner, nullptr);
        EXPECT_EQ(Inner->GetStruct(), Item);
        EXPECT_EQ(Inner->GetElementSize(), 32);

        UDataTable* Table = Sim->CreateDataTable(STR("/Game/Data/DT_Selection.DT_Selection"), Row);
        const RC::Unreal::FName Alpha(STR("Alpha"));
        uint8_t* Memory = Sim->AddRow(Table, Alpha);
        ASSERT_NE(Memory, nullptr);
        EXPECT_EQ(Table->FindRowUnchecked(Alpha), Memory);
        EXPECT_EQ(Table->FindRowUnchecked(RC::Unreal::FName(STR("Beta"))), nullptr);
        EXPECT_EQ(Table->GetRowStruct(), Row);
        const auto Names = Table->GetRowNames();
        ASSERT_EQ(Names.Num(), 1);
        EXPECT_EQ(Names[0], Alpha);
        EXPECT_THROW(Sim->AddRow(Table, Alpha), std::invalid_argument);
        EXPECT_THROW(Sim->CreateStruct(STR("/Script/Game.TooSmall"), {Prop(STR("A"), Kind::Str)}, 8),
                     std::invalid_argument);

        // Rows are zeroed; arrays in them grow through the engine allocator.
        EXPECT_EQ(std::vector<uint8_t>(Memory, Memory + 56), std::vector<uint8_t>(56, 0));
        auto& Sets = *reinterpret_cast<RC::Unreal::TArray<std::array<uint8_t, 32>>*>(Memory + 32);
        Sets.Add({});
        EXPECT_EQ(Sets.Num(), 1);
    }

    TEST_F(ObjectTest, ParameterBlocksAreTypedByTheFunctionsLayout)
    {
        UClass* Class = Sim->CreateClass(STR("/Game/Things/Thing.Thing_C"));
        UFunction* Function = Sim->AddFunction(Class, STR("BRMB_CPP_TestDT"),
                                               {Prop(STR("DataTable"), Kind::Object), Prop(STR("RowName"), Kind::Name),
                                                Prop(STR("Pad"), Kind::Int64), Prop(STR("EntryID"), Kind::Int64),
                                                Prop(STR("Text"), Kind::Str), Prop(STR("Small"), Kind::Int32)});
        // 52 bytes of parameters, rounded to their largest alignment.
        EXPECT_EQ(Function->GetParmsSize(), 56);
        ParamBlock Params(Function);
        EXPECT_EQ(Params.Size(), 56U);
        EXPECT_EQ(Params.GetBytes(0, 56), std::vector<uint8_t>(56, 0));

        Params.SetObject(STR("DataTable"), Class);
        Params.SetName(STR("RowName"), RC::Unreal::FName(STR("Alpha")));
        Params.SetInt64(STR("EntryID"), 0x1122334455667788ULL);
        Params.SetString(STR("Text"), STR("hi"));
        EXPECT_EQ(Params.GetObject(STR("DataTable")), Class);
        EXPECT_EQ(Params.GetName(STR("RowName")), RC::Unreal::FName(STR("Alpha")));
        EXPECT_EQ(Params.GetInt64(STR("EntryID")), 0x1122334455667788ULL);
        EXPECT_EQ(Params.GetString(STR("Text")), STR("hi"));
        EXPECT_EQ(Params.GetBytes(24, 1), std::vector<uint8_t>{0x88});
        uint8_t* Block = Params.Data();
        UObject* Stored = nullptr;
        std::memcpy(&Stored, Block, sizeof(Stored));
        EXPECT_EQ(Stored, Class);

        EXPECT_THROW(Params.SetString(STR("Missing"), STR("x")), std::invalid_argument);
        EXPECT_THROW(Params.SetString(STR("RowName"), STR("x")), std::invalid_argument);
        EXPECT_THROW((void)Params.GetInt64(STR("Small")), std::invalid_argument);
        EXPECT_THROW(Params.SetBytes(55, {1, 2}), std::out_of_range);
        EXPECT_THROW((void)Params.GetBytes(57, 0), std::out_of_range);

        ParamBlock Other(Sim->AddFunction(Class, STR("Other"), {}));
        EXPECT_THROW(Sim->Call(nullptr, Function, Other), std::invalid_argument);
    }

    // A lookup by path walks the array as the host's does: a found path is cached, a miss never is.
    TEST_F(ObjectTest, FindObjectWalksEveryLiveObjectUntilAPathIsFound)
    {
        Sim->AddFiller(1000, 10);
        UClass* Library = Sim->CreateClass(LibraryPath);
        Sim->SetLoaded(Library, false);
        const uint64_t Start = Sim->FindObjectVisits();
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), nullptr);
        const uint64_t OneWalk = Sim->FindObjectVisits() - Start;
        EXPECT_GT(OneWalk, 1000u);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), nullptr);
        EXPECT_EQ(Sim->FindObjectVisits() - Start, 2 * OneWalk);

        Sim->SetLoaded(Library, true);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), Library);
        const uint64_t Found = Sim->FindObjectVisits();
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), Library);
        EXPECT_EQ(Sim->FindObjectVisits(), Found);
        // A hidden object leaves the cache with the array.
        Sim->SetLoaded(Library, false);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), nullptr);
        EXPECT_GT(Sim->FindObjectVisits(), Found);
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, STR("/Game/Filler/Pack3.Filler13"))->GetName(), STR("Filler13"));
    }

    class Recorder final : public RC::Unreal::FUObjectCreateListener, public RC::Unreal::FUObjectDeleteListener
    {
    public:
        void NotifyUObjectCreated(const RC::Unreal::UObjectBase* Object, int32_t Index) override
        {
            Events.push_back("+" + Name(Object) + "@" + std::to_string(Index));
        }
        void NotifyUObjectDeleted(const RC::Unreal::UObjectBase* Object, int32_t Index) override
        {
            Events.push_back("-" + Name(Object) + "@" + std::to_string(Index));
        }
        void OnUObjectArrayShutdown() override { Events.emplace_back("shutdown"); }

        std::vector<std::string> Events;

    private:
        static auto Name(const RC::Unreal::UObjectBase* Object) -> std::string
        {
            const StringType Text = static_cast<const UObject*>(Object)->GetName();
            return std::string(Text.begin(), Text.end());
        }
    };

    // Every object that enters the array (created, constructed or loaded) and every one that
    // leaves it (hidden or collected) is told, with its index; a destroyed object's index is reused.
    TEST_F(ObjectTest, ListenersHearEveryObjectEnterAndLeaveTheArray)
    {
        UClass* Class = Sim->CreateClass(STR("/Game/Things/Thing.Thing_C"));
        Recorder Listener;
        RC::Unreal::UObjectArray::AddUObjectCreateListener(&Listener);
        RC::Unreal::UObjectArray::AddUObjectDeleteListener(&Listener);
        UObject* Spawned = Sim->SpawnObject(Class, nullptr, STR("A"));
        const std::string At = Listener.Events.at(0).substr(2);
        Sim->SetLoaded(Spawned, false);
        Sim->SetLoaded(Spawned, false);
        Sim->SetLoaded(Spawned, true);
        UObject* Constructed = Globals::StaticConstructObject({Class, nullptr});
        const StringType ConstructedWide = Constructed->GetName();
        const std::string ConstructedName(ConstructedWide.begin(), ConstructedWide.end());
        Sim->CollectConstructed();
        Sim->SpawnObject(Class, nullptr, STR("B"));
        RC::Unreal::UObjectArray::RemoveUObjectDeleteListener(&Listener);
        Sim->SetLoaded(Spawned, false);
        const std::vector<std::string> Before = Listener.Events;
        Engine::Reset();
        const std::string ConstructedAt = Before.at(3).substr(Before.at(3).find('@'));
        EXPECT_EQ(Before, (std::vector<std::string>{"+A" + At, "-A" + At, "+A" + At, "+" + ConstructedName + ConstructedAt,
                                                    "-" + ConstructedName + ConstructedAt, "+B" + ConstructedAt}));
        EXPECT_EQ(Listener.Events.back(), "shutdown");
        EXPECT_EQ(Listener.Events.size(), Before.size() + 1);
    }

    // Walks visit live objects only, in index order, within the range asked for.
    TEST_F(ObjectTest, ForEachUObjectInRangeVisitsLiveObjectsInTheRange)
    {
        UClass* Class = Sim->CreateClass(STR("/Game/Things/Thing.Thing_C"));
        std::vector<UObject*> All;
        Globals::ForEachUObject([&](UObject* Object, int32_t, int32_t) {
            All.push_back(Object);
            return RC::LoopAction::Continue;
        });
        UObject* Hidden = Sim->SpawnObject(Class);
        UObject* Shown = Sim->SpawnObject(Class);
        Sim->SetLoaded(Hidden, false);
        const auto Size = static_cast<int32_t>(All.size());
        std::vector<std::pair<UObject*, int32_t>> Seen;
        Globals::ForEachUObjectInRange(Size - 1, Size + 5, [&](UObject* Object, int32_t Chunk, int32_t Index) {
            Seen.emplace_back(Object, Chunk * 65536 + Index);
            return RC::LoopAction::Continue;
        });
        EXPECT_EQ(Seen, (std::vector<std::pair<UObject*, int32_t>>{{All.back(), Size - 1}, {Shown, Size + 1}}));
        int Visits = 0;
        Globals::ForEachUObject([&](UObject*, int32_t, int32_t) { return ++Visits == 2 ? RC::LoopAction::Break : RC::LoopAction::Continue; });
        EXPECT_EQ(Visits, 2);
    }

    TEST_F(ObjectTest, ResetForgetsEveryObject)
    {
        Sim->CreateClass(LibraryPath);
        Engine& Fresh = Engine::Reset();
        EXPECT_EQ(Globals::FindObject(nullptr, nullptr, LibraryPath), nullptr);
        EXPECT_EQ(Fresh.FindObjectCalls(), 1);
        EXPECT_NO_THROW(Fresh.CreateClass(LibraryPath));
    }
} // namespace
