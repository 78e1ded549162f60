// The reporter: what the simulator prints besides the UE4SS log itself (scenario and step
// headings, failures with what was expected and what was seen, the closing summary), and the
// log devices a run prints and records the log through.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <Sim/Engine.hpp>

#include "sim/scenario.hpp"

namespace BRMB::Sim
{
    struct Options
    {
        std::string ModPath;
        std::optional<std::string> LogFile; // absolute, UTF-8
        bool Quiet = false;
        bool Colour = false;
        bool KeepWorkdir = false;
        std::optional<std::string> JUnit; // absolute, UTF-8
    };

    // What a scenario's process left for the simulator that started it: the step it was in, the
    // log lines so far and, when it ran to its end, its record.
    struct Trail
    {
        size_t Step = 0;
        std::vector<std::string> Lines;
        std::optional<std::string> Record;
        std::string Workdir; // UTF-8; empty before it was made
        bool CannotRun = false; // the process said why on its standard error
    };
    [[nodiscard]] auto ReadTrail(const std::string& Utf8Path) -> Trail;

    class Reporter
    {
    public:
        Reporter(std::ostream& Out, const Options& Settings);

        // Installs the devices of a run on a freshly reset engine: the capture the expectations
        // read, the console (unless quiet) and the log file. Null with no devices at all.
        auto InstallDevices(RC::Sim::Engine& Engine, bool NoDevices) -> RC::Sim::CaptureDevice*;

        auto BeginScenario(const Scenario& Plan) -> void;
        auto BeginStep(const Step& Current) -> void;
        // Printed unless quiet, or always.
        auto Note(const std::string& Text, bool Always = false) -> void;
        auto Held(const Step& Current) -> void;
        // Expected and Seen may span several lines.
        auto Failed(const Scenario& Plan, const Step* Current, const std::string& What, const std::string& Expected,
                    const std::string& Seen) -> void;
        auto EndScenario(const Scenario& Plan, bool Passed) -> void;
        // A scenario that cannot run on this platform; it neither passes nor fails.
        auto Skipped(const Scenario& Plan, const std::string& Reason) -> void;
        // A scenario whose process ended before it did: the step it was in (0 before the first),
        // how it ended and its last log lines.
        auto Crashed(const Scenario& Plan, size_t StepIndex, const std::string& How,
                     const std::vector<std::string>& LastLines) -> void;
        // Prints the summary; true when every expectation held.
        auto Summary() -> bool;
        // The results as JUnit XML: one test case per scenario.
        auto WriteJUnit(std::ostream& Xml) const -> void;

        // In a scenario's process: steps and log lines go to Trail as they happen, so the
        // simulator that started it can say where it crashed.
        auto KeepTrail(std::ostream& Trail) -> void;
        // In a scenario's process: the working folder, which a crash leaves for the simulator
        // that started the process to remove.
        auto WorkingFolder(const std::string& Utf8Path) -> void;
        // In a scenario's process: the simulator itself could not run the scenario.
        auto CannotRun() -> void;
        // The last scenario's results, for the simulator that started this process.
        [[nodiscard]] auto Record() const -> std::string;
        // Takes over a scenario's results from its process.
        auto Adopt(const std::string& Record) -> void;

    private:
        struct Tally
        {
            std::string Name;
            size_t Held = 0;
            size_t Failed = 0;
            bool Passed = true;
            bool Skipped = false;
            std::vector<Tally> Sections;
            std::string File;
            std::vector<std::string> Failures; // step, what, expected and seen, for JUnit
            std::string SkipReason;
        };
        auto Count(const Step* Current, bool Held) -> void;
        auto PrintTally(const Tally& Item, size_t Width) const -> void;
        auto Paint(const char* Code, const std::string& Text) const -> std::string;

        std::ostream& Out;
        const Options& Settings;
        std::vector<Tally> Scenarios;
        size_t Steps = 0;
        std::ostream* TrailOut = nullptr;
    };

    // A step in a few words, e.g. "call VEXA_CPP_SaveFile on VEXA".
    [[nodiscard]] auto Describe(const Step& Current) -> std::string;
    // Text as a quoted JSON string (escapes shown).
    [[nodiscard]] auto Quote(const std::string& Text) -> std::string;
} // namespace BRMB::Sim
