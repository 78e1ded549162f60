// The engine-tick discovery shared by the three services: poll at a fixed interval of gathered
// tick time, run one pass of the service's own lookup and hook work, and on completion log the
// service's line and remove the callback. Every tick runs inside the exception boundary under
// the callback's name. Game thread only.
//
// A service plugs in with one constant Config and one call, for example the content proxy:
//
//     namespace
//     {
//         using BRMB::Discovery::PassResult;
//
//         auto Pass(BRMB::Brambleon& Proxy) -> PassResult
//         {
//             const bool Ready = BRMB::Discovery::FindLibrary(Proxy.Library, Proxy.LibraryPath) &&
//                                Proxy.RegisterHook_BRMB_CPP_RegisterProxy(false) &&
//                                Proxy.RegisterHook_BRMB_CPP_DestroyedProxy(false);
//             return Ready ? PassResult::Complete : PassResult::Pending;
//         }
//         auto Announce(BRMB::Brambleon& Proxy, RC::StringViewType Line) -> void { ... }
//         auto WhilePending(BRMB::Brambleon& Proxy, float Delta) -> void { ... }
//
//         constexpr BRMB::Discovery::Config<BRMB::Brambleon> ProxyDiscovery{
//             .Prefix = STR("BRMB"), .Owner = STR("BRMB"), .Callback = STR("BRMB_EngineBPScan"),
//             .Instance = &BRMB::ProxyInstance, .PollElapsed = &BRMB::Brambleon::PollElapsed,
//             .ScanComplete = &BRMB::Brambleon::ScanComplete, .Interval = &BRMB::Discovery::SlowInterval,
//             .Pass = &Pass, .CompletionLine = STR("Brambleon C++ Tools initiated!"),
//             .Announce = &Announce, .WhilePending = &WhilePending};
//     }
//     auto BRMB::Brambleon::RegisterDiscovery() -> void { BRMB::Discovery::Register<ProxyDiscovery>(); }
#pragma once

#include <String/StringType.hpp>
#include <Unreal/Hooks/Hooks.hpp>

#include "core/guard.hpp"

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
        // Sends the completion line through the service's own log path.
        void (*Announce)(Service&, RC::StringViewType Line);
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

    // The host's registration, with the flags left false and the id dropped.
    auto RegisterTick(const RC::CharType* Owner, const RC::CharType* Callback, RC::Unreal::Hook::EngineTickCallbackWithData Tick)
        -> void;

    template <const auto& S>
    auto Tick(RC::Unreal::Hook::TCallbackIterationData<void>& Data, float DeltaSeconds) -> void
    {
        Guarded(S.Prefix, S.Callback, [&] {
            auto& Service = S.Instance();
            float& Elapsed = Service.*S.PollElapsed;
            Elapsed += DeltaSeconds;
            if (static_cast<double>(Elapsed) < S.Interval(Service))
            {
                return;
            }
            Elapsed = 0.0f;
            if (S.Pass(Service) == PassResult::Complete)
            {
                Service.*S.ScanComplete = true;
                S.Announce(Service, S.CompletionLine);
                Data.RemoveSelf();
                return;
            }
            if (S.WhilePending != nullptr)
            {
                S.WhilePending(Service, DeltaSeconds);
            }
        });
    }

    template <const auto& S>
    auto Register() -> void
    {
        RegisterTick(S.Owner, S.Callback,
                     [](RC::Unreal::Hook::TCallbackIterationData<void>& Data, RC::Unreal::UEngine*, float DeltaSeconds,
                        bool) { Tick<S>(Data, DeltaSeconds); });
    }
} // namespace BRMB::Discovery
