// The world actor's object functions through the simulated host: searches and construction
// answered in "ObjectRef" and "ObjectRefs", the engine array grown by the host's rule, and
// every way a call can find nothing to work on.
#include <cstring>
#include <ostream>

#include <gtest/gtest.h>

#include "support/world_actor_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        constexpr auto TargetName = STR("BP_Target_C");

        class ObjectHooks : public WorldActorTest
        {
        protected:
            void SetUp() override
            {
                WorldActorTest::SetUp();
                TargetClass = Sim().CreateClass(STR("/Game/Test/BP_Target.BP_Target_C"));
                Actor = SpawnActor();
                Register(Actor);
                ClearLog();
            }

            auto SpawnTargets(int Count) -> std::vector<UObject*>
            {
                std::vector<UObject*> Spawned;
                for (int Index = 0; Index < Count; ++Index)
                {
                    Spawned.push_back(Sim().SpawnObject(TargetClass));
                }
                return Spawned;
            }

            // Stale content that a search must replace.
            auto FillObjectRefs(int Count) -> void
            {
                for (int Index = 0; Index < Count; ++Index)
                {
                    ObjectRefs(Actor).Add(Actor);
                }
            }

            UClass* TargetClass = nullptr;
            UObject* Actor = nullptr;
        };

        auto Triggered(const char* Function) -> std::string
        {
            return std::string("VEXA : WorldActor::") + Function + " Hook Triggered!";
        }

        TEST_F(ObjectHooks, FindFirstOfStoresTheFirstLiveObject)
        {
            const std::vector<UObject*> Targets = SpawnTargets(3);

            FindFirstOf(Actor, TargetName);

            EXPECT_EQ(ObjectRef(Actor), Targets.front());
            EXPECT_EQ(Lines(), std::vector<Line>{Normal(Triggered("FindFirstOf"))});
            EXPECT_EQ(Sim().LastFindFirstOfName(), "BP_Target_C");
        }

        TEST_F(ObjectHooks, FindFirstOfWithoutLiveObjectsStoresNullSilently)
        {
            ObjectRef(Actor) = Actor;

            FindFirstOf(Actor, TargetName);

            EXPECT_EQ(ObjectRef(Actor), nullptr);
            EXPECT_EQ(Texts(), std::vector<std::string>{Triggered("FindFirstOf")});
        }

        TEST_F(ObjectHooks, FindFirstOfWithAnEmptyNameKeepsObjectRef)
        {
            SpawnTargets(1);
            ObjectRef(Actor) = Actor;

            FindFirstOf(Actor, STR(""));

            EXPECT_EQ(ObjectRef(Actor), Actor);
            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("FindFirstOf"), "VEXA : No ClassName"}));
            EXPECT_EQ(Sim().LastFindFirstOfName(), "");
        }

        TEST_F(ObjectHooks, FindAllOfStoresEveryLiveObjectInSearchOrder)
        {
            FillObjectRefs(2);
            const std::vector<UObject*> Targets = SpawnTargets(3);

            FindAllOf(Actor, TargetName);

            EXPECT_EQ(Elements(ObjectRefs(Actor)), Targets);
            EXPECT_EQ(Texts(), std::vector<std::string>{Triggered("FindAllOf")});
        }

        TEST_F(ObjectHooks, FindAllOfWithoutLiveObjectsLeavesAnEmptyArrayWithoutStorage)
        {
            FillObjectRefs(3);

            FindAllOf(Actor, TargetName);

            EXPECT_EQ(ObjectRefs(Actor).Num(), 0);
            EXPECT_EQ(ObjectRefs(Actor).Max(), 0);
            EXPECT_EQ(ObjectRefs(Actor).GetData(), nullptr);
            EXPECT_EQ(Texts(),
                      (std::vector<std::string>{Triggered("FindAllOf"), "VEXA : FindAllOf : FoundObjects is empty"}));
        }

        TEST_F(ObjectHooks, FindAllOfWithAnEmptyNameEmptiesTheArrayAnyway)
        {
            SpawnTargets(2);
            FillObjectRefs(5);

            FindAllOf(Actor, STR(""));

            EXPECT_EQ(ObjectRefs(Actor).Num(), 0);
            EXPECT_EQ(ObjectRefs(Actor).Max(), 0);
            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("FindAllOf"), "VEXA : No ClassName"}));
        }

        // Capacity after the appends: room for 4 on the first, then n + 3n/8 + 16 past a full
        // array, each rounded by the host's allocator to 16 bytes (two pointers).
        struct GrowthCase
        {
            int Found;
            int Capacity;

            friend auto operator<<(std::ostream& Out, const GrowthCase& Case) -> std::ostream&
            {
                return Out << Case.Found << " found, capacity " << Case.Capacity;
            }
        };

        class ObjectRefsGrowth : public ObjectHooks, public ::testing::WithParamInterface<GrowthCase>
        {
        };

        TEST_P(ObjectRefsGrowth, FollowsTheHostsRule)
        {
            const GrowthCase& Case = GetParam();
            FillObjectRefs(30);
            const std::vector<UObject*> Targets = SpawnTargets(Case.Found);

            FindAllOf(Actor, TargetName);

            EXPECT_EQ(ObjectRefs(Actor).Num(), Case.Found);
            EXPECT_EQ(ObjectRefs(Actor).Max(), Case.Capacity);
            EXPECT_EQ(Elements(ObjectRefs(Actor)), Targets);
        }

        INSTANTIATE_TEST_SUITE_P(Appends, ObjectRefsGrowth,
                                 ::testing::Values(GrowthCase{0, 0}, GrowthCase{1, 4}, GrowthCase{4, 4},
                                                   GrowthCase{5, 22}, GrowthCase{22, 22}, GrowthCase{23, 48}),
                                 [](const ::testing::TestParamInfo<GrowthCase>& Info) {
                                     return "Found" + std::to_string(Info.param.Found);
                                 });

        // A header whose count lies outside 0..capacity: nothing is trusted, nothing is freed.
        struct CorruptCase
        {
            const char* Name;
            int32_t ArrayNum;

            friend auto operator<<(std::ostream& Out, const CorruptCase& Case) -> std::ostream&
            {
                return Out << "ArrayNum " << Case.ArrayNum;
            }
        };

        class CorruptObjectRefs : public ObjectHooks, public ::testing::WithParamInterface<CorruptCase>
        {
        };

        TEST_P(CorruptObjectRefs, FailsAtTheBoundaryAndLeavesTheArrayAsFound)
        {
            SpawnTargets(2);
            FillObjectRefs(2);
            TArray<UObject*>& Refs = ObjectRefs(Actor);
            UObject* const* const Storage = Refs.GetData();
            const int32_t Capacity = Refs.Max();
            const int32_t Count = Refs.Num();
            constexpr size_t NumOffset = sizeof(void*);
            std::memcpy(reinterpret_cast<uint8_t*>(&Refs) + NumOffset, &GetParam().ArrayNum, sizeof(int32_t));

            FindAllOf(Actor, TargetName);

            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("FindAllOf"),
                                                         "VEXA : VEXA_CPP_FindAllOf failed : Array failed invariants "
                                                         "check, ArrayNum exceeds ArrayMax."}));
            EXPECT_EQ(Sim().EscapedExceptions(), 0);
            EXPECT_EQ(Refs.GetData(), Storage);
            EXPECT_EQ(Refs.Num(), GetParam().ArrayNum);
            EXPECT_EQ(Refs.Max(), Capacity);
            std::memcpy(reinterpret_cast<uint8_t*>(&Refs) + NumOffset, &Count, sizeof(int32_t));
            EXPECT_EQ(Elements(Refs), (std::vector<UObject*>{Actor, Actor}));
        }

        INSTANTIATE_TEST_SUITE_P(Headers, CorruptObjectRefs,
                                 ::testing::Values(CorruptCase{"CountAboveCapacity", 5}, CorruptCase{"NegativeCount", -1}),
                                 [](const ::testing::TestParamInfo<CorruptCase>& Info) {
                                     return std::string(Info.param.Name);
                                 });

        TEST_F(ObjectHooks, NewObjectConstructsInTheOuterAndStoresTheObject)
        {
            UObject* const Outer = SpawnTargets(1).front();

            NewObject(Actor, Outer, TargetClass);

            ASSERT_EQ(Sim().ConstructedObjects().size(), 1U);
            UObject* const Created = Sim().ConstructedObjects().front();
            EXPECT_EQ(ObjectRef(Actor), Created);
            EXPECT_EQ(Created->GetClassPrivate(), TargetClass);
            EXPECT_EQ(Created->GetOuterPrivate(), Outer);
            EXPECT_NE(Created->GetName(), Outer->GetName());
            EXPECT_EQ(Texts(), std::vector<std::string>{Triggered("NewObject")});
        }

        TEST_F(ObjectHooks, NewObjectWithoutAClassConstructsNothingAndStoresNull)
        {
            ObjectRef(Actor) = Actor;

            NewObject(Actor, Actor, nullptr);

            EXPECT_TRUE(Sim().ConstructedObjects().empty());
            EXPECT_EQ(ObjectRef(Actor), nullptr);
            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("NewObject"), "VEXA : NewObject : No Class"}));
        }

        TEST_F(ObjectHooks, ANonAsciiClassNameReachesTheSearchAsUtf8)
        {
            struct NameCase
            {
                RC::StringType Wide;
                std::string Utf8;
            };
            const std::vector<NameCase> Cases{
                {STR("BP_Gr\u00f6\u00dfe_C"), "BP_Gr\xc3\xb6\xc3\x9f" "e_C"},
                {STR("BP_\u6728_C"), "BP_\xe6\x9c\xa8_C"},
                {STR("BP_\U0001F33F_C"), "BP_\xf0\x9f\x8c\xbf_C"},
                {RC::StringType{STR("BP_")} + RC::CharType(0xD800) + STR("_C"), "BP_\xef\xbf\xbd_C"},
            };
            for (const NameCase& Case : Cases)
            {
                SCOPED_TRACE(Case.Utf8);
                UObject* const Target =
                    Sim().SpawnObject(Sim().CreateClass(STR("/Game/Test/") + FromUtf8(Case.Utf8) + STR(".") + FromUtf8(Case.Utf8)));
                ClearLog();

                FindFirstOf(Actor, Case.Wide);

                EXPECT_EQ(Sim().LastFindFirstOfName(), Case.Utf8);
                EXPECT_EQ(ObjectRef(Actor), Target);
                EXPECT_EQ(Texts(), std::vector<std::string>{Triggered("FindFirstOf")});
            }
        }

        // Variables split between a class and its super class. The handlers write the storage of
        // the actor's own class's variable, so that declaration alone decides, whatever the super
        // class declares under the same name.
        TEST_F(ObjectHooks, OnlyTheOwnClassDeclarationOfAVariableCounts)
        {
            using RC::Sim::Prop;
            using RC::Sim::PropDecl;
            const auto Declared = [](Kind Element) -> std::vector<PropDecl> {
                return {Prop(BlueprintHalf::ObjectRefVar, Element),
                        RC::Sim::ArrayProp(BlueprintHalf::ObjectRefsVar, Prop(STR("Element"), Element, 0))};
            };
            struct Case
            {
                const char* Name;
                std::vector<PropDecl> Super;
                std::vector<PropDecl> Own;
                std::vector<std::string> Lines; // after each trigger line, for FindFirstOf, FindAllOf, NewObject
            };
            const std::vector<Case> Cases{
                // First, so that its search meets only the two targets, no constructed ones.
                {"own objects over the super class's int32", Declared(Kind::Int32), Declared(Kind::Object), {}},
                {"declared by the super class only", Declared(Kind::Object), {},
                 {"VEXA : *ObjectRef is nullptr", "VEXA : ObjectRefs is nullptr", "VEXA : *ObjectRef is nullptr"}},
                {"own int32 over the super class's objects", Declared(Kind::Object), Declared(Kind::Int32),
                 {"VEXA : ObjectRef is not an object reference", "VEXA : ObjectRefs is not an array of object references",
                  "VEXA : ObjectRef is not an object reference"}},
            };
            const std::vector<UObject*> Targets = SpawnTargets(2);
            int Number = 0;
            for (const Case& Each : Cases)
            {
                SCOPED_TRACE(Each.Name);
                std::vector<PropDecl> SuperVariables{Prop(STR("Marker"), Kind::Int64)};
                SuperVariables.insert(SuperVariables.end(), Each.Super.begin(), Each.Super.end());
                const RC::StringType Name = STR("BP_Split") + FromUtf8(std::to_string(Number++)) + STR("_C");
                UClass* const Super = Sim().CreateClass(STR("/Game/Test/") + Name + STR(".Super") + Name, SuperVariables);
                UClass* const Own = Sim().CreateClass(STR("/Game/Test/") + Name + STR(".") + Name, Each.Own, Super);
                UObject* const Split = Sim().SpawnObject(Own);
                // The super class's variables come first, from the marker at offset 0.
                const auto* const SuperBytes = Split->GetValuePtrByPropertyNameInChain<uint8_t>(STR("Marker"));
                const std::vector<uint8_t> SuperBefore(SuperBytes, SuperBytes + Super->GetPropertiesSize());
                const std::vector<uint8_t> OwnBefore(SuperBytes + Super->GetPropertiesSize(),
                                                     SuperBytes + Own->GetPropertiesSize());
                Register(Split);
                ClearLog();

                FindFirstOf(Actor, TargetName);
                FindAllOf(Actor, TargetName);
                NewObject(Actor, Actor, TargetClass);

                EXPECT_EQ(std::vector<uint8_t>(SuperBytes, SuperBytes + Super->GetPropertiesSize()), SuperBefore);
                std::vector<std::string> Expected;
                for (const char* Function : {"FindFirstOf", "FindAllOf", "NewObject"})
                {
                    Expected.push_back(Triggered(Function));
                    if (!Each.Lines.empty())
                    {
                        Expected.push_back(Each.Lines[Expected.size() / 2]);
                    }
                }
                EXPECT_EQ(Texts(), Expected);
                if (Each.Lines.empty())
                {
                    EXPECT_EQ(ObjectRef(Split), Sim().ConstructedObjects().back());
                    EXPECT_EQ(Elements(ObjectRefs(Split)), Targets);
                }
                else
                {
                    EXPECT_EQ(std::vector<uint8_t>(SuperBytes + Super->GetPropertiesSize(), SuperBytes + Own->GetPropertiesSize()),
                              OwnBefore);
                }
            }
        }

        // Calls that find nothing to work on: the registered actor lacks the variables.
        class ObjectHooksWithoutVariables : public WorldActorTest
        {
        protected:
            void SetUp() override
            {
                WorldActorTest::SetUp();
                TargetClass = Sim().CreateClass(STR("/Game/Test/BP_Target.BP_Target_C"));
                Sim().SpawnObject(TargetClass);
                Actor = SpawnActor(MakeActorClass(STR("/Game/Test/BP_NoVars.BP_NoVars_C"), false));
                Register(Actor);
                ClearLog();
            }

            UClass* TargetClass = nullptr;
            UObject* Actor = nullptr;
        };

        TEST_F(ObjectHooksWithoutVariables, FindFirstOfSearchesNothing)
        {
            FindFirstOf(Actor, TargetName);

            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("FindFirstOf"), "VEXA : *ObjectRef is nullptr"}));
            EXPECT_EQ(Sim().LastFindFirstOfName(), "");
        }

        TEST_F(ObjectHooksWithoutVariables, FindAllOfSearchesNothing)
        {
            FindAllOf(Actor, TargetName);

            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("FindAllOf"), "VEXA : ObjectRefs is nullptr"}));
        }

        TEST_F(ObjectHooksWithoutVariables, NewObjectStillConstructs)
        {
            NewObject(Actor, nullptr, TargetClass);

            EXPECT_EQ(Sim().ConstructedObjects().size(), 1U);
            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("NewObject"), "VEXA : *ObjectRef is nullptr"}));
        }

        TEST_F(ObjectHooksWithoutVariables, NewObjectWithoutAClassLogsOnlyThat)
        {
            NewObject(Actor, nullptr, nullptr);

            EXPECT_TRUE(Sim().ConstructedObjects().empty());
            EXPECT_EQ(Texts(), (std::vector<std::string>{Triggered("NewObject"), "VEXA : NewObject : No Class"}));
        }

        // After the actor withdrew, another instance of its class calls: only a line, nothing touched.
        struct UnregisteredCase
        {
            const char* Function;
            void (*Invoke)(WorldActorTest&, UObject*, UClass*);

            friend auto operator<<(std::ostream& Out, const UnregisteredCase& Case) -> std::ostream&
            {
                return Out << Case.Function;
            }
        };

        class UnregisteredCall : public ObjectHooks, public ::testing::WithParamInterface<UnregisteredCase>
        {
        public:
            static auto FindFirst(WorldActorTest& Test, UObject* Caller, UClass*) -> void
            {
                static_cast<UnregisteredCall&>(Test).FindFirstOf(Caller, TargetName);
            }
            static auto FindAll(WorldActorTest& Test, UObject* Caller, UClass*) -> void
            {
                static_cast<UnregisteredCall&>(Test).FindAllOf(Caller, TargetName);
            }
            static auto Construct(WorldActorTest& Test, UObject* Caller, UClass* Class) -> void
            {
                static_cast<UnregisteredCall&>(Test).NewObject(Caller, Caller, Class);
            }
        };

        TEST_P(UnregisteredCall, LogsThatNoActorIsRegistered)
        {
            SpawnTargets(2);
            UObject* const Caller = SpawnActor();
            Destroyed(Actor);
            ObjectRef(Actor) = Actor;
            ObjectRef(Caller) = Caller;
            FillObjectRefs(1);
            ClearLog();

            GetParam().Invoke(*this, Caller, TargetClass);

            EXPECT_EQ(Lines(), (std::vector<Line>{Normal(Triggered(GetParam().Function)),
                                                  Normal("VEXA : WorldActor is not registered")}));
            EXPECT_EQ(ObjectRef(Actor), Actor);
            EXPECT_EQ(ObjectRef(Caller), Caller);
            EXPECT_EQ(Elements(ObjectRefs(Actor)), std::vector<UObject*>{Actor});
            EXPECT_EQ(ObjectRefs(Caller).Num(), 0);
            EXPECT_TRUE(Sim().ConstructedObjects().empty());
            EXPECT_EQ(Sim().LastFindFirstOfName(), "");
        }

        INSTANTIATE_TEST_SUITE_P(ObjectFunctions, UnregisteredCall,
                                 ::testing::Values(UnregisteredCase{"FindFirstOf", &UnregisteredCall::FindFirst},
                                                   UnregisteredCase{"FindAllOf", &UnregisteredCall::FindAll},
                                                   UnregisteredCase{"NewObject", &UnregisteredCall::Construct}),
                                 [](const ::testing::TestParamInfo<UnregisteredCase>& Info) {
                                     return std::string(Info.param.Function);
                                 });
    } // namespace
} // namespace BrambleonTest
