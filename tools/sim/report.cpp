#include "sim/report.hpp"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>

#include <DynamicOutput/Output.hpp>
#include <nlohmann/json.hpp>

namespace BRMB::Sim
{
    namespace
    {
        auto Indent(const std::string& Text) -> std::string
        {
            std::string Result;
            for (const char Char : Text)
            {
                Result += Char;
                if (Char == '\n')
                {
                    Result += "      ";
                }
            }
            return Result;
        }

        auto Seconds(double Value) -> std::string
        {
            std::ostringstream Text;
            Text << Value << " s";
            return Text.str();
        }
    } // namespace

    auto Describe(const Step& Current) -> std::string
    {
        switch (Current.Kind)
        {
        case Action::Start: return "engine initialised";
        case Action::Tick: return "tick " + Seconds(Current.Seconds) + " at frames of " + Seconds(Current.Frame);
        case Action::Call: return "call " + Current.Function + " on " + Current.On;
        case Action::Check: return "check";
        }
        return "";
    }

    auto Quote(const std::string& Text) -> std::string
    {
        return nlohmann::json(Text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }

    Reporter::Reporter(std::ostream& InOut, const Options& InSettings) : Out(InOut), Settings(InSettings) {}

    auto Reporter::InstallDevices(RC::Sim::Engine& Engine, bool NoDevices) -> RC::Sim::CaptureDevice*
    {
        auto& Capture = Engine.CaptureLog();
        auto& Devices = RC::Output::DefaultTargets::get_default_devices_ref();
        if (NoDevices)
        {
            Devices.clear();
            return nullptr;
        }
        if (!Settings.Quiet)
        {
            Devices.push_back(RC::Sim::MakeConsoleDevice(Settings.Colour));
        }
        if (Settings.LogFile)
        {
            Devices.push_back(RC::Sim::MakeFileDevice(*Settings.LogFile));
        }
        return &Capture;
    }

    auto Reporter::Paint(const char* Code, const std::string& Text) const -> std::string
    {
        return Settings.Colour ? std::string("\x1b[") + Code + "m" + Text + "\x1b[0m" : Text;
    }

    auto Reporter::BeginScenario(const Scenario& Plan) -> void
    {
        Scenarios.push_back({Plan.Name, 0, 0, true, false, {}});
        if (!Settings.Quiet)
        {
            Out << Paint("1", "== " + Plan.Name) << " (" << Plan.File << ")\n";
            if (!Plan.Description.empty())
            {
                Out << "   " << Plan.Description << "\n";
            }
            Out.flush();
        }
    }

    auto Reporter::BeginStep(const Step& Current) -> void
    {
        ++Steps;
        if (!Current.Section.empty() && !Scenarios.empty())
        {
            Scenarios.back().Sections.push_back({Current.Section, 0, 0, true, false, {}});
        }
        if (!Settings.Quiet)
        {
            if (!Current.Section.empty())
            {
                Out << Paint("1", "-- " + Current.Section) << "\n";
            }
            Out << Paint("2", "step " + std::to_string(Current.Index) + ": " + Describe(Current));
            if (!Current.Note.empty())
            {
                Out << Paint("2", " - " + Current.Note);
            }
            Out << "\n";
            Out.flush();
        }
    }

    auto Reporter::Note(const std::string& Text, bool Always) -> void
    {
        if (!Settings.Quiet || Always)
        {
            Out << Paint("2", Text) << "\n";
            Out.flush();
        }
    }

    // A check counts towards its scenario and towards the section its step belongs to (the last
    // one opened in the scenario).
    auto Reporter::Count(const Step* Current, bool Held) -> void
    {
        if (Scenarios.empty())
        {
            return;
        }
        auto& Scenario = Scenarios.back();
        (Held ? Scenario.Held : Scenario.Failed) += 1;
        if (Current != nullptr && !Scenario.Sections.empty())
        {
            (Held ? Scenario.Sections.back().Held : Scenario.Sections.back().Failed) += 1;
        }
    }

    auto Reporter::Held(const Step& Current) -> void
    {
        Count(&Current, true);
    }

    auto Reporter::Failed(const Scenario& Plan, const Step* Current, const std::string& What,
                          const std::string& Expected, const std::string& Seen) -> void
    {
        Count(Current, false);
        Out << Paint("1;31", "FAILED") << " " << Plan.File;
        if (Current != nullptr)
        {
            Out << ", step " << Current->Index << " (" << Describe(*Current) << ")";
        }
        Out << ": " << What << "\n";
        if (!Expected.empty() || !Seen.empty())
        {
            Out << "  expected: " << Indent(Expected) << "\n";
            Out << "  seen:     " << Indent(Seen) << "\n";
        }
        Out.flush();
    }

    auto Reporter::EndScenario(const Scenario& Plan, bool Passed) -> void
    {
        if (!Scenarios.empty())
        {
            Scenarios.back().Passed = Passed;
        }
        if (!Settings.Quiet)
        {
            Out << (Passed ? Paint("32", "passed") : Paint("31", "failed")) << ": " << Plan.Name << "\n\n";
            Out.flush();
        }
    }

    auto Reporter::Skipped(const Scenario& Plan, const std::string& Reason) -> void
    {
        Scenarios.push_back({Plan.Name, 0, 0, true, true, {}});
        Out << Paint("33", "skipped") << ": " << Plan.Name << " (" << Plan.File << "): " << Reason << "\n";
        Out.flush();
    }

    auto Reporter::PrintTally(const Tally& Item, size_t Width) const -> void
    {
        const bool Good = Item.Passed && Item.Failed == 0;
        Out << "  " << Item.Name << std::string(Width - Item.Name.size() + 2, ' ');
        if (Item.Skipped)
        {
            Out << Paint("33", "skipped") << "\n";
            return;
        }
        Out << (Good ? Paint("32", "ok    ") : Paint("31", "FAILED")) << "  " << Item.Held << " held";
        if (Item.Failed != 0)
        {
            Out << ", " << Item.Failed << " failed";
        }
        Out << "\n";
    }

    auto Reporter::Summary() -> bool
    {
        Out << Paint("1", "Summary") << "\n";
        // One scenario (the demo, say) is summed up by its sections, several by scenario.
        const auto& Lines = Scenarios.size() == 1 ? Scenarios.front().Sections : Scenarios;
        size_t Width = 0;
        for (const auto& Item : Lines)
        {
            Width = std::max(Width, Item.Name.size());
        }
        for (const auto& Item : Lines)
        {
            PrintTally(Item, Width);
        }
        size_t Held = 0;
        size_t Failed = 0;
        size_t Skips = 0;
        bool Passed = true;
        for (const auto& Item : Scenarios)
        {
            Held += Item.Held;
            Failed += Item.Failed;
            Skips += Item.Skipped ? 1 : 0;
            Passed = Passed && Item.Passed;
        }
        Passed = Passed && Failed == 0;
        Out << "  " << Scenarios.size() << (Scenarios.size() == 1 ? " scenario, " : " scenarios, ") << Steps
            << (Steps == 1 ? " step, " : " steps, ") << Held << (Held == 1 ? " expectation held, " : " expectations held, ")
            << Failed << " failed" << (Skips == 0 ? "" : ", " + std::to_string(Skips) + " scenarios skipped") << ": "
            << (Passed ? Paint("1;32", "PASSED") : Paint("1;31", "FAILED")) << "\n";
        Out.flush();
        return Passed;
    }
} // namespace BRMB::Sim
