// Handlers of the content proxy's hooks: the library's two registry functions and the proxy
// class's two table functions. Each runs on the game thread inside the Blueprint call, within
// the exception boundary.
#pragma once

#include "bridge/hook_bridge.hpp"
#include "core/contract.hpp"

namespace BRMB::ProxyHooks
{
    using Bridge::HookContext;
    using Bridge::HookedFunction;
    using Contract::Hook;

    auto RegisterProxy(HookContext& Context) -> void;
    auto DestroyedProxy(HookContext& Context) -> void;
    auto AddObjectSelectionSetID(HookContext& Context) -> void;
    auto TestDT(HookContext& Context) -> void;

    inline constexpr HookedFunction RegisterProxyHook =
        Hook(STR("BRMB"), STR("BRMB_CPP_RegisterProxy"), &RegisterProxy);
    inline constexpr HookedFunction DestroyedProxyHook =
        Hook(STR("BRMB"), STR("BRMB_CPP_DestroyedProxy"), &DestroyedProxy);
    inline constexpr HookedFunction AddObjectSelectionSetIDHook =
        Hook(STR("BRMB"), STR("BRMB_CPP_AddObjectSelectionSetID"), &AddObjectSelectionSetID);
    inline constexpr HookedFunction TestDTHook = Hook(STR("BRMB"), STR("BRMB_CPP_TestDT"), &TestDT);
} // namespace BRMB::ProxyHooks
