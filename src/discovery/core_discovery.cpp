// Discovery of the core library: one lookup per pass (the library, then each of its seven
// functions in turn), completion on the pass after the last is found, and a time-out line on
// every pass once the time-out accumulator reaches its limit. Game thread only.
#include <VEXA_Core.hpp>

#include "bridge/log.hpp"
#include "discovery/discovery.hpp"

namespace VEXA
{
    namespace
    {
        using BRMB::Discovery::PassResult;

        // Summed per-pass deltas after which the Blueprint side is reported missing. Passes add
        // only their own tick's delta, so this is reached long after 300 s of wall-clock time.
        constexpr float TimeoutLimit = 300.0f;

        struct Step
        {
            HookSlot VEXA_Core::*Slot;
            bool (VEXA_Core::*Register)(bool);
        };

        // The order in which the functions are looked up, one per pass.
        constexpr Step Steps[] = {
            {&VEXA_Core::SendToUE4SSLogSlot, &VEXA_Core::RegisterHook_VEXA_CPP_SendToUE4SSLog},
            {&VEXA_Core::RegisterWorldActorSlot, &VEXA_Core::RegisterHook_VEXA_CPP_RegisterWorldActor},
            {&VEXA_Core::DestroyedWorldActorSlot, &VEXA_Core::RegisterHook_VEXA_CPP_DestroyedWorldActor},
            {&VEXA_Core::GetNamesFromDirSlot, &VEXA_Core::RegisterHook_VEXA_CPP_GetNamesFromDir},
            {&VEXA_Core::GetFileContentsSlot, &VEXA_Core::RegisterHook_VEXA_CPP_GetFileContents},
            {&VEXA_Core::SaveFileSlot, &VEXA_Core::RegisterHook_VEXA_CPP_SaveFile},
            {&VEXA_Core::DoesFileExistSlot, &VEXA_Core::RegisterHook_VEXA_CPP_DoesFileExist},
        };

        auto Pass(VEXA_Core& Core) -> PassResult
        {
            if (Core.Library == nullptr)
            {
                BRMB::Discovery::FindLibrary(Core.Library, Core.LibraryPath);
                return PassResult::Pending;
            }
            for (const Step& Next : Steps)
            {
                if ((Core.*Next.Slot).Function == nullptr)
                {
                    (Core.*Next.Register)(false);
                    return PassResult::Pending;
                }
            }
            return PassResult::Complete;
        }

        auto Interval(const VEXA_Core& Core) -> double
        {
            return static_cast<double>(Core.PollInterval);
        }

        auto WhilePending(VEXA_Core& Core, float DeltaSeconds) -> void
        {
            Core.TimeoutElapsed += DeltaSeconds;
            if (Core.TimeoutElapsed >= TimeoutLimit)
            {
                BRMB::Bridge::LogLine(STR("VEXA_Core:InitTimeOut:BP Components could not all be found or registered! "
                                          "Please ensure the BP side of the mod is installed properly!"));
            }
        }

        constexpr BRMB::Discovery::Config<VEXA_Core> CoreDiscovery{
            .Prefix = STR("VEXA"),
            .Owner = STR("VEXA"),
            .Callback = STR("VEXA_EngineBPScan"),
            .Instance = &CoreInstance,
            .PollElapsed = &VEXA_Core::PollElapsed,
            .ScanComplete = &VEXA_Core::ScanComplete,
            .Interval = &Interval,
            .Pass = &Pass,
            .CompletionLine = STR("VEXA_Core : BP components returned valid! Scan complete!"),
            .WhilePending = &WhilePending,
        };
    } // namespace

    auto VEXA_Core::initialize() -> void
    {
        BRMB::Discovery::Register<CoreDiscovery>();
        BRMB::Bridge::LogLine(STR("VEXA_Core initialize has been ran."));
    }
} // namespace VEXA
