// Engine-tick pre-callbacks: kept in registration order; Engine::Tick runs them.
#include <Unreal/Hooks/Hooks.hpp>

#include "sim_state.hpp"

namespace RC::Unreal::Hook
{
    auto RegisterEngineTickPreCallback(EngineTickCallbackWithData Callback, FCallbackOptions Options) -> GlobalCallbackId
    {
        if (!Callback)
        {
            return ERROR_ID;
        }
        auto& S = Sim::Engine::Impl::Current();
        const GlobalCallbackId Id = S.NextTickId++;
        S.TickCallbacks.push_back(
            Sim::TickEntry{std::move(Callback), std::move(Options), Id, Sim::NextRegistrationSerial(), false});
        return Id;
    }
} // namespace RC::Unreal::Hook
