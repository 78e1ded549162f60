// The engine-tick discovery shared by the three services: poll at a fixed interval of gathered
// tick time, run one pass of the service's own lookup and hook work, and on completion log the
// service's line and remove the callback. Every tick runs inside the exception boundary under
// the callback's name, and every pass inside the callback gate. Game thread.
//
// A service plugs in with one constant Config and one call to Register; the services' own
// settings are core_discovery.cpp, anim_discovery.cpp and proxy_discovery.cpp beside this file.
#pragma once

#include <HookSlot.hpp>
#include <String/StringType.hpp>
#include <Unreal/Hooks/Hooks.hpp>

#include "bridge/guard.hpp"
#include "bridge/hook_bridge.hpp"
#include "bridge/log.hpp"

namespace RC::Unreal
{
    class UObject;
}

namespace BRMB::Discovery
{
    enum class PassResult
    {
        Pending,  // try again on the next pass
        Complete, // everything found and hooked: announce and remove the callback
    };

    template <typename Service>
    struct Config
    {
        const RC::CharType* Prefix;   // of the boundary's failure line: "VEXA", "VEXA_Anim", "BRMB"
        const RC::CharType* Owner;    // the tick callback's owner name
        const RC::CharType* Callback; // the tick callback's name
        Service& (*Instance)();
        float Service::*PollElapsed;
        bool Service::*ScanComplete;
        // Seconds of gathered tick time between passes. Compared in double precision, which is
        // exact for a float interval and matches a double literal as such.
        double (*Interval)(const Service&);
        // One pass of lookup and hook work.
        PassResult (*Pass)(Service&);
        const RC::CharType* CompletionLine;
        // After a pass that did not complete, with the delta of this tick; may be null.
        void (*WhilePending)(Service&, float DeltaSeconds);
    };

    // The interval of the animation bridge and the content proxy.
    template <typename Service>
    auto SlowInterval(const Service&) -> double
    {
        return 0.2;
    }

    // Looks the library up by path while it is not yet known (library_watch.hpp); true once it is.
    auto FindLibrary(RC::Unreal::UObject*& Library, const RC::StringType& LibraryPath) -> bool;

    // Looks the library function up in the library's own class (until found once); true when
    // the function is known.
    auto FindLibraryFunction(VEXA::HookSlot& Slot, RC::StringViewType LibraryPath, RC::StringViewType Function) -> bool;

    // The registration helper behind every RegisterHook_ member: finds the library function and
    // hooks it while its ids are (0, 0). True when the function is known.
    template <const Bridge::HookedFunction& Hook>
    auto RegisterLibraryHook(VEXA::HookSlot& Slot, RC::StringViewType LibraryPath) -> bool
    {
        if (Slot.Function != nullptr)
        {
            return true;
        }
        if (FindLibraryFunction(Slot, LibraryPath, Hook.Function) && Slot.Ids == VEXA::HookIds{0, 0})
        {
            Slot.Ids = Bridge::HookFunction<Hook>(Slot.Function);
        }
        return Slot.Function != nullptr;
    }

    // The host's registration, with the flags left false; the id is kept under the callback's
    // name until the callback ends itself (ForgetTick) or UnregisterTicks removes it.
    auto RegisterTick(const RC::CharType* Owner, const RC::CharType* Callback, RC::Unreal::Hook::EngineTickCallbackWithData Tick)
        -> void;
    // The named callback has called RemoveSelf(): the host drops it after this call.
    auto ForgetTick(const RC::CharType* Callback) -> void;
    // Removes every kept callback from the host. Never from inside one of them.
    auto UnregisterTicks() -> void;

    // One step of a service's discovery with this much elapsed time; true when the discovery
    // is complete and its callback must end.
    using StepFunction = bool (*)(float DeltaSeconds);

    // Without an engine tick the steps run from one ProcessEvent pre-callback, fed with seconds of
    // a monotonic clock: a step joins it here. Whether the tick is there is asked of the host on
    // the first registration after each start, which also logs, once, that discovery runs from
    // ProcessEvent or that it cannot run at all. Answers false when the engine tick is there.
    auto JoinProcessEventDriver(const RC::CharType* Callback, StepFunction Step) -> bool;
    // Removes the ProcessEvent callback and forgets the steps and the host's answer. Never from
    // inside that callback.
    auto StopProcessEventDriver() -> void;

    template <const auto& S>
    auto Step(float DeltaSeconds) -> bool
    {
        bool Complete = false;
        Bridge::Guarded(S.Prefix, S.Callback, [&] {
            auto& Service = S.Instance();
            float& Elapsed = Service.*S.PollElapsed;
            Elapsed += DeltaSeconds;
            if (static_cast<double>(Elapsed) < S.Interval(Service))
            {
                return;
            }
            Elapsed = 0.0f;
            // Only a pass passes the gate: the idle ticks between touch nothing but Elapsed,
            // which the uninstall resets only once the host has removed this callback.
            const Bridge::CallbackScope Scope;
            if (!Scope.Open())
            {
                return;
            }
            if (S.Pass(Service) == PassResult::Complete)
            {
                Service.*S.ScanComplete = true;
                Bridge::LogLine(S.CompletionLine);
                Complete = true;
                return;
            }
            if (S.WhilePending != nullptr)
            {
                S.WhilePending(Service, DeltaSeconds);
            }
        });
        return Complete;
    }

    template <const auto& S>
    auto Tick(RC::Unreal::Hook::TCallbackIterationData<void>& Data, float DeltaSeconds) -> void
    {
        if (Step<S>(DeltaSeconds))
        {
            Data.RemoveSelf();
            const Bridge::CallbackScope Scope;
            if (Scope.Open())
            {
                ForgetTick(S.Callback);
            }
        }
    }

    template <const auto& S>
    auto Register() -> void
    {
        if (JoinProcessEventDriver(S.Callback, &Step<S>))
        {
            return;
        }
        RegisterTick(S.Owner, S.Callback,
                     [](RC::Unreal::Hook::TCallbackIterationData<void>& Data, RC::Unreal::UEngine*, float DeltaSeconds,
                        bool) { Tick<S>(Data, DeltaSeconds); });
    }
} // namespace BRMB::Discovery
