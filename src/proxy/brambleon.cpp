// The content proxy service: its library discovery, the registry of one proxy object and the
// hooking of the proxy class's table functions. Game thread only.
#include <Brambleon.hpp>

#include <array>
#include <string>
#include <string_view>

#include <Unreal/UObject.hpp>
#include <VEXA_Core.hpp>
#include <log_bridge.hpp>

#include "core/adoption.hpp"
#include "core/param_view.hpp"
#include "discovery/discovery.hpp"
#include "proxy/proxy_hooks.hpp"

namespace BRMB
{
    using RC::Unreal::UObject;

    namespace
    {
        using Discovery::PassResult;

        // The library, then both registry functions; a function found once is not looked up again.
        auto Pass(Brambleon& Service) -> PassResult
        {
            const bool Ready = Discovery::FindLibrary(Service.Library, Service.LibraryPath) &&
                               Service.RegisterHook_BRMB_CPP_RegisterProxy(false) &&
                               Service.RegisterHook_BRMB_CPP_DestroyedProxy(false);
            return Ready ? PassResult::Complete : PassResult::Pending;
        }

        auto Announce(Brambleon&, RC::StringViewType Line) -> void
        {
            ProxyHooks::SayWide(Line);
        }

        auto WhilePending(Brambleon&, float) -> void
        {
            ProxyHooks::SayWide(STR("Brambleon C++ Tools not yet initiated"));
        }

        constexpr Discovery::Config<Brambleon> ProxyDiscovery{
            .Prefix = STR("BRMB"),
            .Owner = STR("BRMB"),
            .Callback = STR("BRMB_EngineBPScan"),
            .Instance = &ProxyInstance,
            .PollElapsed = &Brambleon::PollElapsed,
            .ScanComplete = &Brambleon::ScanComplete,
            .Interval = &Discovery::SlowInterval<Brambleon>,
            .Pass = &Pass,
            .CompletionLine = STR("Brambleon C++ Tools initiated!"),
            .Announce = &Announce,
            .WhilePending = &WhilePending,
        };
    } // namespace

    Brambleon::Brambleon() : LibraryPath(STR("/Game/Mods/Brambleon/BRMB_BlueprintLibrary.BRMB_BlueprintLibrary_C")) {}

    auto Brambleon::RegisterDiscovery() -> void
    {
        Discovery::Register<ProxyDiscovery>();
    }

    auto Brambleon::RegisterHook_BRMB_CPP_RegisterProxy(bool) -> bool
    {
        return RegisterLibraryHook<ProxyHooks::RegisterProxySpec>(RegisterProxySlot, LibraryPath);
    }

    auto Brambleon::RegisterHook_BRMB_CPP_DestroyedProxy(bool) -> bool
    {
        return RegisterLibraryHook<ProxyHooks::DestroyedProxySpec>(DestroyedProxySlot, LibraryPath);
    }

    // Unlike the world actor's adoption: no clearing step, no closing line and no test of the
    // returned ids.
    auto Brambleon::SetNewProxy(UObject* NewProxy) -> bool
    {
        ProxyHooks::SayNarrow("BRMB : Register Proxy");
        if (NewProxy == nullptr)
        {
            return false;
        }
        if (NewProxy == Proxy)
        {
            return true;
        }
        Proxy = NewProxy;
        const std::array<AdoptedFunction, 2> Functions{{
            {ProxyHooks::AddObjectSelectionSetIDSpec.Function, &AddObjectSelectionSetIDHookIds,
             &HookFunction<ProxyHooks::AddObjectSelectionSetIDSpec>,
             "BRMB : Hook : BRMB_CPP_AddObjectSelectionSetID : Function is nullptr"},
            {ProxyHooks::TestDTSpec.Function, &TestDTHookIds, &HookFunction<ProxyHooks::TestDTSpec>,
             "BRMB : Hook : BRMB_CPP_TestDT : Function is nullptr"},
        }};
        HookAdoptedFunctions(*Proxy, Functions, [](std::string_view Line) { ProxyHooks::SayNarrow(Line); });
        return true;
    }
} // namespace BRMB

namespace BRMB::ProxyHooks
{
    // Core is set by start-up before the discovery that creates every hook; the shared bridge
    // stands in only so that a line is never sent through a null pointer.
    auto SayWide(RC::StringViewType Text) -> void
    {
        if (auto* const Core = ProxyInstance().Core)
        {
            Core->LogWide(RC::StringType(Text), false);
            return;
        }
        Log::Wide(Text, false);
    }

    auto SayNarrow(std::string_view Text) -> void
    {
        if (auto* const Core = ProxyInstance().Core)
        {
            Core->LogNarrow(std::string(Text), false);
            return;
        }
        Log::Narrow(Text, false);
    }

    auto RegisterProxy(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        UObject* const NewProxy = Params.ObjectAt(0);
        if (NewProxy == nullptr)
        {
            SayWide(STR("BRMB : Register Proxy : Passed Proxy is Null"));
            return;
        }
        ProxyInstance().SetNewProxy(NewProxy);
        Params.SetObjectAt(0, nullptr);
        SayWide(STR("BRMB : Register Proxy : Proxy Found?"));
    }

    // Any non-null object ends the registration; the hooks stay.
    auto DestroyedProxy(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        if (Params.ObjectAt(0) == nullptr)
        {
            SayWide(STR("BRMB : Destroyed Proxy : Passed Proxy is Null"));
            return;
        }
        ProxyInstance().Proxy = nullptr;
        Params.SetObjectAt(0, nullptr);
    }
} // namespace BRMB::ProxyHooks
