// One scenario being played: the engine, the loaded mod and what the steps left behind for
// later checks. Playing lives in runner.cpp; each kind of expectation is checked in its own
// run_*.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <Mod/CppUserModBase.hpp>
#include <Sim/Engine.hpp>
#include <Unreal/FString.hpp>

#include "sim/report.hpp"
#include "sim/rows.hpp"
#include "sim/scenario.hpp"
#include "sim/world.hpp"

namespace BRMB::Sim
{
    // A line the mod logged during a step.
    struct SeenLine
    {
        std::string Text; // without its newline
        int32_t Level;
        bool Newline;
    };

    [[nodiscard]] auto ShowLines(const std::vector<SeenLine>& Lines) -> std::string;
    // Bytes as blank-separated pairs of hex digits.
    [[nodiscard]] auto Hex(const std::string& Bytes) -> std::string;
    [[nodiscard]] auto ShowNames(const std::vector<std::string>& Names) -> std::string;
    [[nodiscard]] auto Sorted(std::vector<std::string> Names) -> std::vector<std::string>;

    class Run
    {
    public:
        Run(const Scenario& InPlan, const Options& InSettings, Reporter& InReport);

        auto Play() -> bool;

    private:
        using UninstallFunction = void (*)(RC::CppUserModBase*);

        struct HeaderExpect
        {
            std::optional<int32_t> Capacity;
            std::optional<int32_t> Count;
            std::optional<bool> Moved;
        };

        auto PlayStep(const Step& Current) -> bool;
        auto Fail(const Step& Current, const std::string& What, const std::string& Expected, const std::string& Seen) -> void;
        auto Check(const Step& Current, bool Holds, const std::string& What, const std::string& Expected,
                   const std::string& Seen) -> void;
        auto Snapshot(const Step& Current) -> void;
        auto Tick(const Step& Current) -> void;
        [[nodiscard]] auto ObjectFor(const Value& Reference) const -> RC::Unreal::UObject*;
        [[nodiscard]] auto NameOf(const RC::Unreal::UObject* Object) const -> std::string;
        auto Bind(const Step& Current, const std::string& As, RC::Unreal::UObject* Found, const std::string& What) -> void;

        // run_log.cpp
        [[nodiscard]] auto LineCount() const -> size_t;
        [[nodiscard]] auto LinesSince(size_t First) const -> std::vector<SeenLine>;
        auto CheckLog(const Step& Current, const std::vector<SeenLine>& Lines) -> void;

        // run_calls.cpp: calls, exports and members, and what they answered
        auto Call(const Step& Current) -> std::unique_ptr<RC::Sim::ParamBlock>;
        auto CheckParams(const Step& Current, const RC::Sim::ParamBlock& Params) -> void;
        [[nodiscard]] auto UninstallExport() const -> UninstallFunction;
        auto Export(const Step& Current) -> void;
        auto CheckAnswers(const Step& Current) -> void;
        [[nodiscard]] auto ConsumerPath() const -> std::string;
        template <typename Function>
        [[nodiscard]] auto ConsumerFunction(const char* Name) const -> Function;
        auto Member(const Step& Current) -> void;
        auto CheckMemberAnswer(const Step& Current) -> void;

        // run_objects.cpp: variables, constructions and live objects
        [[nodiscard]] auto VariableStorage(const VariableExpect& Expected) const -> const void*;
        auto CheckVariable(const Step& Current, const VariableExpect& Expected) -> void;
        auto CheckHeader(const Step& Current, const std::string& What, const ArrayContents& Contents,
                         const HeaderExpect& Expected, const std::string& Key) -> void;
        auto CheckConstructed(const Step& Current, const std::vector<ConstructExpect>& Wanted) -> void;
        auto CheckLiveObjects(const Step& Current) -> void;

        // run_rows.cpp
        [[nodiscard]] auto RowMemory(const RowExpect& Row) const -> uint8_t*;
        [[nodiscard]] auto RowSize(const RowExpect& Row) const -> size_t;
        [[nodiscard]] static auto RowKey(const RowExpect& Row) -> std::string;
        auto CheckRow(const Step& Current, const RowExpect& Row) -> void;

        // run_host.cpp: what the mod registered with the host and left on disk
        auto CheckHooks(const Step& Current) -> void;
        auto CheckFiles(const Step& Current) -> void;

        const Scenario& Plan;
        const Options& Settings;
        Reporter& Report;
        World Built;
        RC::Sim::Engine& Engine;
        RC::Sim::CaptureDevice* Capture = nullptr;
        std::unique_ptr<RC::Sim::LoadedMod> Mod;
        double Now = 0.0;
        bool StepHeld = true;
        size_t ConstructionsBefore = 0;
        std::vector<RC::CppUserModBase*> StartedMods; // by start_mod steps, still installed
        std::map<std::string, void*> Answers;        // of exports, by the name a step gave
        std::unique_ptr<RC::Sim::LoadedLibrary> ConsumerModule; // loaded by the first member step
        std::optional<std::string> NarrowAnswer;          // of the last member step
        std::optional<RC::Unreal::FString> EngineAnswer;
        std::map<std::string, const void*> StorageBefore;
        std::map<std::string, std::string> RowsBefore;
    };
} // namespace BRMB::Sim
