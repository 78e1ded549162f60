#include "sim/runner.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "sim/paths.hpp"
#include "sim/run.hpp"
#include "sim/text.hpp"
#include "sim/workdir.hpp"

namespace BRMB::Sim
{
    using RC::Unreal::UObject;

    auto Sorted(std::vector<std::string> Names) -> std::vector<std::string>
    {
        std::sort(Names.begin(), Names.end());
        return Names;
    }

    auto ShowNames(const std::vector<std::string>& Names) -> std::string
    {
        std::string Text = "[";
        for (size_t Index = 0; Index < Names.size(); ++Index)
        {
            Text += (Index == 0 ? "" : ", ") + Names[Index];
        }
        return Text + "]";
    }

    auto Hex(const std::string& Bytes) -> std::string
    {
        static constexpr char Digits[] = "0123456789abcdef";
        std::string Text;
        for (const char Byte : Bytes)
        {
            const auto Value = static_cast<unsigned char>(Byte);
            Text += (Text.empty() ? "" : " ") + std::string{Digits[Value >> 4], Digits[Value & 15]};
        }
        return Text.empty() ? "no bytes" : Text;
    }

    Run::Run(const Scenario& InPlan, const Options& InSettings, Reporter& InReport)
        : Plan(InPlan), Settings(InSettings), Report(InReport), Built(BuildWorld(InPlan)), Engine(*Built.Engine)
    {
    }

    auto Run::Play() -> bool
    {
#if defined(_WIN32)
        // Permission bits cannot refuse the game access there (wine as root ignores them).
        if (std::any_of(Plan.Files.begin(), Plan.Files.end(),
                        [](const FileDecl& File) { return File.Mode != FileMode::Normal; }))
        {
            Report.Skipped(Plan, "file modes cannot refuse access on Windows");
            return true;
        }
#endif
        auto& Faults = Engine.GetFaults();
        for (const auto& Name : Plan.Faults.RegisterHookFails)
        {
            Faults.FailRegisterHookFor.push_back(Wide(Name));
        }
        for (const auto& Name : Plan.Faults.RegisterHookThrows)
        {
            Faults.ThrowRegisterHookFor.push_back(Wide(Name));
        }
        Faults.NoEngineTick = Plan.Faults.NoEngineTick;
        Faults.NoProcessEvent = Plan.Faults.NoProcessEvent;
        Faults.RestrictFileAccess = std::any_of(Plan.Files.begin(), Plan.Files.end(),
                                                [](const FileDecl& File) { return File.Mode != FileMode::Normal; });
        Capture = Report.InstallDevices(Engine, Plan.Faults.NoLogDevices);
        Report.BeginScenario(Plan);
        if (Capture == nullptr)
        {
            Report.Note("(the host has no log devices in this scenario)");
        }

        std::unique_ptr<Workdir> Folder;
        try
        {
            Folder = std::make_unique<Workdir>(Settings.KeepWorkdir);
            Report.WorkingFolder(PathToUtf8(Folder->Path()));
            Folder->LayOut(Plan.Files, Faults.RestrictFileAccess);
        }
        catch (const std::exception& Error)
        {
            throw RunError(std::string("cannot prepare the working folder: ") + Error.what());
        }
        try
        {
            Mod = std::make_unique<RC::Sim::LoadedMod>(Settings.ModPath);
        }
        catch (const std::exception& Error)
        {
            throw RunError(std::string("cannot load the mod: ") + Error.what());
        }
        if (std::none_of(Plan.Steps.begin(), Plan.Steps.end(),
                         [](const Step& Current) { return Current.Kind == Action::Start; }))
        {
            Mod->UnrealInit();
        }

        bool Passed = true;
        for (const auto& Current : Plan.Steps)
        {
            Report.BeginStep(Current);
            if (!PlayStep(Current))
            {
                Passed = false;
                break;
            }
        }
        // Mod objects a scenario started itself and left installed go with their library.
        for (auto* Started : StartedMods)
        {
            UninstallExport()(Started);
        }
        // The host removes nothing of a native mod: what it left registered is a failure.
        try
        {
            Mod->Uninstall();
        }
        catch (const std::exception& Error)
        {
            Report.Failed(Plan, nullptr, "uninstall_mod at the end", "nothing of the mod left registered",
                          Error.what());
            Passed = false;
        }
        // The consumer holds the mod; the mod goes next: its hooks must not outlive the
        // library, nor it the folder.
        ConsumerModule.reset();
        Mod.reset();
        if (Settings.KeepWorkdir)
        {
            Report.Note("working folder kept: " + PathToUtf8(Folder->Path()), true);
        }
        Folder.reset();
        Report.EndScenario(Plan, Passed);
        return Passed;
    }

    auto Run::Fail(const Step& Current, const std::string& What, const std::string& Expected, const std::string& Seen)
        -> void
    {
        StepHeld = false;
        Report.Failed(Plan, &Current, What, Expected, Seen);
    }

    auto Run::Check(const Step& Current, bool Holds, const std::string& What, const std::string& Expected,
               const std::string& Seen) -> void
    {
        if (Holds)
        {
            Report.Held(Current);
        }
        else
        {
            Fail(Current, What, Expected, Seen);
        }
    }

    auto Run::PlayStep(const Step& Current) -> bool
    {
        StepHeld = true;
        const auto First = LineCount();
        const auto Escaped = Engine.EscapedExceptions();
        ConstructionsBefore = Engine.Constructions().size();
        Snapshot(Current);
        std::unique_ptr<RC::Sim::ParamBlock> Params;
        try
        {
            switch (Current.Kind)
            {
            case Action::Start: Mod->UnrealInit(); break;
            case Action::Reinstall: Mod->Reinstall(); break;
            case Action::Tick: Tick(Current); break;
            case Action::Call: Params = Call(Current); break;
            case Action::Export: Export(Current); break;
            case Action::Member: Member(Current); break;
            case Action::Check: break;
            }
        }
        catch (const std::exception& Error)
        {
            // The real host does not catch what leaves a tick callback: the game goes down.
            Fail(Current, "an error left the mod towards the host", "no error", Error.what());
            return false;
        }
        const auto Lines = LinesSince(First);
        if (Engine.EscapedExceptions() != Escaped)
        {
            Fail(Current, "an error left a hook towards the host", "no error", ShowLines(Lines));
        }
        CheckLog(Current, Lines);
        if (Params)
        {
            CheckParams(Current, *Params);
        }
        // Constructions first, so that the step's variables can name what was constructed.
        if (Current.Expect.Constructed)
        {
            CheckConstructed(Current, *Current.Expect.Constructed);
        }
        for (const auto& Variable : Current.Expect.Variables)
        {
            CheckVariable(Current, Variable);
        }
        for (const auto& Row : Current.Expect.Rows)
        {
            CheckRow(Current, Row);
        }
        CheckHooks(Current);
        CheckFiles(Current);
        CheckAnswers(Current);
        CheckLiveObjects(Current);
        CheckMemberAnswer(Current);
        return StepHeld;
    }

    auto Run::Snapshot(const Step& Current) -> void
    {
        StorageBefore.clear();
        RowsBefore.clear();
        for (const auto& Variable : Current.Expect.Variables)
        {
            const void* Header = Variable.Moved ? VariableStorage(Variable) : nullptr;
            if (Header != nullptr) // a variable the class lacks fails its check instead
            {
                StorageBefore[Variable.Object + "." + Variable.Variable] = ArrayStorage(Header);
            }
        }
        for (const auto& Row : Current.Expect.Rows)
        {
            const auto* Memory = RowMemory(Row);
            if (Row.Moved)
            {
                const auto* Header = SelectionEntriesHeader(Memory, *Row.Set);
                StorageBefore[RowKey(Row)] = Header == nullptr ? nullptr : ArrayStorage(Header);
            }
            if (Row.Unchanged)
            {
                RowsBefore[Row.Table + "." + Row.Row] =
                    std::string(reinterpret_cast<const char*>(Memory), RowSize(Row));
            }
        }
    }

    auto Run::Tick(const Step& Current) -> void
    {
        const auto Frames = static_cast<long long>(std::ceil(Current.Seconds / Current.Frame - 1e-9));
        const auto Began = std::chrono::steady_clock::now();
        for (long long Frame = 0; Frame < Frames; ++Frame)
        {
            if (Current.Paced)
            {
                // Frames at the wall clock's pace, for what the mod times with its own clock.
                std::this_thread::sleep_until(
                    Began + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                std::chrono::duration<double>(Current.Frame * static_cast<double>(Frame))));
            }
            LoadDueLibraries(Built, Now);
            Engine.Tick(static_cast<float>(Current.Frame));
            Now += Current.Frame;
        }
        LoadDueLibraries(Built, Now);
    }

    auto Run::ObjectFor(const Value& Reference) const -> UObject*
    {
        if (Reference.Null)
        {
            return nullptr;
        }
        if (Reference.Kind == Type::Class)
        {
            return FindClass(Built, Reference.Text);
        }
        return CallTarget(Built, Reference.Text);
    }

    auto Run::NameOf(const UObject* Object) const -> std::string
    {
        if (Object == nullptr)
        {
            return "null";
        }
        for (const auto& [Name, Known] : Built.Objects)
        {
            if (Known == Object)
            {
                return Name;
            }
        }
        for (const auto& [Key, Library] : Built.Libraries)
        {
            if (Library.Class == Object)
            {
                return Key;
            }
        }
        return Narrow(Object->GetName());
    }

    auto Run::Bind(const Step& Current, const std::string& As, UObject* Found, const std::string& What) -> void
    {
        if (As.empty())
        {
            return;
        }
        if (Found == nullptr)
        {
            Fail(Current, What + ": nothing to name " + As, "an object", "null");
            return;
        }
        Built.Objects[As] = Found;
    }

    auto Validate(const Scenario& Plan) -> void
    {
        CheckSteps(Plan, BuildWorld(Plan));
    }

    auto RunScenario(const Scenario& Plan, const Options& Settings, Reporter& Report) -> bool
    {
        return Run(Plan, Settings, Report).Play();
    }
} // namespace BRMB::Sim
