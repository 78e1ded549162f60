#include "sim/runner.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <Mod/CppUserModBase.hpp>
#include <Sim/Engine.hpp>
#include <Unreal/FProperty.hpp>
#include <Unreal/UFunction.hpp>

#include "sim/rows.hpp"
#include "sim/paths.hpp"
#include "sim/text.hpp"
#include "sim/workdir.hpp"
#include "sim/world.hpp"

namespace BRMB::Sim
{
    namespace
    {
        namespace fs = std::filesystem;
        using RC::Unreal::FName;
        using RC::Unreal::UClass;
        using RC::Unreal::UFunction;
        using RC::Unreal::UObject;

        struct SeenLine
        {
            std::string Text;
            int32_t Level;
        };

        auto Matches(const LineMatch& Expected, const SeenLine& Seen) -> bool
        {
            if (Expected.Level != Seen.Level)
            {
                return false;
            }
            return Expected.Part ? Seen.Text.find(Expected.Text) != std::string::npos : Seen.Text == Expected.Text;
        }

        auto Show(const LineMatch& Line) -> std::string
        {
            return (Line.Part ? "a line containing " : "") + Quote(Line.Text) + " at level " + std::to_string(Line.Level);
        }

        auto Show(const SeenLine& Line) -> std::string
        {
            return Quote(Line.Text) + " at level " + std::to_string(Line.Level);
        }

        template <typename Line>
        auto ShowLines(const std::vector<Line>& Lines) -> std::string
        {
            if (Lines.empty())
            {
                return "no lines";
            }
            std::string Text;
            for (size_t Index = 0; Index < Lines.size(); ++Index)
            {
                Text += (Index == 0 ? "" : "\n") + std::to_string(Index + 1) + ". " + Show(Lines[Index]);
            }
            return Text;
        }

        auto ShowEntries(const std::vector<uint64_t>& Entries) -> std::string
        {
            std::string Text = "[";
            for (size_t Index = 0; Index < Entries.size(); ++Index)
            {
                Text += (Index == 0 ? "" : ", ") + std::to_string(Entries[Index]);
            }
            return Text + "]";
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

        class Run
        {
        public:
            Run(const Scenario& InPlan, const Options& InSettings, Reporter& InReport)
                : Plan(InPlan), Settings(InSettings), Report(InReport), Built(BuildWorld(InPlan)), Engine(*Built.Engine)
            {
            }

            auto Play() -> bool
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
                // The mod goes first: its hooks must not outlive the library, nor it the folder.
                Mod.reset();
                if (Settings.KeepWorkdir)
                {
                    Report.Note("working folder kept: " + PathToUtf8(Folder->Path()), true);
                }
                Folder.reset();
                Report.EndScenario(Plan, Passed);
                return Passed;
            }

        private:
            auto LineCount() const -> size_t { return Capture == nullptr ? 0 : Capture->Lines().size(); }

            auto LinesSince(size_t First) const -> std::vector<SeenLine>
            {
                std::vector<SeenLine> Lines;
                if (Capture == nullptr)
                {
                    return Lines;
                }
                const auto& All = Capture->Lines();
                for (size_t Index = First; Index < All.size(); ++Index)
                {
                    auto Text = Narrow(All[Index].Text);
                    if (!Text.empty() && Text.back() == '\n')
                    {
                        Text.pop_back();
                    }
                    Lines.push_back({std::move(Text), All[Index].Level});
                }
                return Lines;
            }

            auto Fail(const Step& Current, const std::string& What, const std::string& Expected, const std::string& Seen)
                -> void
            {
                StepHeld = false;
                Report.Failed(Plan, &Current, What, Expected, Seen);
            }

            auto Check(const Step& Current, bool Holds, const std::string& What, const std::string& Expected,
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

            auto PlayStep(const Step& Current) -> bool
            {
                StepHeld = true;
                const auto First = LineCount();
                const auto Escaped = Engine.EscapedExceptions();
                std::unique_ptr<RC::Sim::ParamBlock> Params;
                try
                {
                    switch (Current.Kind)
                    {
                    case Action::Start: Mod->UnrealInit(); break;
                    case Action::Tick: Tick(Current); break;
                    case Action::Call: Params = Call(Current); break;
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
                CheckWorld(Current);
                CheckFiles(Current);
                return StepHeld;
            }

            auto Tick(const Step& Current) -> void
            {
                const auto Frames = static_cast<long long>(std::ceil(Current.Seconds / Current.Frame - 1e-9));
                for (long long Frame = 0; Frame < Frames; ++Frame)
                {
                    LoadDueLibraries(Built, Now);
                    Engine.Tick(static_cast<float>(Current.Frame));
                    Now += Current.Frame;
                }
                LoadDueLibraries(Built, Now);
            }

            auto ObjectFor(const Value& Reference) const -> UObject*
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

            auto NameOf(const UObject* Object) const -> std::string
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

            auto Call(const Step& Current) -> std::unique_ptr<RC::Sim::ParamBlock>
            {
                auto* Function = FindFunction(Built, Current.On, Current.Function);
                auto Params = std::make_unique<RC::Sim::ParamBlock>(Function);
                for (const auto& Arg : Current.Args)
                {
                    const auto Name = Wide(Arg.Param);
                    const auto& Given = Arg.Expected;
                    switch (Given.Kind)
                    {
                    case Type::Text: Params->SetString(Name, Wide(Given.Text)); break;
                    case Type::Object: Params->SetObject(Name, ObjectFor(Given)); break;
                    case Type::Name: Params->SetName(Name, FName(Wide(Given.Text))); break;
                    case Type::Entry: Params->SetInt64(Name, Given.Entry); break;
                    case Type::Class:
                    {
                        const UObject* Class = ObjectFor(Given);
                        std::vector<uint8_t> Bytes(sizeof(Class));
                        std::memcpy(Bytes.data(), static_cast<const void*>(&Class), sizeof(Class));
                        Params->SetBytes(static_cast<size_t>(FindParam(Function, Arg.Param)->GetOffset_Internal()), Bytes);
                        break;
                    }
                    default: break;
                    }
                }
                for (const auto& Bytes : Current.Bytes)
                {
                    Params->SetBytes(Bytes.Offset, std::vector<uint8_t>(Bytes.Bytes.begin(), Bytes.Bytes.end()));
                }
                LoadDueLibraries(Built, Now);
                Engine.Call(CallTarget(Built, Current.On), Function, *Params);
                return Params;
            }

            auto CheckLog(const Step& Current, const std::vector<SeenLine>& Lines) -> void
            {
                const auto& Expect = Current.Expect;
                if (Expect.Log)
                {
                    const auto& Wanted = *Expect.Log;
                    const bool Same = Wanted.size() == Lines.size() &&
                                      std::equal(Wanted.begin(), Wanted.end(), Lines.begin(), Matches);
                    Check(Current, Same, "log lines", ShowLines(Wanted), ShowLines(Lines));
                }
                if (!Expect.LogContains.empty())
                {
                    auto Next = Lines.begin();
                    size_t Found = 0;
                    for (const auto& Wanted : Expect.LogContains)
                    {
                        Next = std::find_if(Next, Lines.end(), [&](const SeenLine& Seen) { return Matches(Wanted, Seen); });
                        if (Next == Lines.end())
                        {
                            break;
                        }
                        ++Next;
                        ++Found;
                    }
                    const bool All = Found == Expect.LogContains.size();
                    Check(Current, All,
                          All ? "" : "log lines in this order, missing " + Show(Expect.LogContains[Found]),
                          ShowLines(Expect.LogContains), ShowLines(Lines));
                }
                for (const auto& Unwanted : Expect.LogLacks)
                {
                    const auto Seen =
                        std::find_if(Lines.begin(), Lines.end(), [&](const SeenLine& Line) { return Matches(Unwanted, Line); });
                    Check(Current, Seen == Lines.end(), "a line that must not appear", "no " + Show(Unwanted),
                          Seen == Lines.end() ? "" : Show(*Seen));
                }
            }

            auto CheckParams(const Step& Current, const RC::Sim::ParamBlock& Params) -> void
            {
                const auto* Function = Params.Function();
                for (const auto& Param : Current.Expect.Params)
                {
                    const auto Name = Wide(Param.Param);
                    const auto& Wanted = Param.Expected;
                    std::string Expected;
                    std::string Seen;
                    switch (Wanted.Kind)
                    {
                    case Type::Text:
                        Expected = Quote(Wanted.Text);
                        Seen = Quote(Narrow(Params.GetString(Name)));
                        break;
                    case Type::Name:
                        Expected = Quote(Wanted.Text);
                        Seen = Quote(Narrow(Params.GetName(Name).ToString()));
                        break;
                    case Type::Entry:
                        Expected = std::to_string(Wanted.Entry);
                        Seen = std::to_string(Params.GetInt64(Name));
                        break;
                    case Type::Object:
                    case Type::Class:
                    {
                        const auto Offset = static_cast<size_t>(FindParam(Function, Param.Param)->GetOffset_Internal());
                        const auto Bytes = Params.GetBytes(Offset, sizeof(UObject*));
                        UObject* Object = nullptr;
                        std::memcpy(static_cast<void*>(&Object), Bytes.data(), sizeof(Object));
                        Expected = NameOf(ObjectFor(Wanted));
                        Seen = NameOf(Object);
                        break;
                    }
                    default: break;
                    }
                    Check(Current, Expected == Seen, "parameter " + Param.Param, Expected, Seen);
                }
                for (const auto& Bytes : Current.Expect.ParamBytes)
                {
                    const auto Seen = Params.GetBytes(Bytes.Offset, Bytes.Bytes.size());
                    const std::string SeenText(Seen.begin(), Seen.end());
                    Check(Current, SeenText == Bytes.Bytes, "parameter bytes at offset " + std::to_string(Bytes.Offset),
                          Hex(Bytes.Bytes), Hex(SeenText));
                }
            }

            static auto Hex(const std::string& Bytes) -> std::string
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

            auto CheckWorld(const Step& Current) -> void
            {
                const auto& Expect = Current.Expect;
                for (const auto& Variable : Expect.Variables)
                {
                    CheckVariable(Current, Variable);
                }
                for (const auto& Row : Expect.Rows)
                {
                    auto* Table = Built.Tables.at(Row.Table);
                    const auto Contents = ReadSelectionEntries(Table->FindRowUnchecked(FName(Wide(Row.Row))), Row.Set);
                    const auto What = "entries of " + Row.Table + "." + Row.Row + ", selection set " + std::to_string(Row.Set);
                    if (!Contents.Problem.empty())
                    {
                        Fail(Current, What, ShowEntries(Row.Entries), Contents.Problem);
                        continue;
                    }
                    Check(Current, Contents.Elements == Row.Entries, What, ShowEntries(Row.Entries),
                          ShowEntries(Contents.Elements));
                    if (Row.Capacity)
                    {
                        Check(Current, Contents.Capacity == *Row.Capacity, "capacity of " + What,
                              std::to_string(*Row.Capacity), std::to_string(Contents.Capacity));
                    }
                }
                for (const auto& Hook : Expect.Hooks)
                {
                    const auto Count = Engine.HookCount(FindDeclaredFunction(Built, Hook.Owner, Hook.Function));
                    Check(Current, Count == Hook.Count, "hooks on " + Hook.Owner + "." + Hook.Function,
                          std::to_string(Hook.Count), std::to_string(Count));
                }
                if (Expect.TickCallbacks)
                {
                    const auto Count = Engine.TickCallbackCount();
                    Check(Current, Count == *Expect.TickCallbacks, "engine-tick callbacks registered",
                          std::to_string(*Expect.TickCallbacks), std::to_string(Count));
                }
            }

            auto CheckVariable(const Step& Current, const VariableExpect& Expected) -> void
            {
                UObject* Object = Built.Objects.at(Expected.Object);
                const void* Storage = Object->GetValuePtrByPropertyNameInChain<void>(Wide(Expected.Variable).c_str());
                const auto What = "variable " + Expected.Variable + " of " + Expected.Object;
                if (Expected.Bytes)
                {
                    const std::string Seen(static_cast<const char*>(Storage), Expected.Bytes->size());
                    Check(Current, Seen == *Expected.Bytes, What, Hex(*Expected.Bytes), Hex(Seen));
                    return;
                }
                if (Expected.One || Expected.OfClass)
                {
                    UObject* Seen = nullptr;
                    std::memcpy(static_cast<void*>(&Seen), Storage, sizeof(Seen));
                    if (Expected.One)
                    {
                        Check(Current, Seen == ObjectFor(*Expected.One), What, NameOf(ObjectFor(*Expected.One)), NameOf(Seen));
                        return;
                    }
                    const UClass* Class = FindClass(Built, *Expected.OfClass);
                    const auto SeenText = Seen == nullptr ? "null" : NameOf(Seen) + " of class " + Narrow(Seen->GetClassPrivate()->GetName());
                    Check(Current, Seen != nullptr && Seen->IsA(Class), What, "an object of class " + *Expected.OfClass,
                          SeenText);
                    return;
                }
                const auto Contents = ReadArray8(Storage);
                if (!Contents.Problem.empty())
                {
                    Fail(Current, What, "a readable array", Contents.Problem);
                    return;
                }
                if (Expected.Many)
                {
                    std::vector<std::string> Names;
                    for (const auto Element : Contents.Elements)
                    {
                        UObject* Seen = nullptr;
                        std::memcpy(static_cast<void*>(&Seen), &Element, sizeof(Seen));
                        Names.push_back(NameOf(Seen));
                    }
                    Check(Current, Names == *Expected.Many, What, ShowNames(*Expected.Many), ShowNames(Names));
                }
                if (Expected.Capacity)
                {
                    Check(Current, Contents.Capacity == *Expected.Capacity, "capacity of " + What,
                          std::to_string(*Expected.Capacity), std::to_string(Contents.Capacity));
                }
            }

            auto CheckFiles(const Step& Current) -> void
            {
                for (const auto& File : Current.Expect.Files)
                {
                    const auto Path = PathFromUtf8(File.Path);
                    std::error_code Error;
                    const auto Status = fs::status(Path, Error);
                    const bool Exists = fs::exists(Status);
                    const auto What = "file " + File.Path;
                    if (File.Exists)
                    {
                        Check(Current, Exists == *File.Exists, What, *File.Exists ? "present" : "absent",
                              Exists ? "present" : "absent");
                    }
                    if (File.Folder)
                    {
                        const bool Folder = fs::is_directory(Status);
                        Check(Current, Folder == *File.Folder, What, *File.Folder ? "a folder" : "not a folder",
                              Exists ? (Folder ? "a folder" : "not a folder") : "absent");
                    }
                    if (File.Bytes)
                    {
                        std::ifstream In(Path, std::ios::binary);
                        if (!Exists || !In)
                        {
                            Fail(Current, What, Quote(*File.Bytes), Exists ? "cannot be read" : "absent");
                            continue;
                        }
                        std::ostringstream Bytes;
                        Bytes << In.rdbuf();
                        Check(Current, Bytes.str() == *File.Bytes, What, Quote(*File.Bytes), Quote(Bytes.str()));
                    }
                }
            }

            const Scenario& Plan;
            const Options& Settings;
            Reporter& Report;
            World Built;
            RC::Sim::Engine& Engine;
            RC::Sim::CaptureDevice* Capture = nullptr;
            std::unique_ptr<RC::Sim::LoadedMod> Mod;
            double Now = 0.0;
            bool StepHeld = true;
        };
    } // namespace

    auto Validate(const Scenario& Plan) -> void
    {
        CheckSteps(Plan, BuildWorld(Plan));
    }

    auto RunScenario(const Scenario& Plan, const Options& Settings, Reporter& Report) -> bool
    {
        return Run(Plan, Settings, Report).Play();
    }
} // namespace BRMB::Sim
