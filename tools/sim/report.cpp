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
        ++Scenarios;
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
        SectionOf(&Current);
    }

    auto Reporter::Note(const std::string& Text) -> void
    {
        if (!Settings.Quiet)
        {
            Out << Paint("2", Text) << "\n";
            Out.flush();
        }
    }

    auto Reporter::SectionOf(const Step* Current) -> Section*
    {
        if (Current == nullptr)
        {
            return nullptr;
        }
        if (!Current->Section.empty() &&
            std::none_of(Sections.begin(), Sections.end(), [&](const Section& Item) { return Item.Name == Current->Section; }))
        {
            Sections.push_back({Current->Section, 0, 0});
        }
        // A step without a section counts towards the last one opened.
        return Sections.empty() ? nullptr : &Sections.back();
    }

    auto Reporter::Held(const Step& Current) -> void
    {
        ++HeldChecks;
        if (auto* Counted = SectionOf(&Current))
        {
            ++Counted->Held;
        }
    }

    auto Reporter::Failed(const Scenario& Plan, const Step* Current, const std::string& What,
                          const std::string& Expected, const std::string& Seen) -> void
    {
        ++FailedChecks;
        if (auto* Counted = SectionOf(Current))
        {
            ++Counted->Failed;
        }
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
        if (!Passed)
        {
            ++FailedScenarios;
        }
        if (!Settings.Quiet)
        {
            Out << (Passed ? Paint("32", "passed") : Paint("31", "failed")) << ": " << Plan.Name << "\n\n";
            Out.flush();
        }
    }

    auto Reporter::Summary() -> bool
    {
        Out << Paint("1", "Summary") << "\n";
        size_t Width = 0;
        for (const auto& Item : Sections)
        {
            Width = std::max(Width, Item.Name.size());
        }
        for (const auto& Item : Sections)
        {
            Out << "  " << Item.Name << std::string(Width - Item.Name.size() + 2, ' ')
                << (Item.Failed == 0 ? Paint("32", "ok") : Paint("31", "FAILED")) << "  " << Item.Held << " held";
            if (Item.Failed != 0)
            {
                Out << ", " << Item.Failed << " failed";
            }
            Out << "\n";
        }
        const bool Passed = FailedChecks == 0 && FailedScenarios == 0;
        Out << "  " << Scenarios << (Scenarios == 1 ? " scenario, " : " scenarios, ") << Steps << " steps, "
            << HeldChecks << " expectations held, " << FailedChecks << " failed: "
            << (Passed ? Paint("1;32", "PASSED") : Paint("1;31", "FAILED")) << "\n";
        Out.flush();
        return Passed;
    }
} // namespace BRMB::Sim
