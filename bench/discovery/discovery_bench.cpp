// What discovery costs the game: a minute of game time at 60 frames a second with a game's worth
// of live objects, in five states of the Blueprint half, timing the discovery callbacks of every
// frame. Two designs run side by side in one process: the mod as built, and a replica of a lookup
// by path on every pass (the host's FindObject, which walks the object array and never caches a
// miss), on the mod's poll intervals and in the mod's order of lookups.
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <DynamicOutput/DynamicOutput.hpp>
#include <DynamicOutput/OutputDevice.hpp>
#include <Sim/Engine.hpp>
#include <Unreal/Hooks/Hooks.hpp>
#include <Unreal/UObjectGlobals.hpp>

#include "blueprint_half.hpp"

namespace
{
    using BlueprintHalf::Library;
    using RC::StringType;
    using RC::StringViewType;
    using RC::Sim::Engine;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;
    namespace Hook = RC::Unreal::Hook;

    constexpr float FrameSeconds = 1.0f / 60.0f;

    const StringType CoreDone = STR("VEXA_Core : BP components returned valid! Scan complete!\n");
    const StringType AnimDone = STR("VEXA_Anim : BP Components Valid!\n");
    const StringType ProxyDone = STR("Brambleon C++ Tools initiated!\n");

    // The frame on which each completion line arrives; -1 while it has not.
    struct Completions
    {
        long Core = -1;
        long Anim = -1;
        long Proxy = -1;
    };

    long CurrentFrame = 0;
    Completions Seen;

    class CompletionDevice final : public RC::Output::OutputDevice
    {
    public:
        [[nodiscard]] auto has_optional_arg() const -> bool override { return true; }
        auto receive(StringViewType Text) const -> void override { Note(Text); }
        auto receive_with_optional_arg(StringViewType Text, int32_t) const -> void override { Note(Text); }

    private:
        static auto Note(StringViewType Text) -> void
        {
            for (auto [Line, Frame] : {std::pair{&CoreDone, &Seen.Core}, std::pair{&AnimDone, &Seen.Anim},
                                       std::pair{&ProxyDone, &Seen.Proxy}})
            {
                if (Text == *Line && *Frame < 0)
                {
                    *Frame = CurrentFrame;
                }
            }
        }
    };

    struct Case
    {
        const char* Name;
        std::function<void(BlueprintHalf::Options&)> Shape;
        double ShowAt = -1.0; // seconds; every library hidden until then
    };

    auto Cases() -> std::vector<Case>
    {
        return {
            {"absent", [](BlueprintHalf::Options& O) { O.Omit = {Library::Core, Library::Anim, Library::Proxy}; }},
            {"present", [](BlueprintHalf::Options&) {}},
            {"loaded at 10 s", [](BlueprintHalf::Options& O) { O.Hidden = {Library::Core, Library::Anim, Library::Proxy}; },
             10.0},
            {"no DoesFileExist", [](BlueprintHalf::Options& O) { O.OmitFunctions = {STR("VEXA_CPP_DoesFileExist")}; }},
            {"no proxy library", [](BlueprintHalf::Options& O) { O.Omit = {Library::Proxy}; }},
        };
    }

    // --- the replica of a lookup by path on every pass ----------------------------------------

    auto Find(const StringType& Path) -> UObject*
    {
        return RC::Unreal::UObjectGlobals::FindObject(nullptr, nullptr, Path.c_str(), false, nullptr);
    }

    auto Say(const StringType& Line) -> void { RC::Output::send(Line); }

    struct Replica
    {
        struct Service
        {
            StringType Path;
            std::vector<StringType> Functions; // in the order of lookup
            double Interval;
            bool OnePerPass; // the core: the library, then one function per pass
            const StringType* Done;
            const RC::CharType* Pending; // logged on a pass that does not complete, or null
            float Elapsed = 0.0f;
            UObject* Found = nullptr;
            std::vector<UObject*> Slots;
        };
        std::vector<Service> Services;

        static auto Empty() -> RC::Unreal::UnrealScriptFunctionCallable
        {
            return [](RC::Unreal::UnrealScriptFunctionCallableContext&, void*) {};
        }

        // True when the service completes on this pass.
        static auto Pass(Service& S) -> bool
        {
            if (S.Found == nullptr)
            {
                S.Found = Find(S.Path);
                if (S.Found == nullptr || S.OnePerPass)
                {
                    return false;
                }
            }
            for (size_t Index = 0; Index < S.Functions.size(); ++Index)
            {
                if (S.Slots[Index] != nullptr)
                {
                    continue;
                }
                S.Slots[Index] = Find(S.Path + STR(":") + S.Functions[Index]);
                if (S.Slots[Index] == nullptr)
                {
                    return false;
                }
                RC::Unreal::UObjectGlobals::RegisterHook(static_cast<UFunction*>(S.Slots[Index]), Empty(), Empty(), nullptr);
                if (S.OnePerPass)
                {
                    return false;
                }
            }
            return true;
        }

        auto Register() -> void
        {
            Services = {
                {BlueprintHalf::CoreLibraryPath,
                 {STR("VEXA_CPP_SendToUE4SSLog"), STR("VEXA_CPP_RegisterWorldActor"), STR("VEXA_CPP_DestroyedWorldActor"),
                  STR("VEXA_CPP_GetNamesFromDir"), STR("VEXA_CPP_GetFileContents"), STR("VEXA_CPP_SaveFile"),
                  STR("VEXA_CPP_DoesFileExist")},
                 0.1, true, &CoreDone, nullptr, 0.0f, nullptr, {}},
                {BlueprintHalf::AnimLibraryPath, {STR("VEXA_Anim_CPP_GetResponse")}, 0.2, false, &AnimDone, nullptr, 0.0f, nullptr, {}},
                {BlueprintHalf::ProxyLibraryPath, {STR("BRMB_CPP_RegisterProxy"), STR("BRMB_CPP_DestroyedProxy")}, 0.2,
                 false, &ProxyDone, STR("Brambleon C++ Tools not yet initiated\n"), 0.0f, nullptr, {}},
            };
            for (Service& S : Services)
            {
                S.Slots.assign(S.Functions.size(), nullptr);
                Service* const Target = &S;
                Hook::RegisterEngineTickPreCallback(
                    [Target](Hook::TCallbackIterationData<void>& Data, RC::Unreal::UEngine*, float Delta, bool) {
                        Service& Current = *Target;
                        Current.Elapsed += Delta;
                        if (static_cast<double>(Current.Elapsed) < Current.Interval)
                        {
                            return;
                        }
                        Current.Elapsed = 0.0f;
                        if (Pass(Current))
                        {
                            Say(*Current.Done);
                            Data.RemoveSelf();
                        }
                        else if (Current.Pending != nullptr)
                        {
                            Say(Current.Pending);
                        }
                    },
                    {false, false, STR("Replica"), STR("Scan")});
            }
        }
    };

    // CPU time of this thread: on a shared machine a frame's wall time includes the moments the
    // scheduler gave the core to someone else.
    auto ThreadMicroseconds() -> double
    {
        timespec Now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
        return static_cast<double>(Now.tv_sec) * 1e6 + static_cast<double>(Now.tv_nsec) / 1e3;
    }

    // --- one run ------------------------------------------------------------------------------

    struct Result
    {
        double AverageUs = 0.0;
        double WorstUs = 0.0;
        long WorstFrame = 0;
        double UntilDoneMs = 0.0; // mod time summed over the frames up to the last completion
        Completions Done;
    };

    auto Run(size_t Objects, const Case& Shape, bool Mod, double Seconds) -> Result
    {
        Engine& Sim = Engine::Reset();
        auto& Devices = RC::Output::DefaultTargets::get_default_devices_ref();
        Devices.clear();
        Devices.push_back(std::make_unique<CompletionDevice>());
        // The game's objects come first; the mod's content loads after them.
        Sim.AddFiller(Objects, std::max<size_t>(1, Objects / 1000));
        BlueprintHalf::Options Choices;
        Shape.Shape(Choices);
        const BlueprintHalf::Half Half = BlueprintHalf::Build(Sim, Choices);
        Seen = {};
        CurrentFrame = 0;

        std::optional<RC::Sim::LoadedMod> Loaded;
        Replica Old;
        if (Mod)
        {
            Loaded.emplace(BRAMBLEON_MOD_PATH);
            Loaded->UnrealInit();
        }
        else
        {
            Old.Register();
        }
        const auto Frames = static_cast<long>(Seconds * 60.0 + 0.5);
        std::vector<double> Times;
        Times.reserve(static_cast<size_t>(Frames));
        bool Shown = false;
        for (long Frame = 0; Frame < Frames; ++Frame)
        {
            CurrentFrame = Frame;
            if (!Shown && Shape.ShowAt >= 0.0 && static_cast<double>(Frame) * FrameSeconds >= Shape.ShowAt)
            {
                for (const Library Which : {Library::Core, Library::Anim, Library::Proxy})
                {
                    Half.Show(Sim, Which);
                }
                Shown = true;
            }
            const double Start = ThreadMicroseconds();
            Sim.Tick(FrameSeconds);
            Times.push_back(ThreadMicroseconds() - Start);
        }
        Result Out;
        Out.Done = Seen;
        double Sum = 0.0;
        for (size_t Index = 0; Index < Times.size(); ++Index)
        {
            Sum += Times[Index];
            if (Times[Index] > Out.WorstUs)
            {
                Out.WorstUs = Times[Index];
                Out.WorstFrame = static_cast<long>(Index);
            }
        }
        Out.AverageUs = Sum / static_cast<double>(Times.size());
        const long Last = std::max({Seen.Core, Seen.Anim, Seen.Proxy});
        for (long Frame = 0; Frame <= Last && Frame < static_cast<long>(Times.size()); ++Frame)
        {
            Out.UntilDoneMs += Times[static_cast<size_t>(Frame)] / 1000.0;
        }
        Loaded.reset();
        Engine::Reset();
        return Out;
    }

    auto Median(std::vector<double> Values) -> double
    {
        std::sort(Values.begin(), Values.end());
        return Values[Values.size() / 2];
    }

    auto FrameText(long Frame) -> std::string
    {
        return Frame < 0 ? std::string("—") : fmt::format("{} ({:.2f} s)", Frame, static_cast<double>(Frame + 1) / 60.0);
    }
} // namespace

auto main(int argc, char** argv) -> int
{
    std::vector<size_t> ObjectCounts{100'000, 300'000};
    double Seconds = 60.0;
    int Repeats = 1;
    std::vector<std::string> Designs{"replica", "mod"};
    CLI::App App{"Times the discovery callbacks of every frame over a minute of game time with a game's worth of objects."};
    App.add_option("--objects", ObjectCounts, "filler objects in the engine, one run per count")->capture_default_str();
    App.add_option("--seconds", Seconds, "game time per run")->capture_default_str();
    App.add_option("--repeat", Repeats, "runs per row; the table shows medians")->capture_default_str()->check(CLI::PositiveNumber);
    App.add_option("--designs", Designs, "replica (a lookup by path on every pass), mod (the mod as built)")
        ->capture_default_str();
    CLI11_PARSE(App, argc, argv);

    fmt::print("| Objects | Blueprint half | Design | Average per frame | Worst frame | Core complete | Animation complete "
               "| Proxy complete | Mod time until the last completion |\n|---|---|---|---|---|---|---|---|---|\n");
    for (const size_t Objects : ObjectCounts)
    {
        for (const Case& Shape : Cases())
        {
            for (const auto& Design : Designs)
            {
                std::vector<double> Average;
                std::vector<double> Worst;
                std::vector<double> Until;
                Result Last;
                for (int Repeat = 0; Repeat < Repeats; ++Repeat)
                {
                    Last = Run(Objects, Shape, Design == "mod", Seconds);
                    Average.push_back(Last.AverageUs);
                    Worst.push_back(Last.WorstUs);
                    Until.push_back(Last.UntilDoneMs);
                }
                const bool AnyDone = std::max({Last.Done.Core, Last.Done.Anim, Last.Done.Proxy}) >= 0;
                fmt::print("| {} | {} | {} | {:.2f} µs | {:.0f} µs | {} | {} | {} | {} |\n", Objects, Shape.Name,
                           Design == "mod" ? "listener and slices" : "lookup by path", Median(Average), Median(Worst),
                           FrameText(Last.Done.Core), FrameText(Last.Done.Anim), FrameText(Last.Done.Proxy),
                           AnyDone ? fmt::format("{:.2f} ms", Median(Until)) : std::string("—"));
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
