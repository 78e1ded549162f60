// Engine callbacks (engine-tick and ProcessEvent pre-callbacks) in registration order, and what
// the host could hook; Engine::Tick and Engine::Call run them.
#include <Unreal/Hooks/Hooks.hpp>

#include <UE4SSRuntime.hpp>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "sim_state.hpp"

namespace RC::Unreal::Hook
{
    namespace
    {
        // Both kinds of engine callback: refused when empty, otherwise kept in registration order
        // with the next id of the engine.
        template <typename CallbackType>
        auto AddCallback(CallbackType Callback, CallbackType Sim::TickEntry::*Slot, Sim::CallbackKind Kind,
                         FCallbackOptions Options) -> GlobalCallbackId
        {
            if (!Callback)
            {
                return ERROR_ID;
            }
            Sim::TickEntry Entry;
            Entry.*Slot = std::move(Callback);
            Entry.Kind = Kind;
            Entry.Options = std::move(Options);
            auto& S = Sim::Engine::Impl::Current();
            const std::lock_guard Guard(S.Lock);
            Entry.Id = S.NextTickId++;
            Entry.Serial = Sim::NextRegistrationSerial();
            S.TickCallbacks.push_back(std::move(Entry));
            return S.TickCallbacks.back().Id;
        }
    } // namespace

    auto RegisterEngineTickPreCallback(EngineTickCallbackWithData Callback, FCallbackOptions Options) -> GlobalCallbackId
    {
        return AddCallback(std::move(Callback), &Sim::TickEntry::Callback, Sim::CallbackKind::EngineTick,
                           std::move(Options));
    }

    auto RegisterProcessEventPreCallback(ProcessEventCallbackWithData Callback, FCallbackOptions Options)
        -> GlobalCallbackId
    {
        return AddCallback(std::move(Callback), &Sim::TickEntry::ProcessEventCallback,
                           Sim::CallbackKind::ProcessEvent, std::move(Options));
    }

    auto UnregisterCallback(GlobalCallbackId Id) -> bool
    {
        auto& S = Sim::Engine::Impl::Current();
        const std::lock_guard Guard(S.Lock);
        if (std::ranges::find(S.RunningCallbacks, Id) != S.RunningCallbacks.end())
        {
            throw std::logic_error("UnregisterCallback(" + std::to_string(Id) +
                                   ") from inside that callback: the real host deadlocks here; a running "
                                   "callback ends itself with RemoveSelf()");
        }
        const auto Found = std::ranges::find_if(
            S.TickCallbacks, [Id](const Sim::TickEntry& Entry) { return Entry.Id == Id && !Entry.Removed; });
        if (Found == S.TickCallbacks.end())
        {
            return false;
        }
        Found->Removed = true;
        Sim::PurgeRemoved(S);
        return true;
    }
} // namespace RC::Unreal::Hook

namespace RC::UE4SSRuntime
{
    auto IsEngineTickAvailable() -> bool
    {
        return !Sim::Engine::Get().GetFaults().NoEngineTick;
    }

    auto IsProcessEventAvailable() -> bool
    {
        return !Sim::Engine::Get().GetFaults().NoProcessEvent;
    }
} // namespace RC::UE4SSRuntime
