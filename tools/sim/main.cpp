// brambleon-sim: loads the built mod into the stand-in host as UE4SS does, plays scripted
// Blueprint sides against it and prints the UE4SS log. Exit 0: every expectation held; 1: one
// failed (or its mod crashed); 2: a scenario (or the command line) is invalid and nothing ran;
// 3: the simulator could not run (the mod cannot be loaded, no working folder).
//
// Each scenario runs in a process of its own: this program started again with --trail and the
// one scenario. That process prints as usual and writes its steps, its log lines and finally its
// results to the trail file, from which this one learns the results, or where a crash happened.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <vector>

#include <CLI/CLI.hpp>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

#include "sim/demo.hpp"
#include "sim/loader.hpp"
#include "sim/paths.hpp"
#include "sim/process.hpp"
#include "sim/report.hpp"
#include "sim/runner.hpp"
#include "sim/workdir.hpp"

namespace
{
    constexpr int ExitPassed = 0;
    constexpr int ExitFailed = 1;
    constexpr int ExitInvalid = 2;
    constexpr int ExitCannotRun = 3;

    auto StdoutIsTerminal() -> bool
    {
#if defined(_WIN32)
        return _isatty(_fileno(stdout)) != 0;
#else
        return isatty(fileno(stdout)) != 0;
#endif
    }

    // Files are opened after the run has entered its working folder.
    auto Absolute(const std::string& Utf8Path) -> std::string
    {
        return BRMB::Sim::PathToUtf8(std::filesystem::absolute(BRMB::Sim::PathFromUtf8(Utf8Path)));
    }

    // How many of a crashed scenario's last log lines are shown.
    constexpr size_t CrashLines = 10;

    // Runs one scenario in this process, writing its trail; the exit code tells only whether it
    // passed, the trail holds the rest.
    auto RunHere(const BRMB::Sim::Scenario& Plan, const BRMB::Sim::Options& Settings, const std::string& TrailFile) -> int
    {
        using namespace BRMB::Sim;
        QuietCrashes();
        std::ofstream Trail(PathFromUtf8(TrailFile), std::ios::binary | std::ios::trunc);
        Reporter Report(std::cout, Settings);
        Report.KeepTrail(Trail);
        try
        {
            const bool Passed = RunScenario(Plan, Settings, Report);
            Trail << "record " << Report.Record() << "\n" << std::flush;
            return Passed ? ExitPassed : ExitFailed;
        }
        catch (const RunError& Error)
        {
            std::cerr << "brambleon-sim: " << Error.what() << "\n";
            Report.CannotRun();
            return ExitCannotRun;
        }
    }

    auto TrailPath() -> std::string
    {
        std::random_device Seed;
        return BRMB::Sim::PathToUtf8(std::filesystem::temp_directory_path() /
                                     ("brambleon-sim-trail-" + std::to_string(Seed()) + std::to_string(Seed()) + ".txt"));
    }
} // namespace

auto main(int argc, char** argv) -> int
{
    using namespace BRMB::Sim;

    Options Settings;
    Settings.ModPath = BRAMBLEON_SIM_MOD_PATH;
    std::vector<std::string> Files;
    std::string LogFile;
    std::string JUnitFile;
    std::string TrailFile;

    CLI::App App{"Runs the Brambleon mod in the stand-in UE4SS host against scripted Blueprint sides.\n"
                 "With no file, runs the built-in demo of every service."};
    App.add_option("files", Files, "Scenario files (JSON) to run in order");
    App.add_option("--mod", Settings.ModPath, "The built mod to load instead of this build's");
    App.add_option("--log", LogFile, "Also write the UE4SS log to this file");
    App.add_flag("-q,--quiet", Settings.Quiet, "Print only failures and the summary");
    App.add_flag("--keep-workdir", Settings.KeepWorkdir, "Keep each scenario's working folder and print its path");
    App.add_option("--junit", JUnitFile, "Also write the results as JUnit XML to this file");
    bool PrintSchema = false;
    App.add_flag("--schema", PrintSchema, "Print the scenario format as a JSON Schema (docs/scenario.schema.json) and exit");
    // Internal: run the one scenario given in this process, leaving its trail in this file.
    App.add_option("--trail", TrailFile)->group("");
    try
    {
        App.parse(argc, argv);
    }
    catch (const CLI::ParseError& Error)
    {
        return App.exit(Error) == 0 ? ExitPassed : ExitInvalid;
    }
    if (PrintSchema)
    {
        std::cout << ScenarioSchema() << std::flush;
        return ExitPassed;
    }

    Settings.Colour = !Settings.Quiet && StdoutIsTerminal();
    Settings.ModPath = Absolute(Settings.ModPath);

    // Every scenario is read and checked before any of them runs.
    std::vector<Scenario> Plans;
    try
    {
        if (Files.empty())
        {
            Plans.push_back(ParseScenario(DemoScenario(), "built-in demo"));
        }
        for (const auto& File : Files)
        {
            Plans.push_back(LoadScenario(File));
        }
        for (const auto& Plan : Plans)
        {
            Validate(Plan);
        }
    }
    catch (const InvalidScenario& Error)
    {
        std::cerr << "brambleon-sim: invalid scenario: " << Error.what() << "\n";
        return ExitInvalid;
    }

    if (!TrailFile.empty())
    {
        if (Plans.size() != 1)
        {
            std::cerr << "brambleon-sim: --trail runs exactly one scenario\n";
            return ExitInvalid;
        }
        if (!LogFile.empty())
        {
            Settings.LogFile = Absolute(LogFile);
        }
        return RunHere(Plans.front(), Settings, TrailFile);
    }

    if (!LogFile.empty())
    {
        Settings.LogFile = Absolute(LogFile);
        std::ofstream Truncate(PathFromUtf8(*Settings.LogFile), std::ios::trunc);
        if (!Truncate)
        {
            std::cerr << "brambleon-sim: cannot write the log file " << LogFile << "\n";
            return ExitCannotRun;
        }
    }

    std::vector<std::string> Common = {"--mod", Settings.ModPath};
    if (Settings.Quiet)
    {
        Common.emplace_back("--quiet");
    }
    if (Settings.KeepWorkdir)
    {
        Common.emplace_back("--keep-workdir");
    }
    if (Settings.LogFile)
    {
        Common.insert(Common.end(), {"--log", *Settings.LogFile});
    }
    const auto Self = OwnExecutable();
    Reporter Report(std::cout, Settings);
    for (size_t Index = 0; Index < Plans.size(); ++Index)
    {
        const auto Trail = TrailPath();
        auto Arguments = Common;
        Arguments.insert(Arguments.end(), {"--trail", Trail});
        if (!Files.empty())
        {
            Arguments.insert(Arguments.end(), {"--", Absolute(Files[Index])});
        }
        ChildEnd End;
        try
        {
            End = RunChild(Self, Arguments);
        }
        catch (const std::exception& Error)
        {
            std::cerr << "brambleon-sim: " << Error.what() << "\n";
            return ExitCannotRun;
        }
        const auto Left = ReadTrail(Trail);
        std::error_code Ignored;
        std::filesystem::remove(PathFromUtf8(Trail), Ignored);
        // Only the marker tells this apart from a mod that ends the process with the same code.
        if (!End.Crash && Left.CannotRun)
        {
            return ExitCannotRun; // the scenario's process said why
        }
        if (Left.Record && !End.Crash)
        {
            Report.Adopt(*Left.Record);
            continue;
        }
        // The scenario's process could not remove its working folder itself.
        if (!Left.Workdir.empty() && !Settings.KeepWorkdir)
        {
            Workdir::Remove(PathFromUtf8(Left.Workdir));
        }
        else if (!Left.Workdir.empty())
        {
            Report.Note("working folder kept: " + Left.Workdir, true);
        }
        const auto First = Left.Lines.size() > CrashLines ? Left.Lines.end() - CrashLines : Left.Lines.begin();
        Report.Crashed(Plans[Index], Left.Step,
                       End.Crash ? "the mod crashed: " + *End.Crash : "it exited with code " + std::to_string(End.ExitCode) + " before the scenario ended",
                       {First, Left.Lines.end()});
    }
    const bool Passed = Report.Summary();
    if (!JUnitFile.empty())
    {
        std::ofstream Xml(PathFromUtf8(Absolute(JUnitFile)), std::ios::binary | std::ios::trunc);
        Report.WriteJUnit(Xml);
        if (!Xml)
        {
            std::cerr << "brambleon-sim: cannot write " << JUnitFile << "\n";
            return ExitCannotRun;
        }
    }
    return Passed ? ExitPassed : ExitFailed;
}
