// The soak run: one simulated session plays a long rotating mix of Blueprint calls over every
// hooked function (logs to a discarding device, files in a scratch folder, objects and rows, the
// failure paths included) while the process's resident memory is sampled. After the warm-up the
// mod must not grow it by the bound. Every answer is checked on the way, so a mix that stopped
// reaching the mod's work fails instead of measuring nothing.
//
// The engine keeps every object NewObject constructs until its garbage collection; the mix lets
// it collect every so many constructions, after dropping the Blueprint's references, and checks
// that it collects exactly the objects the calls constructed.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <Unreal/Core/Containers/Array.hpp>

#include "harness/session.hpp"

namespace
{
    namespace fs = std::filesystem;
    namespace Param = BlueprintHalf::Param;
    using Harness::Library;
    using Harness::ParamBlock;
    using RC::StringType;
    using RC::Unreal::FName;
    using RC::Unreal::TArray;
    using RC::Unreal::UClass;
    using RC::Unreal::UObject;

#if defined(__SANITIZE_ADDRESS__)
    constexpr bool UnderAddressSanitizer = true;
#elif defined(__has_feature)
    constexpr bool UnderAddressSanitizer = __has_feature(address_sanitizer);
#else
    constexpr bool UnderAddressSanitizer = false;
#endif

    constexpr int HookedFunctions = 15;
    constexpr uint64_t SaveSlots = 16;
    constexpr int LiveItems = 32;
    constexpr int MaxRowEntries = 512;
    constexpr auto ItemClassPath = STR("/Game/Soak/BP_SoakItem.BP_SoakItem_C");
    constexpr auto ItemClassName = STR("BP_SoakItem_C");
    constexpr auto AbsentClassName = STR("BP_Absent_C");
    constexpr auto RowName = STR("Soak_Row");

    auto ResidentBytes() -> uint64_t
    {
        std::ifstream Statm("/proc/self/statm");
        uint64_t Size = 0;
        uint64_t Resident = 0;
        Statm >> Size >> Resident;
        return Resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    }

    auto Wide(std::string_view Ascii) -> StringType { return {Ascii.begin(), Ascii.end()}; }

    auto Without(StringType Text, RC::CharType Removed) -> StringType
    {
        std::erase(Text, Removed);
        return Text;
    }

    // The Blueprint side of the soak. One Step() is one Blueprint call; a round is one call of
    // each hooked function, with the arguments varied from round to round.
    class Mix
    {
    public:
        Mix(Harness::Session& Session, const fs::path& Scratch, uint64_t Every)
            : S(Session), Fn(Session.Fn()), Folder(Wide(Scratch.string() + "/")), CollectEvery(Every),
              Actors{Session.WorldActor(), Session.Sim().SpawnObject(Session.Half().WorldActorClass)},
              Proxies{Session.Proxy(), Session.Sim().SpawnObject(Session.Half().ProxyClass)},
              ItemClass(Session.Sim().CreateClass(ItemClassPath))
        {
            for (int Index = 0; Index < LiveItems; ++Index)
            {
                Session.Sim().SpawnObject(ItemClass);
            }
            uint8_t* const Row = BlueprintHalf::AddSelectionRow(Session.Sim(), Session.Table(), FName(RowName),
                                                                FName(STR("Soak_ID")), {{FName(STR("Soak_Group")), {}}});
            uint8_t* FirstItem = nullptr;
            std::memcpy(&FirstItem, Row + BlueprintHalf::RowSelectionSetOffset, sizeof(FirstItem));
            Entries = reinterpret_cast<TArray<uint64_t>*>(FirstItem + BlueprintHalf::ItemEntriesOffset);
            Registered = Actors[0];
        }

        auto Step() -> void
        {
            const uint64_t Round = Calls / HookedFunctions;
            switch (Calls % HookedFunctions)
            {
            case 0: Log(Round); break;
            case 1: Save(Round); break;
            case 2: Exists(Round); break;
            case 3: Read(Round); break;
            case 4: List(Round); break;
            case 5: DestroyActor(Round); break;
            case 6: RegisterActor(Round); break;
            case 7: FindFirst(Round); break;
            case 8: FindAll(Round); break;
            case 9: Construct(Round); break;
            case 10: Respond(Round); break;
            case 11: DestroyProxy(Round); break;
            case 12: RegisterProxy(Round); break;
            case 13: AddEntry(Round); break;
            default: TestEntry(Round); break;
            }
            ++Calls;
        }

        [[nodiscard]] auto CallCount() const -> uint64_t { return Calls; }
        [[nodiscard]] auto Constructed() const -> uint64_t { return ConstructedTotal; }
        [[nodiscard]] auto Collections() const -> uint64_t { return CollectionCount; }
        [[nodiscard]] auto Faults() const -> const std::vector<std::string>& { return FaultList; }

    private:
        // The run stops after the call that broke an expectation.
        auto Expect(bool Held, const std::string& What) -> void
        {
            if (!Held)
            {
                FaultList.push_back(fmt::format("call {}: {}", Calls, What));
            }
        }

        auto Invoke(UObject* Context, RC::Unreal::UFunction* Function, ParamBlock& Params) -> void
        {
            const int Escaped = S.Sim().EscapedExceptions();
            S.Call(Context, Function, Params);
            Expect(S.Sim().EscapedExceptions() == Escaped, "an exception left a hook");
        }

        auto SlotName(uint64_t Slot) const -> StringType { return Wide(fmt::format("slot_{}.sav", Slot)); }

        // --- files and the log -------------------------------------------------------------------

        auto Log(uint64_t Round) -> void
        {
            StringType Text = Wide(fmt::format("Soak round {}: ", Round));
            for (uint64_t Index = 0; Index < Round % 61; ++Index)
            {
                Text += STR("caf\u00e9 \u6f22\U0001F600 ");
            }
            ParamBlock Params(Fn.SendToUE4SSLog);
            Params.SetString(Param::Text, Text);
            Invoke(S.LibraryObject(Library::Core), Fn.SendToUE4SSLog, Params);
        }

        auto Save(uint64_t Round) -> void
        {
            const uint64_t Slot = Round % SaveSlots;
            const bool Refused = Round % 32 == 31; // an empty file name
            StringType Content;
            const size_t Length = 64 + (Round * 397) % 4032;
            for (uint64_t Line = 0; Content.size() < Length; ++Line)
            {
                Content += Wide(fmt::format("line {} of save {}: ", Line, Round)) + STR("\u00e9t\u00e9 \u6f22\n");
            }
            ParamBlock Params(Fn.SaveFile);
            Params.SetString(Param::Path, Folder);
            Params.SetString(Param::FileName, Refused ? StringType() : SlotName(Slot));
            Params.SetString(Param::Content, Content);
            Invoke(S.LibraryObject(Library::Core), Fn.SaveFile, Params);
            const StringType Status = Params.GetString(Param::Path);
            if (Refused)
            {
                Expect(Status == STR("::FileSaveFailed::"), "a save without a file name was not refused");
                return;
            }
            Expect(Status == STR("::FileSaveSuccess::"), "a save failed");
            Saved[Slot] = Without(std::move(Content), RC::CharType{'\n'});
            Written[Slot] = true;
        }

        auto Exists(uint64_t Round) -> void
        {
            const uint64_t Slot = Round % SaveSlots;
            const bool Missing = Round % 2 == 1;
            ParamBlock Params(Fn.DoesFileExist);
            Params.SetString(Param::Path, Missing ? Folder + Wide(fmt::format("missing_{}.sav", Round % 7))
                                                  : Folder + SlotName(Slot));
            Invoke(S.LibraryObject(Library::Core), Fn.DoesFileExist, Params);
            const bool There = !Missing && Written[Slot];
            Expect(Params.GetString(Param::Path) == (There ? STR("true") : STR("false")), "DoesFileExist answered wrong");
        }

        auto Read(uint64_t Round) -> void
        {
            const uint64_t Slot = (Round * 7) % SaveSlots;
            const bool Missing = Round % 8 == 7;
            ParamBlock Params(Fn.GetFileContents);
            Params.SetString(Param::Path, Missing ? Folder + STR("missing.sav") : Folder + SlotName(Slot));
            Invoke(S.LibraryObject(Library::Core), Fn.GetFileContents, Params);
            const StringType Expected = Missing || !Written[Slot] ? StringType() : Saved[Slot];
            Expect(Params.GetString(Param::Path) == Expected, "GetFileContents answered other text than was saved");
        }

        auto List(uint64_t Round) -> void
        {
            // Every eighth listing names a file: the error path through the hook's boundary.
            const bool OfFile = Round % 8 == 3 && Written[0];
            const StringType Path = OfFile ? Folder + SlotName(0) : Folder;
            ParamBlock Params(Fn.GetNamesFromDir);
            Params.SetString(Param::Path, Path);
            Invoke(S.LibraryObject(Library::Core), Fn.GetNamesFromDir, Params);
            const StringType Answer = Params.GetString(Param::Path);
            Expect(OfFile ? Answer == Path : Answer.starts_with(STR("|")), "GetNamesFromDir answered wrong");
        }

        // --- the world actor and its object functions --------------------------------------------

        auto DestroyActor(uint64_t Round) -> void
        {
            const bool Null = Round % 16 == 9;
            ParamBlock Params(Fn.DestroyedWorldActor);
            Params.SetObject(Param::Actor, Null ? nullptr : Registered != nullptr ? Registered : Actors[0]);
            Invoke(S.LibraryObject(Library::Core), Fn.DestroyedWorldActor, Params);
            Expect(Params.GetObject(Param::Actor) == nullptr, "DestroyedWorldActor did not take the actor");
            if (!Null)
            {
                Registered = nullptr;
            }
        }

        auto RegisterActor(uint64_t Round) -> void
        {
            // Every sixteenth round registers nothing: the object functions then find no actor.
            UObject* const Actor = Round % 16 == 13 ? nullptr : Actors[Round % 2];
            ParamBlock Params(Fn.RegisterWorldActor);
            Params.SetObject(Param::Actor, Actor);
            Invoke(S.LibraryObject(Library::Core), Fn.RegisterWorldActor, Params);
            Expect(Params.GetObject(Param::Actor) == nullptr, "RegisterWorldActor did not take the actor");
            if (Actor != nullptr)
            {
                Registered = Actor;
            }
        }

        [[nodiscard]] auto Caller() const -> UObject* { return Registered != nullptr ? Registered : Actors[0]; }

        auto FindFirst(uint64_t Round) -> void
        {
            const uint64_t Kind = Round % 4; // 0: no class name, 1: a class without objects, else items
            ParamBlock Params(Fn.FindFirstOf);
            Params.SetString(Param::ClassName, Kind == 0 ? STR("") : Kind == 1 ? AbsentClassName : ItemClassName);
            if (Registered != nullptr)
            {
                *ObjectRef(Registered) = Actors[1];
            }
            Invoke(Caller(), Fn.FindFirstOf, Params);
            if (Registered != nullptr && Kind != 0)
            {
                UObject* const Found = *ObjectRef(Registered);
                Expect(Kind == 1 ? Found == nullptr : Found != nullptr && Found->GetClassPrivate() == ItemClass,
                       "FindFirstOf answered wrong");
            }
        }

        auto FindAll(uint64_t Round) -> void
        {
            const bool Absent = Round % 8 == 5;
            ParamBlock Params(Fn.FindAllOf);
            Params.SetString(Param::ClassName, Absent ? AbsentClassName : ItemClassName);
            Invoke(Caller(), Fn.FindAllOf, Params);
            if (Registered != nullptr)
            {
                const auto Expected = Absent ? 0 : LiveItems + static_cast<int>(Pending);
                Expect(ObjectRefs(Registered)->Num() == Expected, "FindAllOf did not find every item");
            }
        }

        auto Construct(uint64_t Round) -> void
        {
            const bool NoClass = Round % 16 == 11;
            ParamBlock Params(Fn.NewObject);
            Params.SetObject(Param::Outer, Round % 2 == 0 ? Registered : nullptr);
            Params.SetObject(Param::Class, NoClass ? nullptr : ItemClass);
            Invoke(Caller(), Fn.NewObject, Params);
            if (Registered == nullptr || NoClass)
            {
                // Without an actor nothing is constructed; without a class neither.
                return;
            }
            UObject* const Created = *ObjectRef(Registered);
            Expect(Created != nullptr && Created != LastCreated && Created->GetClassPrivate() == ItemClass,
                   "NewObject did not answer a new object");
            LastCreated = Created;
            ++ConstructedTotal;
            if (++Pending == CollectEvery)
            {
                Collect();
            }
        }

        // The Blueprint drops its references, then the engine collects.
        auto Collect() -> void
        {
            for (UObject* const Actor : Actors)
            {
                *ObjectRef(Actor) = nullptr;
                ObjectRefs(Actor)->Empty();
            }
            const size_t Collected = S.Sim().CollectConstructed();
            Expect(Collected == Pending,
                   fmt::format("the engine collected {} objects where NewObject constructed {}", Collected, Pending));
            Pending = 0;
            LastCreated = nullptr;
            ++CollectionCount;
        }

        static auto ObjectRef(UObject* Actor) -> UObject**
        {
            return Actor->GetValuePtrByPropertyName<UObject*>(BlueprintHalf::ObjectRefVar);
        }
        static auto ObjectRefs(UObject* Actor) -> TArray<UObject*>*
        {
            return Actor->GetValuePtrByPropertyName<TArray<UObject*>>(BlueprintHalf::ObjectRefsVar);
        }

        // --- the animation bridge and the content proxy ------------------------------------------

        auto Respond(uint64_t Round) -> void
        {
            ParamBlock Params(Fn.GetResponse);
            Params.SetString(Param::Request, Wide(fmt::format("Soak request {}", Round)));
            Invoke(S.LibraryObject(Library::Anim), Fn.GetResponse, Params);
            Expect(Params.GetString(Param::Request) == STR("CPPResponse"), "GetResponse answered wrong");
        }

        auto DestroyProxy(uint64_t Round) -> void
        {
            ParamBlock Params(Fn.DestroyedProxy);
            Params.SetObject(Param::Proxy, Round % 16 == 6 ? nullptr : Proxies[(Round + 1) % 2]);
            Invoke(S.LibraryObject(Library::Proxy), Fn.DestroyedProxy, Params);
            Expect(Params.GetObject(Param::Proxy) == nullptr, "DestroyedProxy did not take the proxy");
        }

        auto RegisterProxy(uint64_t Round) -> void
        {
            ParamBlock Params(Fn.RegisterProxy);
            Params.SetObject(Param::Proxy, Proxies[Round % 2]);
            Invoke(S.LibraryObject(Library::Proxy), Fn.RegisterProxy, Params);
            Expect(Params.GetObject(Param::Proxy) == nullptr, "RegisterProxy did not take the proxy");
        }

        auto AddEntry(uint64_t Round) -> void
        {
            const bool MissingRow = Round % 16 == 2;
            const uint64_t Entry = 1 + Round % 64;
            ParamBlock Params(Fn.AddObjectSelectionSetID);
            Params.SetObject(Param::DataTable, S.Table());
            Params.SetName(Param::RowName, FName(MissingRow ? STR("Soak_Missing") : RowName));
            Params.SetInt64(Param::EntryID, Entry);
            Invoke(Proxies[Round % 2], Fn.AddObjectSelectionSetID, Params);
            if (!MissingRow)
            {
                const uint64_t* const First = Entries->GetData();
                Expect(std::find(First, First + Entries->Num(), Entry) != First + Entries->Num(),
                       "AddObjectSelectionSetID did not add the entry");
            }
        }

        auto TestEntry(uint64_t Round) -> void
        {
            const bool NoTable = Round % 16 == 4;
            const int Before = Entries->Num();
            ParamBlock Params(Fn.TestDT);
            Params.SetObject(Param::DataTable, NoTable ? nullptr : S.Table());
            Params.SetName(Param::RowName, FName(RowName));
            Params.SetInt64(Param::EntryID, 1'000'000 + Round);
            Invoke(Proxies[Round % 2], Fn.TestDT, Params);
            Expect(Entries->Num() == Before + (NoTable ? 0 : 1), "TestDT did not append the entry");
            // The Blueprint clears the list now and then, as a game resets a selection.
            if (Entries->Num() >= MaxRowEntries)
            {
                Entries->Empty();
            }
        }

        Harness::Session& S;
        const Harness::Functions& Fn;
        const StringType Folder;
        const uint64_t CollectEvery;
        const std::array<UObject*, 2> Actors;
        const std::array<UObject*, 2> Proxies;
        UClass* const ItemClass;
        TArray<uint64_t>* Entries = nullptr;
        UObject* Registered = nullptr;
        UObject* LastCreated = nullptr;
        std::array<StringType, SaveSlots> Saved{};
        std::array<bool, SaveSlots> Written{};
        uint64_t Calls = 0;
        uint64_t Pending = 0;
        uint64_t ConstructedTotal = 0;
        uint64_t CollectionCount = 0;
        std::vector<std::string> FaultList;
    };

    // A private scratch folder, removed at the end.
    class ScratchFolder
    {
    public:
        explicit ScratchFolder(const fs::path& Parent)
        {
            std::string Template = (Parent / "brambleon-soak-XXXXXX").string();
            if (::mkdtemp(Template.data()) == nullptr)
            {
                throw std::runtime_error("cannot make a scratch folder in " + Parent.string());
            }
            Path = Template;
        }
        ScratchFolder(const ScratchFolder&) = delete;
        auto operator=(const ScratchFolder&) -> ScratchFolder& = delete;
        ~ScratchFolder()
        {
            std::error_code Ignored;
            fs::remove_all(Path, Ignored);
        }
        fs::path Path;
    };

    auto KiB(uint64_t Bytes) -> double { return static_cast<double>(Bytes) / 1024.0; }

    struct Sample
    {
        uint64_t Calls;
        uint64_t Resident;
    };

    struct Options
    {
        uint64_t Calls = 1'000'000;
        uint64_t Warmup = 100'000;
        uint64_t Samples = 200;
        uint64_t BoundKiB = 1024;
        uint64_t CollectEvery = 256;
        std::string ScratchParent;
        std::string SamplesOut;
    };

    auto Run(const Options& Opt) -> int
    {
        const ScratchFolder Scratch(Opt.ScratchParent);
        const uint64_t Start = ResidentBytes();
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        Mix Calls(Session, Scratch.Path, Opt.CollectEvery);

        const uint64_t Every = std::max<uint64_t>(1, Opt.Calls / Opt.Samples);
        std::vector<Sample> Samples;
        uint64_t AtWarmup = 0;
        auto Began = std::chrono::steady_clock::now();
        auto WarmupEnded = Began;
        while (Calls.CallCount() < Opt.Calls && Calls.Faults().empty())
        {
            Calls.Step();
            const uint64_t Done = Calls.CallCount();
            if (Done == Opt.Warmup)
            {
                AtWarmup = ResidentBytes();
                WarmupEnded = std::chrono::steady_clock::now();
                Samples.push_back({Done, AtWarmup});
            }
            else if (Done % Every == 0 || Done == Opt.Calls)
            {
                Samples.push_back({Done, ResidentBytes()});
            }
        }
        const auto Ended = std::chrono::steady_clock::now();
        const uint64_t End = ResidentBytes();

        if (!Opt.SamplesOut.empty())
        {
            std::ofstream Out(Opt.SamplesOut);
            Out << "calls,rss_kib\n";
            for (const Sample& Each : Samples)
            {
                Out << Each.Calls << ',' << Each.Resident / 1024 << '\n';
            }
        }

        fmt::print("Soak: {} calls over {} hooked functions ({} rounds), scratch folder in {}\n", Calls.CallCount(),
                   HookedFunctions, Calls.CallCount() / HookedFunctions, Opt.ScratchParent);
        fmt::print("NewObject constructed {} objects; the engine collected them in {} collections of {}\n",
                   Calls.Constructed(), Calls.Collections(), Opt.CollectEvery);
        for (const std::string& Fault : Calls.Faults())
        {
            fmt::print("FAULT: {}\n", Fault);
        }
        if (!Calls.Faults().empty() || Calls.CallCount() <= Opt.Warmup)
        {
            fmt::print("FAILED: {}\n", Calls.Faults().empty() ? "the run ended within its warm-up" : "wrong answers");
            return 1;
        }

        uint64_t Peak = 0;
        for (const Sample& Each : Samples)
        {
            if (Each.Calls >= Opt.Warmup)
            {
                Peak = std::max(Peak, Each.Resident);
            }
        }
        const double Seconds = std::chrono::duration<double>(Ended - Began).count();
        const double Measured = std::chrono::duration<double>(Ended - WarmupEnded).count();
        fmt::print("RSS: {:.0f} KiB before the session, {:.0f} KiB after the warm-up ({} calls), peak {:.0f} KiB, "
                   "{:.0f} KiB at the end\n",
                   KiB(Start), KiB(AtWarmup), Opt.Warmup, KiB(Peak), KiB(End));
        fmt::print("Growth after the warm-up: {:+.0f} KiB at the peak, {:+.0f} KiB at the end (bound {} KiB)\n",
                   KiB(Peak) - KiB(AtWarmup), KiB(End) - KiB(AtWarmup), Opt.BoundKiB);
        fmt::print("Speed: {:.0f} calls/s overall, {:.0f} calls/s after the warm-up\n",
                   static_cast<double>(Calls.CallCount()) / Seconds,
                   static_cast<double>(Calls.CallCount() - Opt.Warmup) / Measured);
        if (UnderAddressSanitizer)
        {
            // Its quarantine keeps freed memory and its shadow grows with the heap.
            fmt::print("Not checked under AddressSanitizer: resident memory there is the sanitizer's; "
                       "LeakSanitizer checks at exit\n");
            return 0;
        }
        if (Peak >= AtWarmup + Opt.BoundKiB * 1024)
        {
            fmt::print("FAILED: resident memory grew by {:.0f} KiB after the warm-up\n", KiB(Peak) - KiB(AtWarmup));
            return 1;
        }
        fmt::print("OK\n");
        return 0;
    }
} // namespace

auto main(int Argc, char** Argv) -> int
{
    Options Opt;
    Opt.ScratchParent = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    CLI::App App{"Plays a long mix of Blueprint calls over every hooked function and checks that the "
                 "process's resident memory stops growing after the warm-up."};
    App.add_option("--calls", Opt.Calls, "Blueprint calls in all")->capture_default_str();
    App.add_option("--warmup", Opt.Warmup, "calls before the memory is measured against")->capture_default_str();
    App.add_option("--samples", Opt.Samples, "resident-memory samples over the run")->capture_default_str()->check(
        CLI::PositiveNumber);
    App.add_option("--bound-kib", Opt.BoundKiB, "allowed growth after the warm-up, KiB")->capture_default_str();
    App.add_option("--collect-every", Opt.CollectEvery, "NewObject constructions between the engine's collections")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    App.add_option("--scratch-parent", Opt.ScratchParent,
                   "where the scratch folder is made (default: /dev/shm, so disk flushes do not set the pace)")
        ->capture_default_str();
    App.add_option("--samples-out", Opt.SamplesOut, "write every sample (calls, RSS in KiB) to this CSV file");
    CLI11_PARSE(App, Argc, Argv);
    try
    {
        return Run(Opt);
    }
    catch (const std::exception& Error)
    {
        fmt::print(stderr, "brambleon_soak: {}\n", Error.what());
        return 1;
    }
}
