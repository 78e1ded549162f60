// The content proxy service: its library discovery, the registry of one proxy object and the
// hooking of the proxy class's table functions. Game thread only.
#include <Brambleon.hpp>

#include <array>
#include <string>
#include <string_view>

#include <Unreal/Hooks.hpp>
#include <Unreal/UObject.hpp>
#include <Unreal/UObjectGlobals.hpp>
#include <VEXA_Core.hpp>
#include <log_bridge.hpp>

#include "core/adoption.hpp"
#include "core/guard.hpp"
#include "core/param_view.hpp"
#include "proxy/proxy_hooks.hpp"

namespace BRMB
{
    using RC::Unreal::UObject;

    namespace
    {
        // Compared in double precision against the single-precision accumulator.
        constexpr double PollInterval = 0.2;

        auto Scan(RC::Unreal::Hook::TCallbackIterationData<void>& Iteration, float DeltaSeconds) -> void
        {
            auto& Service = ProxyInstance();
            Service.PollElapsed += DeltaSeconds;
            if (Service.PollElapsed < PollInterval)
            {
                return;
            }
            Service.PollElapsed = 0.0f;

            if (Service.Library == nullptr)
            {
                Service.Library = RC::Unreal::UObjectGlobals::FindObject(nullptr, nullptr, Service.LibraryPath.c_str(),
                                                                         false, nullptr);
            }
            const bool Ready = Service.Library != nullptr && Service.RegisterHook_BRMB_CPP_RegisterProxy(false) &&
                               Service.RegisterHook_BRMB_CPP_DestroyedProxy(false);
            if (!Ready)
            {
                ProxyHooks::SayWide(STR("Brambleon C++ Tools not yet initiated"));
                return;
            }
            Service.ScanComplete = true;
            ProxyHooks::SayWide(STR("Brambleon C++ Tools initiated!"));
            Iteration.RemoveSelf();
        }
    } // namespace

    Brambleon::Brambleon() : LibraryPath(STR("/Game/Mods/Brambleon/BRMB_BlueprintLibrary.BRMB_BlueprintLibrary_C")) {}

    auto Brambleon::RegisterDiscovery() -> void
    {
        RC::Unreal::Hook::FCallbackOptions Options;
        Options.OwnerModName = STR("BRMB");
        Options.HookName = STR("BRMB_EngineBPScan");
        RC::Unreal::Hook::RegisterEngineTickPreCallback(
            [](RC::Unreal::Hook::TCallbackIterationData<void>& Iteration, RC::Unreal::UEngine*, float DeltaSeconds,
               bool) { Guarded(STR("BRMB"), STR("BRMB_EngineBPScan"), [&] { Scan(Iteration, DeltaSeconds); }); },
            Options);
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
