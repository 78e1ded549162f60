// brambleon-sim: loads the built mod into the stand-in host as UE4SS does, plays scripted
// Blueprint sides against it and prints the UE4SS log. Exit 0: every expectation held; 1: one
// failed; 2: a scenario (or the command line) is invalid and nothing ran; 3: the simulator could
// not run (the mod cannot be loaded, no working folder).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
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
#include "sim/report.hpp"
#include "sim/runner.hpp"

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
} // namespace

auto main(int argc, char** argv) -> int
{
    using namespace BRMB::Sim;

    Options Settings;
    Settings.ModPath = BRAMBLEON_SIM_MOD_PATH;
    std::vector<std::string> Files;
    std::string LogFile;

    CLI::App App{"Runs the Brambleon mod in the stand-in UE4SS host against scripted Blueprint sides.\n"
                 "With no file, runs the built-in demo of every service."};
    App.add_option("files", Files, "Scenario files (JSON) to run in order");
    App.add_option("--mod", Settings.ModPath, "The built mod to load instead of this build's");
    App.add_option("--log", LogFile, "Also write the UE4SS log to this file");
    App.add_flag("-q,--quiet", Settings.Quiet, "Print only failures and the summary");
    App.add_flag("--keep-workdir", Settings.KeepWorkdir, "Keep each scenario's working folder and print its path");
    try
    {
        App.parse(argc, argv);
    }
    catch (const CLI::ParseError& Error)
    {
        return App.exit(Error) == 0 ? ExitPassed : ExitInvalid;
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

    Reporter Report(std::cout, Settings);
    try
    {
        for (const auto& Plan : Plans)
        {
            RunScenario(Plan, Settings, Report);
        }
    }
    catch (const RunError& Error)
    {
        std::cerr << "brambleon-sim: " << Error.what() << "\n";
        return ExitCannotRun;
    }
    return Report.Summary() ? ExitPassed : ExitFailed;
}
