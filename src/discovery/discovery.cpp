// Non-template parts of the discovery mechanism.
#include "discovery/discovery.hpp"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include <UE4SSRuntime.hpp>

#include "bridge/log.hpp"
#include "discovery/library_watch.hpp"

namespace BRMB::Discovery
{
    namespace
    {
        struct KeptTick
        {
            const RC::CharType* Callback; // the Config's constant: compared by address
            RC::Unreal::Hook::GlobalCallbackId Id;
        };

        auto Kept() -> std::vector<KeptTick>&
        {
            static std::vector<KeptTick> Ticks;
            return Ticks;
        }
    } // namespace

    auto FindLibrary(RC::Unreal::UObject*& Library, const RC::StringType& LibraryPath) -> bool
    {
        if (Library == nullptr)
        {
            Library = SeekLibrary(LibraryPath);
        }
        return Library != nullptr;
    }

    auto FindLibraryFunction(VEXA::HookSlot& Slot, RC::StringViewType LibraryPath, RC::StringViewType Function) -> bool
    {
        Slot.Function = SeekLibraryFunction(LibraryPath, RC::StringType(Function));
        return Slot.Function != nullptr;
    }

    auto RegisterTick(const RC::CharType* Owner, const RC::CharType* Callback, RC::Unreal::Hook::EngineTickCallbackWithData Tick)
        -> void
    {
        RC::Unreal::Hook::FCallbackOptions Options;
        Options.OwnerModName = Owner;
        Options.HookName = Callback;
        Kept().reserve(Kept().size() + 1); // room first: a registered callback is always kept
        const RC::Unreal::Hook::GlobalCallbackId Id =
            RC::Unreal::Hook::RegisterEngineTickPreCallback(std::move(Tick), std::move(Options));
        if (Id != 0) // the host's error id
        {
            Kept().push_back({Callback, Id});
        }
    }

    namespace
    {
        // ProcessEvent calls between two looks at the clock: a look costs tens of nanoseconds,
        // and a frame makes thousands of calls, so the clock is still read many times a frame.
        constexpr int CallsPerLook = 64;
        // The shortest poll interval of the three: a run of the steps comes no more often.
        constexpr std::chrono::duration<double> RunInterval{0.1};

        struct DriverStep
        {
            const RC::CharType* Callback;
            StepFunction Step;
            bool Done = false;
        };

        struct ProcessEventDriver
        {
            // Set on the first registration after a start: whether the engine tick is there.
            std::optional<bool> TickAvailable;
            bool Runnable = false; // ProcessEvent is there
            RC::Unreal::Hook::GlobalCallbackId Id = 0;
            std::vector<DriverStep> Steps;
            // Game thread, outside the gate: reset only once the host has removed the callback.
            int CallsLeft = CallsPerLook;
            std::optional<std::chrono::steady_clock::time_point> LastRun;
        };

        // At namespace scope: the idle path must not pay for a first-use check.
        ProcessEventDriver DriverState;

        auto Driver() -> ProcessEventDriver& { return DriverState; }

        // Runs on every ProcessEvent of the game; the calls between looks at the clock cost one
        // decrement and one comparison.
        auto OnProcessEvent(RC::Unreal::Hook::TCallbackIterationData<void>& Data) -> void
        {
            ProcessEventDriver& D = Driver();
            if (--D.CallsLeft > 0)
            {
                return;
            }
            D.CallsLeft = CallsPerLook;
            const auto Now = std::chrono::steady_clock::now();
            if (!D.LastRun)
            {
                D.LastRun = Now;
                return;
            }
            const std::chrono::duration<double> Elapsed = Now - *D.LastRun;
            if (Elapsed < RunInterval)
            {
                return;
            }
            D.LastRun = Now;
            const Bridge::CallbackScope Scope;
            if (!Scope.Open())
            {
                return;
            }
            bool AllDone = true;
            for (DriverStep& Each : D.Steps)
            {
                if (!Each.Done)
                {
                    Each.Done = Each.Step(static_cast<float>(Elapsed.count()));
                    AllDone = AllDone && Each.Done;
                }
            }
            if (AllDone)
            {
                Data.RemoveSelf();
                D.Id = 0;
            }
        }
    } // namespace

    auto JoinProcessEventDriver(const RC::CharType* Callback, StepFunction Step) -> bool
    {
        ProcessEventDriver& D = Driver();
        if (!D.TickAvailable)
        {
            D.TickAvailable = RC::UE4SSRuntime::IsEngineTickAvailable();
            D.Runnable = !*D.TickAvailable && RC::UE4SSRuntime::IsProcessEventAvailable();
            if (!*D.TickAvailable)
            {
                Bridge::LogLine(D.Runnable ? STR("BRMB : The game's engine tick is not available: the Blueprint "
                                                 "libraries are searched for from ProcessEvent instead.")
                                           : STR("BRMB : Neither the engine tick nor ProcessEvent can be hooked in "
                                                 "this game: the services cannot start."));
            }
        }
        if (*D.TickAvailable)
        {
            return false;
        }
        if (!D.Runnable)
        {
            return true;
        }
        D.Steps.push_back({Callback, Step});
        if (D.Id == 0)
        {
            D.Id = RC::Unreal::Hook::RegisterProcessEventPreCallback(
                [](RC::Unreal::Hook::TCallbackIterationData<void>& Data, RC::Unreal::UObject*, RC::Unreal::UFunction*,
                   void*) { OnProcessEvent(Data); },
                {false, false, STR("BRMB"), STR("BRMB_ProcessEventScan")});
        }
        return true;
    }

    auto StopProcessEventDriver() -> void
    {
        ProcessEventDriver& D = Driver();
        if (D.Id != 0)
        {
            RC::Unreal::Hook::UnregisterCallback(std::exchange(D.Id, 0));
        }
        D = ProcessEventDriver();
    }

    auto ForgetTick(const RC::CharType* Callback) -> void
    {
        std::erase_if(Kept(), [Callback](const KeptTick& Tick) { return Tick.Callback == Callback; });
    }

    auto UnregisterTicks() -> void
    {
        const std::vector<KeptTick> Ticks = std::exchange(Kept(), {});
        for (const KeptTick& Tick : Ticks)
        {
            RC::Unreal::Hook::UnregisterCallback(Tick.Id);
        }
    }
} // namespace BRMB::Discovery
