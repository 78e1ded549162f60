#include "sim/report.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>

#include <DynamicOutput/Output.hpp>
#include <nlohmann/json.hpp>

#include "sim/paths.hpp"
#include "sim/text.hpp"

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

        // Each log line as it arrives, so it survives a crash of the mod.
        class TrailDevice final : public RC::Output::OutputDevice
        {
        public:
            explicit TrailDevice(std::ostream& InOut) : Out(InOut) {}
            [[nodiscard]] auto has_optional_arg() const -> bool override { return true; }
            auto receive(RC::StringViewType Text) const -> void override { receive_with_optional_arg(Text, 0); }
            auto receive_with_optional_arg(RC::StringViewType Text, int32_t Level) const -> void override
            {
                Out << "line " << Level << " " << Quote(Narrow(Text)) << "\n" << std::flush;
            }

        private:
            std::ostream& Out;
        };

        auto XmlEscape(const std::string& Text) -> std::string
        {
            std::string Result;
            for (const char Char : Text)
            {
                switch (Char)
                {
                case '&': Result += "&amp;"; break;
                case '<': Result += "&lt;"; break;
                case '>': Result += "&gt;"; break;
                case '"': Result += "&quot;"; break;
                default:
                    // Control characters other than tab and line breaks are not allowed in XML 1.0.
                    if (static_cast<unsigned char>(Char) < 0x20 && Char != '\t' && Char != '\n' && Char != '\r')
                    {
                        Result += "?";
                    }
                    else
                    {
                        Result += Char;
                    }
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
        case Action::Export:
            return "export " + Current.Export +
                   (Current.With ? " with " + (Current.With->empty() ? std::string("null") : *Current.With) : "");
        case Action::Member:
            return "core member " + Current.Member + " of " +
                   (Current.Text.Null ? std::string("a text with no storage")
                    : Current.Text.Units ? std::to_string(Current.Text.Units->size()) + " code units"
                                         : Quote(Current.Text.Text));
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
        if (TrailOut != nullptr)
        {
            Devices.push_back(std::make_unique<TrailDevice>(*TrailOut));
        }
        return &Capture;
    }

    auto Reporter::Paint(const char* Code, const std::string& Text) const -> std::string
    {
        return Settings.Colour ? std::string("\x1b[") + Code + "m" + Text + "\x1b[0m" : Text;
    }

    auto Reporter::BeginScenario(const Scenario& Plan) -> void
    {
        Scenarios.push_back({Plan.Name, 0, 0, true, false, {}, Plan.File, {}, {}});
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
        if (TrailOut != nullptr)
        {
            *TrailOut << "step " << Current.Index << "\n" << std::flush;
        }
        if (!Current.Section.empty() && !Scenarios.empty())
        {
            Scenarios.back().Sections.push_back({Current.Section, 0, 0, true, false, {}, {}, {}, {}});
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
        std::string Text = Current != nullptr ? "step " + std::to_string(Current->Index) + " (" + Describe(*Current) + "): " : "";
        Text += What + "\n";
        if (!Expected.empty() || !Seen.empty())
        {
            Text += "  expected: " + Indent(Expected) + "\n";
            Text += "  seen:     " + Indent(Seen) + "\n";
        }
        if (!Scenarios.empty())
        {
            Scenarios.back().Failures.push_back(Text);
        }
        Out << Paint("1;31", "FAILED") << " " << Plan.File << (Current != nullptr ? ", " : ": ") << Text;
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
        Scenarios.push_back({Plan.Name, 0, 0, true, true, {}, Plan.File, {}, Reason});
        Out << Paint("33", "skipped") << ": " << Plan.Name << " (" << Plan.File << "): " << Reason << "\n";
        Out.flush();
    }

    auto Reporter::Crashed(const Scenario& Plan, size_t StepIndex, const std::string& How,
                           const std::vector<std::string>& LastLines) -> void
    {
        // The scenario's own process kept its tally; it is lost with the process.
        Scenarios.push_back({Plan.Name, 0, 0, true, false, {}, Plan.File, {}, {}});
        const Step* Current = StepIndex >= 1 && StepIndex <= Plan.Steps.size() ? &Plan.Steps[StepIndex - 1] : nullptr;
        std::string What = "the scenario's process ended: " + How + "\n  last log lines:";
        for (const auto& Line : LastLines)
        {
            What += "\n    " + Line;
        }
        Failed(Plan, Current, LastLines.empty() ? What + " none" : What, "", "");
        Scenarios.back().Passed = false;
        if (!Settings.Quiet)
        {
            Out << Paint("31", "failed") << ": " << Plan.Name << "\n\n";
            Out.flush();
        }
    }

    auto Reporter::KeepTrail(std::ostream& Trail) -> void
    {
        TrailOut = &Trail;
    }

    auto Reporter::CannotRun() -> void
    {
        if (TrailOut != nullptr)
        {
            *TrailOut << "cannot-run\n" << std::flush;
        }
    }

    auto Reporter::WorkingFolder(const std::string& Utf8Path) -> void
    {
        if (TrailOut != nullptr)
        {
            *TrailOut << "workdir " << Quote(Utf8Path) << "\n" << std::flush;
        }
    }

    namespace
    {
        template <typename Item>
        auto ToJson(const Item& Tally) -> nlohmann::json
        {
            nlohmann::json Sections = nlohmann::json::array();
            for (const auto& Section : Tally.Sections)
            {
                Sections.push_back(ToJson(Section));
            }
            return {{"name", Tally.Name},       {"held", Tally.Held},       {"failed", Tally.Failed},
                    {"passed", Tally.Passed},   {"skipped", Tally.Skipped}, {"sections", Sections},
                    {"file", Tally.File},       {"failures", Tally.Failures}, {"skipReason", Tally.SkipReason}};
        }

        template <typename Item>
        auto FromJson(const nlohmann::json& Json, Item& Tally) -> void
        {
            Json.at("name").get_to(Tally.Name);
            Json.at("held").get_to(Tally.Held);
            Json.at("failed").get_to(Tally.Failed);
            Json.at("passed").get_to(Tally.Passed);
            Json.at("skipped").get_to(Tally.Skipped);
            Json.at("file").get_to(Tally.File);
            Json.at("failures").get_to(Tally.Failures);
            Json.at("skipReason").get_to(Tally.SkipReason);
            for (const auto& Section : Json.at("sections"))
            {
                FromJson(Section, Tally.Sections.emplace_back());
            }
        }
    } // namespace

    auto Reporter::Record() const -> std::string
    {
        nlohmann::json Json = {{"steps", Steps}};
        if (!Scenarios.empty())
        {
            Json["scenario"] = ToJson(Scenarios.back());
        }
        return Json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }

    auto Reporter::Adopt(const std::string& Record) -> void
    {
        const auto Json = nlohmann::json::parse(Record);
        Steps += Json.at("steps").get<size_t>();
        if (Json.contains("scenario"))
        {
            FromJson(Json.at("scenario"), Scenarios.emplace_back());
        }
    }

    auto ReadTrail(const std::string& Utf8Path) -> Trail
    {
        Trail Result;
        std::ifstream In(PathFromUtf8(Utf8Path), std::ios::binary);
        std::string Line;
        const auto Text = [](const std::string& Json) {
            // A line cut short by the crash is shown as it stands.
            const auto Parsed = nlohmann::json::parse(Json, nullptr, false);
            return Parsed.is_string() ? Parsed.get<std::string>() : Json;
        };
        while (std::getline(In, Line))
        {
            if (Line.rfind("step ", 0) == 0)
            {
                Result.Step = std::strtoul(Line.c_str() + 5, nullptr, 10);
            }
            else if (Line.rfind("line ", 0) == 0)
            {
                const auto Blank = std::min(Line.find(' ', 5), Line.size());
                Result.Lines.push_back(Quote(Text(Line.substr(Blank))) + " at level " + Line.substr(5, Blank - 5));
            }
            else if (Line.rfind("record ", 0) == 0)
            {
                Result.Record = Line.substr(7);
            }
            else if (Line.rfind("workdir ", 0) == 0)
            {
                Result.Workdir = Text(Line.substr(8));
            }
            else if (Line == "cannot-run")
            {
                Result.CannotRun = true;
            }
        }
        return Result;
    }

    auto Reporter::WriteJUnit(std::ostream& Xml) const -> void
    {
        size_t Failures = 0;
        size_t Skips = 0;
        for (const auto& Item : Scenarios)
        {
            Failures += (Item.Passed && Item.Failed == 0) || Item.Skipped ? 0 : 1;
            Skips += Item.Skipped ? 1 : 0;
        }
        Xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            << "<testsuites>\n"
            << "  <testsuite name=\"brambleon-sim\" tests=\"" << Scenarios.size() << "\" failures=\"" << Failures
            << "\" errors=\"0\" skipped=\"" << Skips << "\">\n";
        for (const auto& Item : Scenarios)
        {
            Xml << "    <testcase name=\"" << XmlEscape(Item.Name) << "\" classname=\"" << XmlEscape(PathStem(Item.File))
                << "\" file=\"" << XmlEscape(Item.File) << "\"";
            if (Item.Skipped)
            {
                Xml << ">\n      <skipped message=\"" << XmlEscape(Item.SkipReason) << "\"/>\n    </testcase>\n";
                continue;
            }
            if (Item.Passed && Item.Failed == 0)
            {
                Xml << "/>\n";
                continue;
            }
            std::string Body;
            for (const auto& Failure : Item.Failures)
            {
                Body += Failure;
            }
            const auto FirstLine = Body.substr(0, Body.find('\n'));
            Xml << ">\n      <failure message=\"" << XmlEscape(FirstLine) << "\">" << XmlEscape(Body)
                << "</failure>\n    </testcase>\n";
        }
        Xml << "  </testsuite>\n</testsuites>\n";
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
