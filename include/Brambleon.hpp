// The content proxy service: registry of one proxy object and the data-table row patching
// that the proxy's hooked functions perform. One global instance, used on the game thread
// (reset at uninstall and start-up behind the callback gate).
#pragma once

#include <HookSlot.hpp>
#include <String/StringType.hpp>

namespace RC::Unreal
{
    class UObject;
}

namespace VEXA
{
    class VEXA_Core;
}

namespace BRMB
{
    class Brambleon
    {
    public:
        Brambleon();

        // Registers the discovery tick callback ("BRMB_EngineBPScan", owner "BRMB").
        auto RegisterDiscovery() -> void;
        auto RegisterHook_BRMB_CPP_RegisterProxy(bool Unused = false) -> bool;
        auto RegisterHook_BRMB_CPP_DestroyedProxy(bool Unused = false) -> bool;
        auto SetNewProxy(RC::Unreal::UObject* NewProxy) -> bool;

        VEXA::VEXA_Core* Core = nullptr;
        float PollElapsed = 0.0f;
        bool ScanComplete = false;
        RC::StringType LibraryPath;
        RC::Unreal::UObject* Library = nullptr;
        VEXA::HookSlot RegisterProxySlot;
        VEXA::HookSlot DestroyedProxySlot;
        RC::Unreal::UObject* Proxy = nullptr;
        VEXA::HookIds AddObjectSelectionSetIDHookIds{0, 0};
        VEXA::HookIds TestDTHookIds{0, 0};
    };

    auto ProxyInstance() -> Brambleon&;
} // namespace BRMB
