#include "sim/runner.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include <Mod/CppUserModBase.hpp>
#include <Sim/Engine.hpp>
#include <Unreal/FString.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>
#include <Unreal/FProperty.hpp>
#include <Unreal/UFunction.hpp>
#include <Unreal/UObjectGlobals.hpp>

#include "consumer/core_consumer.hpp"
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
            std::string Text; // without its newline
            int32_t Level;
            bool Newline;
        };

        auto Matches(const LineMatch& Expected, const SeenLine& Seen) -> bool
        {
            if (Expected.Level != Seen.Level || (Expected.Newline && *Expected.Newline != Seen.Newline))
            {
                return false;
            }
            return Expected.Part ? Seen.Text.find(Expected.Text) != std::string::npos : Seen.Text == Expected.Text;
        }

        auto Show(const LineMatch& Line) -> std::string
        {
            const auto Newline = !Line.Newline ? "" : *Line.Newline ? " with its newline" : " without a newline";
            return (Line.Part ? "a line containing " : "") + Quote(Line.Text) + Newline + " at level " +
                   std::to_string(Line.Level);
        }

        auto Show(const SeenLine& Line) -> std::string
        {
            return Quote(Line.Text) + (Line.Newline ? "" : " without a newline") + " at level " + std::to_string(Line.Level);
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

        // An engine string's header and code units, as the engine holds them.
        struct RawText
        {
            const char16_t* Data = nullptr;
            int32_t Num = 0;
            int32_t Max = 0;
        };
        static_assert(sizeof(RawText) == 16, "an engine string is 16 bytes");

        auto ShowUnits(const std::u16string& Units) -> std::string
        {
            std::string Text = "[";
            char Unit[8];
            for (size_t Index = 0; Index < Units.size(); ++Index)
            {
                std::snprintf(Unit, sizeof(Unit), "0x%04x", static_cast<unsigned>(Units[Index]));
                Text += (Index == 0 ? "" : ", ") + std::string(Unit);
            }
            return Text + "]";
        }

        // The names of a listing, "|" and then each name followed by "|"; none when the text is
        // not one (outer bars missing, an empty name between doubled bars).
        auto SplitListing(const std::string& Text) -> std::optional<std::vector<std::string>>
        {
            if (Text.empty() || Text.front() != '|' || Text.back() != '|')
            {
                return std::nullopt;
            }
            std::vector<std::string> Names;
            for (size_t Start = 1; Start < Text.size();)
            {
                const auto End = Text.find('|', Start);
                if (End == Start)
                {
                    return std::nullopt;
                }
                Names.push_back(Text.substr(Start, End - Start));
                Start = End + 1;
            }
            return Names;
        }

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
                    const bool Newline = !Text.empty() && Text.back() == '\n';
                    if (Newline)
                    {
                        Text.pop_back();
                    }
                    Lines.push_back({std::move(Text), All[Index].Level, Newline});
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
                ConstructionsBefore = Engine.Constructions().size();
                Snapshot(Current);
                std::unique_ptr<RC::Sim::ParamBlock> Params;
                try
                {
                    switch (Current.Kind)
                    {
                    case Action::Start: Mod->UnrealInit(); break;
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
                CheckWorld(Current);
                CheckFiles(Current);
                CheckAnswers(Current);
                CheckMemberAnswer(Current);
                return StepHeld;
            }

            using UninstallFunction = void (*)(RC::CppUserModBase*);

            auto UninstallExport() const -> UninstallFunction
            {
                return reinterpret_cast<UninstallFunction>(Mod->Symbol("uninstall_mod"));
            }

            // An exported function called as other native code would: by name from the library.
            auto Export(const Step& Current) -> void
            {
                void* Symbol = Mod->Symbol(Current.Export.c_str());
                if (Symbol == nullptr)
                {
                    Fail(Current, "the mod exports no " + Current.Export, Current.Export, "no such export");
                    return;
                }
                void* Answer = nullptr;
                if (Current.Export == "uninstall_mod")
                {
                    if (*Current.With == "mod")
                    {
                        Mod->Uninstall();
                        return;
                    }
                    RC::CppUserModBase* Target = nullptr;
                    if (!Current.With->empty())
                    {
                        Target = static_cast<RC::CppUserModBase*>(Answers.at(*Current.With));
                        const auto Live = std::find(StartedMods.begin(), StartedMods.end(), Target);
                        if (Live == StartedMods.end())
                        {
                            Fail(Current, "uninstall_mod with " + *Current.With, "a mod object still installed",
                                 "one already uninstalled");
                            return;
                        }
                        StartedMods.erase(Live);
                    }
                    reinterpret_cast<UninstallFunction>(Symbol)(Target);
                    return;
                }
                if (Current.Export == "start_mod")
                {
                    auto* Started = reinterpret_cast<RC::CppUserModBase* (*)()>(Symbol)();
                    if (Started != nullptr)
                    {
                        StartedMods.push_back(Started);
                    }
                    Answer = Started;
                }
                else if (Current.Export.rfind("Get_", 0) == 0)
                {
                    Answer = reinterpret_cast<void* (*)()>(Symbol)();
                }
                else
                {
                    reinterpret_cast<void (*)()>(Symbol)();
                }
                if (!Current.As.empty())
                {
                    Answers[Current.As] = Answer;
                }
            }

            // The consumer is built beside the mod and linked against it; loaded after it, the
            // platform's loader binds it to the mod already loaded (by soname on Linux, by module
            // name on Windows).
            auto ConsumerPath() const -> std::string
            {
#if defined(_WIN32)
                constexpr const char* Suffix = ".dll";
#else
                constexpr const char* Suffix = ".so";
#endif
                const auto Slash = Settings.ModPath.find_last_of("/\\");
                const auto Folder = Slash == std::string::npos ? std::string() : Settings.ModPath.substr(0, Slash + 1);
                return Folder + "brambleon_core_consumer" + Suffix;
            }

            template <typename Function>
            auto ConsumerFunction(const char* Name) const -> Function
            {
                void* Symbol = ConsumerModule->Symbol(Name);
                if (Symbol == nullptr)
                {
                    throw std::runtime_error(std::string("the core consumer lacks ") + Name);
                }
                return reinterpret_cast<Function>(Symbol);
            }

            // A conversion member of the core, called through the pointer Get_VEXA_CORE answers by
            // a module linked against the mod, as another native mod calls it.
            auto Member(const Step& Current) -> void
            {
                if (!ConsumerModule)
                {
                    ConsumerModule = std::make_unique<RC::Sim::LoadedLibrary>(ConsumerPath());
                }
                auto* Core = reinterpret_cast<Consumer::CoreFunction>(Mod->Symbol("Get_VEXA_CORE"))();
                if (ConsumerFunction<Consumer::CoreFunction>("Consumer_Core")() != Core)
                {
                    Fail(Current, "the core consumer's Get_VEXA_CORE", "the loaded mod's core",
                         "another core: the consumer bound to another copy of the mod");
                    return;
                }
                NarrowAnswer.reset();
                EngineAnswer.emplace();
                const auto& Given = Current.Text;
                if (Current.Member == "FStringToUtf8")
                {
                    RC::Unreal::FString Text;
                    if (Given.Units)
                    {
                        const auto Raw = MakeRawText(*Given.Units, Given.Count);
                        std::memcpy(static_cast<void*>(&Text), &Raw, sizeof(Raw));
                    }
                    else if (!Given.Null)
                    {
                        Text = RC::Unreal::FString(Wide(Given.Text).c_str());
                    }
                    EngineAnswer.reset();
                    NarrowAnswer.emplace();
                    ConsumerFunction<Consumer::FStringToUtf8Function>("Consumer_FStringToUtf8")(
                        Core, &Text,
                        [](void* Context, const char* Bytes, size_t Size) { static_cast<std::string*>(Context)->assign(Bytes, Size); },
                        &*NarrowAnswer);
                }
                else if (Current.Member == "NarrowToFString")
                {
                    ConsumerFunction<Consumer::NarrowToFStringFunction>("Consumer_NarrowToFString")(
                        Core, Given.Text.data(), Given.Text.size(), &*EngineAnswer);
                }
                else
                {
                    const auto Text = Wide(Given.Text);
                    const auto Units = Given.Units ? *Given.Units : std::u16string(Text.begin(), Text.end());
                    ConsumerFunction<Consumer::WideToFStringFunction>("Consumer_WideToFString")(Core, Units.data(), Units.size(),
                                                                                              &*EngineAnswer);
                }
            }

            auto CheckMemberAnswer(const Step& Current) -> void
            {
                if (!Current.Expect.Answer || !StepHeld)
                {
                    return;
                }
                const auto& Wanted = *Current.Expect.Answer;
                const auto What = Current.Member + "'s answer";
                if (NarrowAnswer)
                {
                    Check(Current, *NarrowAnswer == Wanted.Text, What, Quote(Wanted.Text) + " (" + Hex(Wanted.Text) + ")",
                          Quote(*NarrowAnswer) + " (" + Hex(*NarrowAnswer) + ")");
                    return;
                }
                if (Wanted.Null || Wanted.Units)
                {
                    RawText Raw;
                    std::memcpy(&Raw, static_cast<const void*>(&*EngineAnswer), sizeof(Raw));
                    const auto [Expected, Seen] = ShowRawText(Wanted, Raw);
                    Check(Current, Expected == Seen, What, Expected, Seen);
                    return;
                }
                const auto Seen = Quote(Narrow(**EngineAnswer));
                Check(Current, Seen == Quote(Wanted.Text), What, Quote(Wanted.Text), Seen);
            }

            // Storage of arrays and the bytes of rows before the step, for "moved" and "unchanged".
            auto Snapshot(const Step& Current) -> void
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

            auto RowMemory(const RowExpect& Row) const -> uint8_t*
            {
                return Built.Tables.at(Row.Table)->FindRowUnchecked(FName(Wide(Row.Row)));
            }

            auto RowSize(const RowExpect& Row) const -> size_t
            {
                return static_cast<size_t>(Built.Tables.at(Row.Table)->GetRowStruct()->GetPropertiesSize());
            }

            static auto RowKey(const RowExpect& Row) -> std::string
            {
                return Row.Table + "." + Row.Row + "#" + std::to_string(Row.Set.value_or(0));
            }

            auto VariableStorage(const VariableExpect& Expected) const -> const void*
            {
                UObject* Object = Built.Objects.at(Expected.Object);
                return Object->GetValuePtrByPropertyNameInChain<void>(Wide(Expected.Variable).c_str());
            }

            // A text parameter as exact code units: storage from the host's allocator, as the
            // engine's own strings have, with a NUL after the units.
            static auto MakeRawText(const std::u16string& Units, std::optional<int32_t> Count) -> RawText
            {
                const auto Size = Units.size() + 1;
                auto* Data = static_cast<char16_t*>(RC::Unreal::FMemory::Malloc(Size * sizeof(char16_t)));
                std::memcpy(Data, Units.data(), Units.size() * sizeof(char16_t));
                Data[Units.size()] = u'\0';
                return {Data, Count.value_or(static_cast<int32_t>(Size)), static_cast<int32_t>(Size)};
            }

            static auto SetRawText(RC::Sim::ParamBlock& Params, const UFunction* Function, const std::string& Param,
                                   const std::u16string& Units, std::optional<int32_t> Count) -> void
            {
                const auto Raw = MakeRawText(Units, Count);
                std::vector<uint8_t> Bytes(sizeof(Raw));
                std::memcpy(Bytes.data(), &Raw, sizeof(Raw));
                Params.SetBytes(static_cast<size_t>(FindParam(Function, Param)->GetOffset_Internal()), Bytes);
            }

            static auto ReadRawText(const RC::Sim::ParamBlock& Params, const std::string& Param) -> RawText
            {
                const auto Bytes = Params.GetBytes(
                    static_cast<size_t>(FindParam(Params.Function(), Param)->GetOffset_Internal()), sizeof(RawText));
                RawText Raw;
                std::memcpy(&Raw, Bytes.data(), sizeof(Raw));
                return Raw;
            }

            // An engine string against a text of code units or one with no storage: what each holds.
            static auto ShowRawText(const Value& Wanted, const RawText& Raw) -> std::pair<std::string, std::string>
            {
                auto Expected = Wanted.Null ? "no storage (null data, count 0, capacity 0)" : ShowUnits(ExpectedUnits(Wanted));
                auto Seen = Raw.Data == nullptr ? "null data, count " + std::to_string(Raw.Num) + ", capacity " + std::to_string(Raw.Max)
                                                : ShowUnits(std::u16string(Raw.Data, static_cast<size_t>(std::max(Raw.Num, 0))));
                if (Wanted.Null && Raw.Data == nullptr && (Raw.Num != 0 || Raw.Max != 0))
                {
                    Seen = "null data with count " + std::to_string(Raw.Num) + ", capacity " + std::to_string(Raw.Max);
                }
                else if (Wanted.Null && Raw.Data == nullptr)
                {
                    Seen = Expected;
                }
                return {std::move(Expected), std::move(Seen)};
            }

            // What an expected text of code units holds, its NUL included, up to its count.
            static auto ExpectedUnits(const Value& Wanted) -> std::u16string
            {
                auto Units = *Wanted.Units + u'\0';
                Units.resize(static_cast<size_t>(Wanted.Count.value_or(static_cast<int32_t>(Units.size()))));
                return Units;
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
                    case Type::Text:
                        if (Given.Units)
                        {
                            SetRawText(*Params, Function, Arg.Param, *Given.Units, Given.Count);
                        }
                        else if (!Given.Null) // a text with no storage is all zero, as the block starts
                        {
                            Params->SetString(Name, Wide(Given.Text));
                        }
                        break;
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
                if (Expect.LogAnyOrder)
                {
                    // Each expected line takes one seen line; what is left over on either side is the difference.
                    std::vector<bool> Taken(Lines.size(), false);
                    std::vector<LineMatch> Missing;
                    for (const auto& Wanted : *Expect.LogAnyOrder)
                    {
                        size_t Index = 0;
                        while (Index < Lines.size() && (Taken[Index] || !Matches(Wanted, Lines[Index])))
                        {
                            ++Index;
                        }
                        if (Index == Lines.size())
                        {
                            Missing.push_back(Wanted);
                            continue;
                        }
                        Taken[Index] = true;
                    }
                    const bool All = Missing.empty() && std::count(Taken.begin(), Taken.end(), true) ==
                                                            static_cast<std::ptrdiff_t>(Lines.size());
                    Check(Current, All,
                          Missing.empty() ? "log lines in any order, and no others" : "log lines in any order, missing " + Show(Missing.front()),
                          ShowLines(*Expect.LogAnyOrder), ShowLines(Lines));
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
                        if (Wanted.Null || Wanted.Units)
                        {
                            std::tie(Expected, Seen) = ShowRawText(Wanted, ReadRawText(Params, Param.Param));
                        }
                        else if (Wanted.Names)
                        {
                            const auto Answer = Narrow(Params.GetString(Name));
                            Expected = ShowNames(Sorted(*Wanted.Names));
                            const auto Listed = SplitListing(Answer);
                            Seen = (Listed ? ShowNames(Sorted(*Listed)) : std::string("not a listing")) + " from " +
                                   Quote(Answer);
                            if (Listed && Sorted(*Listed) == Sorted(*Wanted.Names))
                            {
                                Seen = Expected;
                            }
                        }
                        else
                        {
                            Expected = Quote(Wanted.Text);
                            Seen = Quote(Narrow(Params.GetString(Name)));
                        }
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
                // First, so that the step's variables can name what was constructed.
                if (Expect.Constructed)
                {
                    CheckConstructed(Current, *Expect.Constructed);
                }
                for (const auto& Variable : Expect.Variables)
                {
                    CheckVariable(Current, Variable);
                }
                for (const auto& Row : Expect.Rows)
                {
                    CheckRow(Current, Row);
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

            auto CheckRow(const Step& Current, const RowExpect& Row) -> void
            {
                const auto* Memory = RowMemory(Row);
                const auto Name = Row.Table + "." + Row.Row;
                for (const auto& Bytes : Row.Bytes)
                {
                    const std::string Seen(reinterpret_cast<const char*>(Memory) + Bytes.Offset, Bytes.Bytes.size());
                    Check(Current, Seen == Bytes.Bytes, "bytes of " + Name + " at offset " + std::to_string(Bytes.Offset),
                          Hex(Bytes.Bytes), Hex(Seen));
                }
                if (Row.Unchanged)
                {
                    const auto& Before = RowsBefore.at(Name);
                    const std::string After(reinterpret_cast<const char*>(Memory), Before.size());
                    const auto Differ = std::mismatch(Before.begin(), Before.end(), After.begin()).first - Before.begin();
                    const auto Offset = static_cast<size_t>(Differ);
                    Check(Current, Before == After,
                          "every byte of " + Name + " as before the step" +
                              (Before == After ? "" : ", first difference at offset " + std::to_string(Offset)),
                          Hex(Before), Hex(After));
                }
                if (!Row.Set)
                {
                    return;
                }
                const auto Contents = ReadSelectionEntries(Memory, *Row.Set);
                const auto What = "entries of " + Name + ", selection set " + std::to_string(*Row.Set);
                const auto Wanted = Row.Entries ? ShowEntries(*Row.Entries) : "a readable list";
                if (!Contents.HeaderRead)
                {
                    // A row without selection sets expected empty is still empty.
                    const bool StillEmpty = *Row.Set == 0 && Row.Entries && Row.Entries->empty() && !Row.Capacity &&
                                            !Row.Count && !Row.Moved && Contents.Problem == "the row has 0 selection sets";
                    Check(Current, StillEmpty, What, Wanted, Contents.Problem);
                    return;
                }
                if (Row.Entries)
                {
                    Check(Current, Contents.Problem.empty() && Contents.Elements == *Row.Entries, What, Wanted,
                          Contents.Problem.empty() ? ShowEntries(Contents.Elements) : Contents.Problem);
                }
                CheckHeader(Current, What, Contents, {Row.Capacity, Row.Count, Row.Moved}, RowKey(Row));
            }

            struct HeaderExpect
            {
                std::optional<int32_t> Capacity;
                std::optional<int32_t> Count;
                std::optional<bool> Moved;
            };

            // A corrupt header is still read: its count, capacity and storage are what a
            // scenario about broken arrays checks; only its elements cannot be.
            auto CheckHeader(const Step& Current, const std::string& What, const ArrayContents& Contents,
                             const HeaderExpect& Expected, const std::string& Key) -> void
            {
                if (Expected.Capacity)
                {
                    Check(Current, Contents.Capacity == *Expected.Capacity, "capacity of " + What,
                          std::to_string(*Expected.Capacity), std::to_string(Contents.Capacity));
                }
                if (Expected.Count)
                {
                    Check(Current, Contents.Count == *Expected.Count, "count of " + What, std::to_string(*Expected.Count),
                          std::to_string(Contents.Count));
                }
                if (Expected.Moved)
                {
                    const bool Moved = StorageBefore.at(Key) != Contents.Storage;
                    Check(Current, Moved == *Expected.Moved, "storage of " + What, *Expected.Moved ? "moved" : "where it was",
                          Moved ? "moved" : "where it was");
                }
            }

            // Names the object found for later steps.
            auto Bind(const Step& Current, const std::string& As, UObject* Found, const std::string& What) -> void
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

            auto CheckVariable(const Step& Current, const VariableExpect& Expected) -> void
            {
                const void* Storage = VariableStorage(Expected);
                const auto What = "variable " + Expected.Variable + " of " + Expected.Object;
                if (Storage == nullptr)
                {
                    Fail(Current, What, "the variable", "the object's class has no such variable");
                    return;
                }
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
                    }
                    else
                    {
                        const UClass* Class = FindClass(Built, *Expected.OfClass);
                        const auto SeenText = Seen == nullptr ? "null" : NameOf(Seen) + " of class " + Narrow(Seen->GetClassPrivate()->GetName());
                        Check(Current, Seen != nullptr && Seen->IsA(Class), What, "an object of class " + *Expected.OfClass,
                              SeenText);
                    }
                    if (Expected.Outer && Seen != nullptr)
                    {
                        Check(Current, Seen->GetOuterPrivate() == ObjectFor(*Expected.Outer), "outer of " + NameOf(Seen),
                              NameOf(ObjectFor(*Expected.Outer)), NameOf(Seen->GetOuterPrivate()));
                    }
                    Bind(Current, Expected.As, Seen, What);
                    return;
                }
                const auto Contents = ReadArray8(Storage);
                if (Expected.Many)
                {
                    std::vector<std::string> Names;
                    for (const auto Element : Contents.Elements)
                    {
                        UObject* Seen = nullptr;
                        std::memcpy(static_cast<void*>(&Seen), &Element, sizeof(Seen));
                        Names.push_back(NameOf(Seen));
                    }
                    Check(Current, Contents.Problem.empty() && Names == *Expected.Many, What, ShowNames(*Expected.Many),
                          Contents.Problem.empty() ? ShowNames(Names) : Contents.Problem);
                }
                CheckHeader(Current, What, Contents, {Expected.Capacity, Expected.Count, Expected.Moved},
                            Expected.Object + "." + Expected.Variable);
            }

            auto CheckAnswers(const Step& Current) -> void
            {
                const auto& Expect = Current.Expect;
                for (const auto& Answer : Expect.Answers)
                {
                    using Relation = AnswerExpect::Relation;
                    const void* Seen = Answers.at(Answer.Name);
                    const auto What = "answer " + Answer.Name;
                    switch (Answer.Is)
                    {
                    case Relation::Same:
                        Check(Current, Seen == Answers.at(Answer.Other), What, "the same as " + Answer.Other,
                              Seen == Answers.at(Answer.Other) ? "the same" : "another");
                        break;
                    case Relation::Different:
                        Check(Current, Seen != Answers.at(Answer.Other), What, "another than " + Answer.Other,
                              Seen == Answers.at(Answer.Other) ? "the same" : "another");
                        break;
                    case Relation::Null:
                    case Relation::NotNull:
                        Check(Current, (Seen == nullptr) == (Answer.Is == Relation::Null), What,
                              Answer.Is == Relation::Null ? "null" : "not null", Seen == nullptr ? "null" : "not null");
                        break;
                    }
                }
                for (const auto& [Class, Count] : Expect.LiveObjects)
                {
                    std::vector<UObject*> Found;
                    RC::Unreal::UObjectGlobals::FindAllOf(Wide(Class), Found);
                    Check(Current, static_cast<int>(Found.size()) == Count, "live objects of " + Class, std::to_string(Count),
                          std::to_string(Found.size()));
                }
            }

            auto CheckConstructed(const Step& Current, const std::vector<ConstructExpect>& Wanted) -> void
            {
                const auto& All = Engine.Constructions();
                const std::vector<RC::Sim::Construction> Made(All.begin() + static_cast<std::ptrdiff_t>(ConstructionsBefore),
                                                              All.end());
                if (Made.size() != Wanted.size())
                {
                    Fail(Current, "constructions asked of the engine", std::to_string(Wanted.size()),
                         std::to_string(Made.size()));
                    return;
                }
                for (size_t Index = 0; Index < Made.size(); ++Index)
                {
                    const auto& Params = Made[Index].Params;
                    const auto& Expected = Wanted[Index];
                    const auto What = "construction " + std::to_string(Index + 1) + ": ";
                    const auto Object = [&](const char* Field, const std::optional<Value>& Reference, const UObject* Seen) {
                        if (Reference)
                        {
                            Check(Current, ObjectFor(*Reference) == Seen, What + Field, NameOf(ObjectFor(*Reference)), NameOf(Seen));
                        }
                    };
                    const auto Flag = [&](const char* Field, const std::optional<bool>& Given, bool Seen) {
                        if (Given)
                        {
                            Check(Current, *Given == Seen, What + Field, *Given ? "true" : "false", Seen ? "true" : "false");
                        }
                    };
                    Object("class", Expected.Class, Params.Class);
                    Object("outer", Expected.Outer, Params.Outer);
                    Object("template", Expected.Template, Params.Template);
                    if (Expected.Name)
                    {
                        const auto Seen = Narrow(Params.Name.ToString());
                        Check(Current, Seen == *Expected.Name, What + "name", Quote(*Expected.Name), Quote(Seen));
                    }
                    if (Expected.Flags)
                    {
                        const auto Seen = static_cast<uint32_t>(Params.SetFlags);
                        Check(Current, Seen == *Expected.Flags, What + "flags", std::to_string(*Expected.Flags), std::to_string(Seen));
                    }
                    if (Expected.InternalFlags)
                    {
                        const auto Seen = static_cast<uint32_t>(Params.InternalSetFlags);
                        Check(Current, Seen == *Expected.InternalFlags, What + "internal flags",
                              std::to_string(*Expected.InternalFlags), std::to_string(Seen));
                    }
                    Flag("copyTransients", Expected.CopyTransients, Params.bCopyTransientsFromClassDefaults);
                    Flag("templateIsArchetype", Expected.TemplateIsArchetype, Params.bAssumeTemplateIsArchetype);
                    Flag("instanceGraph", Expected.InstanceGraph, Params.InstanceGraph != nullptr);
                    Flag("externalPackage", Expected.ExternalPackage, Params.ExternalPackage != nullptr);
                    Bind(Current, Expected.As, Made[Index].Result, What + "the object");
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
                    if (File.Entries)
                    {
                        std::vector<std::string> Names;
                        for (fs::directory_iterator It(Path, Error), End; !Error && It != End; It.increment(Error))
                        {
                            Names.push_back(PathToUtf8(It->path().filename()));
                        }
                        Check(Current, !Error && Sorted(Names) == Sorted(*File.Entries), "entries of folder " + File.Path,
                              ShowNames(Sorted(*File.Entries)), Error ? Error.message() : ShowNames(Sorted(Names)));
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
            size_t ConstructionsBefore = 0;
            std::vector<RC::CppUserModBase*> StartedMods; // by start_mod steps, still installed
            std::map<std::string, void*> Answers;        // of exports, by the name a step gave
            std::unique_ptr<RC::Sim::LoadedLibrary> ConsumerModule; // loaded by the first member step
            std::optional<std::string> NarrowAnswer;          // of the last member step
            std::optional<RC::Unreal::FString> EngineAnswer;
            std::map<std::string, const void*> StorageBefore;
            std::map<std::string, std::string> RowsBefore;
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
