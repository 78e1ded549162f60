// Blueprint calls and engine ticks as the host runs them: hook order, ids, custom data, the
// exception policy, tick order, RemoveSelf and injected registration faults.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <Sim/Engine.hpp>
#include <Unreal/FFrame.hpp>
#include <Unreal/Hooks/Hooks.hpp>
#include <Unreal/UObjectGlobals.hpp>
#include <UE4SSRuntime.hpp>

namespace
{
    using namespace RC::Sim;
    using RC::Unreal::UnrealScriptFunctionCallableContext;
    using RC::Unreal::Hook::FCallbackOptions;
    using RC::Unreal::Hook::RegisterEngineTickPreCallback;
    using RC::Unreal::Hook::TCallbackIterationData;
    namespace Globals = RC::Unreal::UObjectGlobals;

    using Trace = std::vector<std::string>;

    auto Recorder(Trace& Into, std::string Tag) -> RC::Unreal::UnrealScriptFunctionCallable
    {
        return [&Into, Tag](UnrealScriptFunctionCallableContext&, void*) { Into.push_back(Tag); };
    }

    auto TickRecorder(Trace& Into, std::string Tag, bool RemoveAfterwards = false)
        -> RC::Unreal::Hook::EngineTickCallbackWithData
    {
        return [&Into, Tag, RemoveAfterwards](TCallbackIterationData<void>& Data, RC::Unreal::UEngine*, float, bool) {
            Into.push_back(Tag);
            if (RemoveAfterwards)
            {
                Data.RemoveSelf();
            }
        };
    }

    class HookTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            Sim = &Engine::Reset();
            Log = &Sim->CaptureLog();
            Library = Sim->CreateClass(STR("/Game/Mods/Test/TestLibrary.TestLibrary_C"));
            Function = Sim->AddFunction(Library, STR("Test_CPP_Do"), {Prop(STR("Text"), Kind::Str)},
                                        [this](UObject*, uint8_t*) { Calls.push_back("body"); });
            Instance = Sim->SpawnObject(Library);
        }

        auto CallOnce() -> void
        {
            ParamBlock Params(Function);
            Sim->Call(Instance, Function, Params);
        }

        Engine* Sim = nullptr;
        CaptureDevice* Log = nullptr;
        UClass* Library = nullptr;
        UFunction* Function = nullptr;
        UObject* Instance = nullptr;
        Trace Calls;
    };

    TEST_F(HookTest, PreHooksInOrderThenBodyThenPostHooks)
    {
        const auto First = Globals::RegisterHook(Function, Recorder(Calls, "pre1"), Recorder(Calls, "post1"), nullptr);
        const auto Second = Globals::RegisterHook(Function, Recorder(Calls, "pre2"), Recorder(Calls, "post2"), nullptr);
        CallOnce();
        EXPECT_EQ(Calls, (Trace{"pre1", "pre2", "body", "post1", "post2"}));

        // Fresh, non-zero ids for every registration; a Blueprint function's pre and post share one.
        EXPECT_NE(First.first, 0);
        EXPECT_NE(Second.first, 0);
        EXPECT_EQ(First.first, First.second);
        EXPECT_EQ(Second.first, Second.second);
        EXPECT_NE(First.first, Second.first);
        EXPECT_EQ(Sim->HookCount(Function), 2);
        EXPECT_EQ(Sim->RegisterHookCalls(Function), 2);
    }

    TEST_F(HookTest, CallbacksSeeTheCallAndTheirCustomData)
    {
        int Marker = 0;
        UObject* SeenContext = nullptr;
        void* SeenData = nullptr;
        RC::StringType SeenText;
        Globals::RegisterHook(
            Function,
            [&](UnrealScriptFunctionCallableContext& Context, void* CustomData) {
                SeenContext = Context.Context;
                SeenData = CustomData;
                SeenText = *(*reinterpret_cast<RC::Unreal::FString*>(Context.TheStack.Locals()));
                *reinterpret_cast<RC::Unreal::FString*>(Context.TheStack.Locals()) = RC::Unreal::FString(STR("answer"));
            },
            [](UnrealScriptFunctionCallableContext&, void*) {}, &Marker);
        ParamBlock Params(Function);
        Params.SetString(STR("Text"), STR("request"));
        Sim->Call(Instance, Function, Params);
        EXPECT_EQ(SeenContext, Instance);
        EXPECT_EQ(SeenData, &Marker);
        EXPECT_EQ(SeenText, STR("request"));
        EXPECT_EQ(Params.GetString(STR("Text")), STR("answer"));
    }

    TEST_F(HookTest, ACallBeforeHookingReachesOnlyTheBody)
    {
        CallOnce();
        EXPECT_EQ(Calls, Trace{"body"});
        EXPECT_EQ(Sim->HookCount(Function), 0);
    }

    TEST_F(HookTest, StdExceptionsFromHooksAreLoggedAndTheCallGoesOn)
    {
        Globals::RegisterHook(
            Function, [](UnrealScriptFunctionCallableContext&, void*) { throw std::runtime_error("disk gone"); },
            Recorder(Calls, "post"), nullptr);
        CallOnce();
        EXPECT_EQ(Calls, (Trace{"body", "post"}));
        EXPECT_EQ(Sim->EscapedExceptions(), 1);
        ASSERT_EQ(Log->Lines().size(), 1U);
        EXPECT_EQ(Log->Lines()[0].Text, STR("[Host] Exception in hook of Test_CPP_Do: disk gone\n"));
        EXPECT_EQ(Log->Lines()[0].Level, 4);
    }

    TEST_F(HookTest, OtherExceptionsFromHooksPropagate)
    {
        Globals::RegisterHook(
            Function, [](UnrealScriptFunctionCallableContext&, void*) { throw 42; },
            [](UnrealScriptFunctionCallableContext&, void*) {}, nullptr);
        EXPECT_THROW(CallOnce(), int);
        EXPECT_EQ(Sim->EscapedExceptions(), 0);
    }

    TEST_F(HookTest, InjectedFaultsAnswerZeroIdsOrThrowAndHookNothing)
    {
        Sim->GetFaults().FailRegisterHookFor.push_back(STR("Test_CPP_Do"));
        const auto Ids = Globals::RegisterHook(Function, Recorder(Calls, "pre"), Recorder(Calls, "post"), nullptr);
        EXPECT_EQ(Ids, (std::pair<int, int>{0, 0}));
        Sim->GetFaults().FailRegisterHookFor.clear();
        Sim->GetFaults().ThrowRegisterHookFor.push_back(STR("Test_CPP_Do"));
        EXPECT_THROW(Globals::RegisterHook(Function, Recorder(Calls, "pre"), Recorder(Calls, "post"), nullptr),
                     std::runtime_error);
        EXPECT_EQ(Sim->RegisterHookCalls(Function), 2);
        EXPECT_EQ(Sim->HookCount(Function), 0);
        CallOnce();
        EXPECT_EQ(Calls, Trace{"body"});
    }

    TEST_F(HookTest, AHookRegisteredDuringACallRunsFromTheNextCall)
    {
        Globals::RegisterHook(
            Function,
            [this](UnrealScriptFunctionCallableContext&, void*) {
                Calls.push_back("pre");
                if (Sim->HookCount(Function) == 1)
                {
                    Globals::RegisterHook(Function, Recorder(Calls, "late"), Recorder(Calls, "latepost"), nullptr);
                }
            },
            [](UnrealScriptFunctionCallableContext&, void*) {}, nullptr);
        CallOnce();
        EXPECT_EQ(Calls, (Trace{"pre", "body"}));
        Calls.clear();
        CallOnce();
        EXPECT_EQ(Calls, (Trace{"pre", "late", "body", "latepost"}));
    }

    TEST_F(HookTest, TicksRunInRegistrationOrderWithTheDelta)
    {
        float SeenDelta = 0.0F;
        RC::Unreal::UEngine* SeenEngine = nullptr;
        RegisterEngineTickPreCallback(TickRecorder(Calls, "a"), {});
        RegisterEngineTickPreCallback(
            [&](TCallbackIterationData<void>&, RC::Unreal::UEngine* GameEngine, float Delta, bool) {
                Calls.push_back("b");
                SeenDelta = Delta;
                SeenEngine = GameEngine;
            },
            FCallbackOptions{false, false, STR("Owner"), STR("Owner_Scan")});
        Sim->Tick(0.25F);
        EXPECT_EQ(Calls, (Trace{"a", "b"}));
        EXPECT_FLOAT_EQ(SeenDelta, 0.25F);
        EXPECT_NE(SeenEngine, nullptr);
        const auto Names = Sim->TickCallbackNames();
        ASSERT_EQ(Names.size(), 2U);
        EXPECT_EQ(Names[1], (std::pair<RC::StringType, RC::StringType>{STR("Owner"), STR("Owner_Scan")}));
    }

    TEST_F(HookTest, RemoveSelfEndsOnlyThatCallbackAfterItsCall)
    {
        const auto First = RegisterEngineTickPreCallback(TickRecorder(Calls, "once", true), {});
        const auto Second = RegisterEngineTickPreCallback(TickRecorder(Calls, "always"), {});
        EXPECT_NE(First, RC::Unreal::Hook::ERROR_ID);
        EXPECT_NE(Second, RC::Unreal::Hook::ERROR_ID);
        EXPECT_NE(First, Second);
        Sim->Tick(0.1F);
        Sim->Tick(0.1F);
        EXPECT_EQ(Calls, (Trace{"once", "always", "always"}));
        EXPECT_EQ(Sim->TickCallbackCount(), 1);
    }

    TEST_F(HookTest, TickExceptionsReachTheCallerAndRemovalsStillApply)
    {
        RegisterEngineTickPreCallback(TickRecorder(Calls, "leaving", true), {});
        RegisterEngineTickPreCallback(
            [](TCallbackIterationData<void>&, RC::Unreal::UEngine*, float, bool) { throw std::runtime_error("crash"); },
            {});
        EXPECT_THROW(Sim->Tick(0.1F), std::runtime_error);
        EXPECT_EQ(Sim->TickCallbackCount(), 1);
        EXPECT_EQ(Sim->EscapedExceptions(), 0);
    }

    TEST_F(HookTest, RunForCountsFramesWithoutDrift)
    {
        int Ticks = 0;
        RegisterEngineTickPreCallback([&](TCallbackIterationData<void>&, RC::Unreal::UEngine*, float, bool) { ++Ticks; },
                                      {});
        Sim->RunFor(1.0F, 0.1F);
        EXPECT_EQ(Ticks, 10);
        Sim->RunFor(0.25F, 0.1F);
        EXPECT_EQ(Ticks, 13);
        EXPECT_THROW(Sim->RunFor(1.0F, 0.0F), std::invalid_argument);
    }
} // namespace

namespace
{
    using RC::Unreal::Hook::GlobalCallbackId;
    using RC::Unreal::Hook::UnregisterCallback;

    TEST_F(HookTest, UnregisteringRemovesTheCallbackOrHookButNeverFromInsideItself)
    {
        // The real host deadlocks when a callback or hook removes itself by id.
        GlobalCallbackId TickId = 0;
        TickId = RegisterEngineTickPreCallback(
            [&](TCallbackIterationData<void>&, RC::Unreal::UEngine*, float, bool) { UnregisterCallback(TickId); }, {});
        EXPECT_THROW(Sim->Tick(0.1F), std::logic_error);
        EXPECT_TRUE(UnregisterCallback(TickId));
        EXPECT_FALSE(UnregisterCallback(TickId));
        EXPECT_EQ(Sim->TickCallbackCount(), 0);

        std::pair<int, int> Ids{0, 0};
        Ids = Globals::RegisterHook(
            Function, [&](UnrealScriptFunctionCallableContext&, void*) { Globals::UnregisterHook(Function, Ids); },
            Recorder(Calls, "post"), nullptr);
        CallOnce(); // the host catches std::exceptions from hooks and logs them at level 4
        EXPECT_EQ(Sim->EscapedExceptions(), 1);
        ASSERT_FALSE(Log->Lines().empty());
        EXPECT_NE(Log->Lines().back().Text.find(STR("from inside that hook")), RC::StringType::npos);
        Globals::UnregisterHook(Function, Ids);
        EXPECT_EQ(Sim->HookCount(Function), 0);
        EXPECT_FALSE(Function->UnregisterHook(Ids.first));
        Calls.clear();
        CallOnce();
        EXPECT_EQ(Calls, (Trace{"body"}));
    }

    TEST_F(HookTest, ProcessEventCallbacksRunOnEveryProcessEventAndWithoutTheTickWhenItIsMissing)
    {
        int Tick = 0;
        int ProcessEvents = 0;
        RegisterEngineTickPreCallback([&](TCallbackIterationData<void>&, RC::Unreal::UEngine*, float, bool) { ++Tick; },
                                      {});
        RC::Unreal::Hook::RegisterProcessEventPreCallback(
            [&](TCallbackIterationData<void>&, UObject*, UFunction*, void*) { ++ProcessEvents; },
            {false, false, STR("Test"), STR("Test_PE")});
        Sim->SetProcessEventsPerFrame(5);
        Sim->Tick(0.1F);
        CallOnce(); // a Blueprint call is one more ProcessEvent
        EXPECT_EQ(Tick, 1);
        EXPECT_EQ(ProcessEvents, 6);

        Sim->GetFaults().NoEngineTick = true;
        EXPECT_FALSE(RC::UE4SSRuntime::IsEngineTickAvailable());
        EXPECT_TRUE(RC::UE4SSRuntime::IsProcessEventAvailable());
        Sim->Tick(0.1F);
        EXPECT_EQ(Tick, 1);
        EXPECT_EQ(ProcessEvents, 11);

        Sim->GetFaults().NoProcessEvent = true;
        EXPECT_FALSE(RC::UE4SSRuntime::IsProcessEventAvailable());
        Sim->Tick(0.1F);
        EXPECT_EQ(ProcessEvents, 11);
    }
} // namespace
