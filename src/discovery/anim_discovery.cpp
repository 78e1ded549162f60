// Discovery of the animation library: the pass that finds the library goes on to hook its one
// function and completes when that is found; silent while anything is missing. Game thread only.
#include <VEXA_Anim_Core.hpp>

#include "bridge/log.hpp"
#include "discovery/discovery.hpp"

namespace VEXA_Anim
{
    namespace
    {
        using BRMB::Discovery::PassResult;

        auto Pass(VEXA_Anim_Core& Anim) -> PassResult
        {
            if (!BRMB::Discovery::FindLibrary(Anim.Library, Anim.LibraryPath))
            {
                return PassResult::Pending;
            }
            return Anim.RegisterHook_VEXA_Anim_CPP_GetResponse(false) ? PassResult::Complete : PassResult::Pending;
        }

        constexpr BRMB::Discovery::Config<VEXA_Anim_Core> AnimDiscovery{
            .Prefix = STR("VEXA_Anim"),
            .Owner = STR("VEXA_Anim_Core"),
            .Callback = STR("VEXA_Anim_EngineBPScan"),
            .Instance = &AnimInstance,
            .PollElapsed = &VEXA_Anim_Core::PollElapsed,
            .ScanComplete = &VEXA_Anim_Core::ScanComplete,
            .Interval = &BRMB::Discovery::SlowInterval<VEXA_Anim_Core>,
            .Pass = &Pass,
            .CompletionLine = STR("VEXA_Anim : BP Components Valid!"),
            .WhilePending = nullptr,
        };
    } // namespace

    auto VEXA_Anim_Core::initialize(VEXA::VEXA_Core* CoreServices) -> void
    {
        Core = CoreServices;
        BRMB::Discovery::Register<AnimDiscovery>();
        BRMB::Bridge::LogLine(STR("VEXA_Anim_Core initialize has been ran."));
    }
} // namespace VEXA_Anim
