// The content proxy service: the registration operations of its library functions, the
// registry of one proxy object and the hooking of the proxy class's table functions. Game
// thread only.
#include <Brambleon.hpp>

#include <array>

#include <Unreal/UObject.hpp>

#include "bridge/log.hpp"
#include "bridge/param_view.hpp"
#include "bridge/registration.hpp"
#include "discovery/discovery.hpp"
#include "proxy/proxy_hooks.hpp"

namespace BRMB
{
    using Bridge::LogLine;
    using RC::Unreal::UObject;

    Brambleon::Brambleon() : LibraryPath(STR("/Game/Mods/Brambleon/BRMB_BlueprintLibrary.BRMB_BlueprintLibrary_C")) {}

    auto Brambleon::RegisterHook_BRMB_CPP_RegisterProxy(bool) -> bool
    {
        return Discovery::RegisterLibraryHook<ProxyHooks::RegisterProxyHook>(RegisterProxySlot, LibraryPath);
    }

    auto Brambleon::RegisterHook_BRMB_CPP_DestroyedProxy(bool) -> bool
    {
        return Discovery::RegisterLibraryHook<ProxyHooks::DestroyedProxyHook>(DestroyedProxySlot, LibraryPath);
    }

    // Unlike the world actor's registration: no clearing step, no closing line and no test of
    // the returned ids.
    auto Brambleon::SetNewProxy(UObject* NewProxy) -> bool
    {
        LogLine("BRMB : Register Proxy");
        if (NewProxy == nullptr)
        {
            return false;
        }
        if (NewProxy == Proxy)
        {
            return true;
        }
        Proxy = NewProxy;
        const std::array<Bridge::RegisteredObjectFunction, 2> Functions{{
            {ProxyHooks::AddObjectSelectionSetIDHook.Function, &AddObjectSelectionSetIDHookIds,
             &Bridge::HookFunction<ProxyHooks::AddObjectSelectionSetIDHook>,
             "BRMB : Hook : BRMB_CPP_AddObjectSelectionSetID : Function is nullptr"},
            {ProxyHooks::TestDTHook.Function, &TestDTHookIds, &Bridge::HookFunction<ProxyHooks::TestDTHook>,
             "BRMB : Hook : BRMB_CPP_TestDT : Function is nullptr"},
        }};
        Bridge::HookRegisteredObject(*Proxy, Functions);
        return true;
    }
} // namespace BRMB

namespace BRMB::ProxyHooks
{
    auto RegisterProxy(HookContext& Context) -> void
    {
        const Bridge::ParamView Params(Context);
        UObject* const NewProxy = Params.ObjectAt(0);
        if (NewProxy == nullptr)
        {
            LogLine(STR("BRMB : Register Proxy : Passed Proxy is Null"));
            return;
        }
        ProxyInstance().SetNewProxy(NewProxy);
        Params.SetObjectAt(0, nullptr);
        LogLine(STR("BRMB : Register Proxy : Proxy Found?"));
    }

    // Any non-null object ends the registration; the hooks stay.
    auto DestroyedProxy(HookContext& Context) -> void
    {
        const Bridge::ParamView Params(Context);
        if (Params.ObjectAt(0) == nullptr)
        {
            LogLine(STR("BRMB : Destroyed Proxy : Passed Proxy is Null"));
            return;
        }
        ProxyInstance().Proxy = nullptr;
        Params.SetObjectAt(0, nullptr);
    }
} // namespace BRMB::ProxyHooks
