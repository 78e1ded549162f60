// The world-actor registry through the simulated host: every transition of the registration,
// which object functions get hooked when, and the lines each step writes.
#include <ostream>

#include <gtest/gtest.h>

#include "support/world_actor_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        using HookIds = std::pair<int, int>;
        constexpr HookIds NotHooked{0, 0};

        using WorldActorRegistry = WorldActorTest;

        TEST_F(WorldActorRegistry, FirstAdoptionHooksTheThreeFunctionsOnce)
        {
            UObject* const Actor = SpawnActor();

            EXPECT_EQ(Register(Actor), nullptr);

            EXPECT_EQ(Lines(), RegistrationLines());
            EXPECT_EQ(Core().WorldActor, Actor);
            for (const auto Name : {FindFirstOfName, FindAllOfName, NewObjectName})
            {
                EXPECT_TRUE(HookedOnce(Actor, Name)) << ToUtf8(Name);
            }
            EXPECT_NE(Core().FindFirstOfHookIds, NotHooked);
            EXPECT_NE(Core().FindAllOfHookIds, NotHooked);
            EXPECT_NE(Core().NewObjectHookIds, NotHooked);
        }

        TEST_F(WorldActorRegistry, TheSameActorAgainOnlyLogsAndStillNullsItsArgument)
        {
            UObject* const Actor = SpawnActor();
            Register(Actor);
            const HookIds FirstIds = Core().FindFirstOfHookIds;
            ClearLog();

            EXPECT_EQ(Register(Actor), nullptr);

            EXPECT_EQ(Lines(), std::vector<Line>{Normal("VEXA : SetNewWorldActor")});
            EXPECT_EQ(Core().WorldActor, Actor);
            EXPECT_EQ(Core().FindFirstOfHookIds, FirstIds);
            for (const auto Name : {FindFirstOfName, FindAllOfName, NewObjectName})
            {
                EXPECT_EQ(Sim().RegisterHookCalls(ObjectFunction(Actor, Name)), 1) << ToUtf8(Name);
            }
        }

        TEST_F(WorldActorRegistry, ASecondActorOfTheClassIsServedByTheFirstHooks)
        {
            UObject* const First = SpawnActor();
            UObject* const Second = SpawnActor();
            UObject* const Target = Sim().SpawnObject(Sim().CreateClass(STR("/Game/Test/BP_Target.BP_Target_C")));
            Register(First);
            ClearLog();

            EXPECT_EQ(Register(Second), nullptr);
            EXPECT_EQ(Lines(), RegistrationLines());
            EXPECT_EQ(Core().WorldActor, Second);
            for (const auto Name : {FindFirstOfName, FindAllOfName, NewObjectName})
            {
                EXPECT_EQ(Sim().RegisterHookCalls(ObjectFunction(First, Name)), 1) << ToUtf8(Name);
            }

            // The first actor makes the calls; the answers land in the registered one.
            FindFirstOf(First, STR("BP_Target_C"));
            EXPECT_EQ(ObjectRef(Second), Target);
            EXPECT_EQ(ObjectRef(First), nullptr);

            FindAllOf(First, STR("BP_Target_C"));
            EXPECT_EQ(Elements(ObjectRefs(Second)), std::vector<UObject*>{Target});
            EXPECT_EQ(ObjectRefs(First).Num(), 0);

            NewObject(First, Target, Target->GetClassPrivate());
            ASSERT_EQ(Sim().ConstructedObjects().size(), 1U);
            EXPECT_EQ(ObjectRef(Second), Sim().ConstructedObjects().front());
            EXPECT_EQ(ObjectRef(First), nullptr);
        }

        TEST_F(WorldActorRegistry, DestroyedWithAnyActorEndsTheRegistrationSilently)
        {
            UObject* const Registered = SpawnActor();
            UObject* const Other = SpawnActor();
            Register(Registered);
            ClearLog();

            EXPECT_EQ(Destroyed(Other), nullptr);

            EXPECT_TRUE(Lines().empty());
            EXPECT_EQ(Core().WorldActor, nullptr);
            // Hooks and their ids outlive the registration.
            EXPECT_NE(Core().NewObjectHookIds, NotHooked);
            EXPECT_TRUE(HookedOnce(Registered, NewObjectName));

            // With nobody registered, a call is answered by a line alone.
            ObjectRef(Registered) = Other;
            FindFirstOf(Registered, STR("VEXA_WorldActor_C"));
            EXPECT_EQ(Texts(), (std::vector<std::string>{"VEXA : WorldActor::FindFirstOf Hook Triggered!",
                                                         "VEXA : WorldActor is not registered"}));
            EXPECT_EQ(ObjectRef(Registered), Other);
        }

        TEST_F(WorldActorRegistry, RegisteringAgainAfterDestroyedAdoptsWithoutHookingTwice)
        {
            UObject* const Actor = SpawnActor();
            Register(Actor);
            Destroyed(Actor);
            ClearLog();

            EXPECT_EQ(Register(Actor), nullptr);

            EXPECT_EQ(Lines(), RegistrationLines());
            EXPECT_EQ(Core().WorldActor, Actor);
            for (const auto Name : {FindFirstOfName, FindAllOfName, NewObjectName})
            {
                EXPECT_EQ(Sim().RegisterHookCalls(ObjectFunction(Actor, Name)), 1) << ToUtf8(Name);
            }
        }

        struct MissingCase
        {
            const RC::CharType* Function;
            const char* Line;

            friend auto operator<<(std::ostream& Out, const MissingCase& Case) -> std::ostream&
            {
                return Out << ToUtf8(Case.Function);
            }
        };

        class WorldActorMissingFunction : public WorldActorTest, public ::testing::WithParamInterface<MissingCase>
        {
        };

        TEST_P(WorldActorMissingFunction, IsReportedAndSuppliedByTheNextDifferentActor)
        {
            const MissingCase& Case = GetParam();
            UClass* const Partial = MakeActorClass(STR("/Game/Test/BP_Partial.BP_Partial_C"), true, {Case.Function});
            UObject* const First = SpawnActor(Partial);

            Register(First);

            EXPECT_EQ(Texts(), (std::vector<std::string>{"VEXA : SetNewWorldActor",
                                                         "VEXA : SetNewWorldActor : Calling ClearWorldActor", Case.Line,
                                                         "VEXA : SetNewWorldActor : Finished SetNewWorldActor"}));
            EXPECT_EQ(Core().WorldActor, First);

            // A full class: only the missing function is looked up, and hooked, on it.
            UObject* const Second = SpawnActor();
            ClearLog();
            Register(Second);

            EXPECT_EQ(Lines(), RegistrationLines());
            for (const auto Name : {FindFirstOfName, FindAllOfName, NewObjectName})
            {
                const bool Missing = RC::StringViewType(Name) == Case.Function;
                EXPECT_EQ(Sim().HookCount(ObjectFunction(Second, Name)), Missing ? 1 : 0) << ToUtf8(Name);
                if (!Missing)
                {
                    EXPECT_TRUE(HookedOnce(First, Name)) << ToUtf8(Name);
                }
            }
            EXPECT_NE(Core().FindFirstOfHookIds, NotHooked);
            EXPECT_NE(Core().FindAllOfHookIds, NotHooked);
            EXPECT_NE(Core().NewObjectHookIds, NotHooked);
        }

        INSTANTIATE_TEST_SUITE_P(
            ObjectFunctions, WorldActorMissingFunction,
            ::testing::Values(MissingCase{NewObjectName, "VEXA : WorldActor NewObject is nullptr"},
                              MissingCase{FindFirstOfName, "VEXA : WorldActor FindFirstOf is nullptr"},
                              MissingCase{FindAllOfName, "VEXA : WorldActor FindAllOf is nullptr"}),
            [](const ::testing::TestParamInfo<MissingCase>& Info) { return ToUtf8(Info.param.Function).substr(9); });

        TEST_F(WorldActorRegistry, AFailedNewObjectHookIsRetriedOnTheNextDifferentActor)
        {
            Sim().GetFaults().FailRegisterHookFor = {NewObjectName};
            UObject* const First = SpawnActor();

            Register(First);

            EXPECT_EQ(Texts(), (std::vector<std::string>{"VEXA : SetNewWorldActor",
                                                         "VEXA : SetNewWorldActor : Calling ClearWorldActor",
                                                         "VEXA : VEXA_CPP_NewObject hook failed : the host answered no ids",
                                                         "VEXA : WorldActor NewObject Hook failed",
                                                         "VEXA : SetNewWorldActor : Finished SetNewWorldActor"}));
            EXPECT_EQ(Core().NewObjectHookIds, NotHooked);
            EXPECT_EQ(Sim().HookCount(ObjectFunction(First, NewObjectName)), 0);

            // The same actor again is no new registration: no retry.
            ClearLog();
            Register(First);
            EXPECT_EQ(Texts(), std::vector<std::string>{"VEXA : SetNewWorldActor"});
            EXPECT_EQ(Sim().RegisterHookCalls(ObjectFunction(First, NewObjectName)), 1);

            Sim().GetFaults().FailRegisterHookFor.clear();
            UObject* const Second = SpawnActor();
            ClearLog();
            Register(Second);

            EXPECT_EQ(Lines(), RegistrationLines());
            EXPECT_EQ(Sim().RegisterHookCalls(ObjectFunction(Second, NewObjectName)), 2);
            EXPECT_TRUE(HookedOnce(Second, NewObjectName));
            EXPECT_EQ(Sim().RegisterHookCalls(ObjectFunction(Second, FindFirstOfName)), 1);
            EXPECT_NE(Core().NewObjectHookIds, NotHooked);
        }

        struct NullCase
        {
            const char* Name;
            bool RegisterFirst;
            bool CallDestroyed;
            const char* Line;

            friend auto operator<<(std::ostream& Out, const NullCase& Case) -> std::ostream& { return Out << Case.Name; }
        };

        class WorldActorNullArgument : public WorldActorTest, public ::testing::WithParamInterface<NullCase>
        {
        };

        TEST_P(WorldActorNullArgument, LogsItsWideLineAndChangesNothing)
        {
            const NullCase& Case = GetParam();
            UObject* const Actor = SpawnActor();
            if (Case.RegisterFirst)
            {
                Register(Actor);
                ClearLog();
            }

            if (Case.CallDestroyed)
            {
                Destroyed(nullptr);
            }
            else
            {
                Register(nullptr);
            }

            EXPECT_EQ(Lines(), std::vector<Line>{Normal(Case.Line)});
            EXPECT_EQ(Core().WorldActor, Case.RegisterFirst ? Actor : nullptr);
            EXPECT_EQ(Core().FindFirstOfHookIds != NotHooked, Case.RegisterFirst);
        }

        INSTANTIATE_TEST_SUITE_P(
            RegistryFunctions, WorldActorNullArgument,
            ::testing::Values(
                NullCase{"RegisterWithNone", false, false, "VEXA : Register WorldActor : Passed WorldActor is Null"},
                NullCase{"RegisterWhileRegistered", true, false,
                         "VEXA : Register WorldActor : Passed WorldActor is Null"},
                NullCase{"DestroyedWithNone", false, true, "VEXA : Destroyed WorldActor : Passed WorldActor is Null"},
                NullCase{"DestroyedWhileRegistered", true, true,
                         "VEXA : Destroyed WorldActor : Passed WorldActor is Null"}),
            [](const ::testing::TestParamInfo<NullCase>& Info) { return std::string(Info.param.Name); });
    } // namespace
} // namespace BrambleonTest
