// The file hooks through the stand-in host against their floors: a plain bulk read of the same
// file with CR and LF removed, a plain enumeration of the same folder, and what a script mod does
// instead (Lua 5.4 reading the file and removing CR and LF with gsub, run as a process).
// Wall-clock times: the Lua work happens in a child process.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "bridge/text.hpp"
#include "harness/session.hpp"

extern char** environ;

namespace fs = std::filesystem;

namespace
{
    using namespace std::string_view_literals;

    constexpr int64_t MiB = 1024 * 1024;
    constexpr int FolderEntries = 10'000;

    // Lua's own timing of the read and the gsub, printed in seconds.
    constexpr auto LuaScript = R"(local t0 = os.clock()
local f = assert(io.open(arg[1], "r"))
local text = f:read("a")
f:close()
text = text:gsub("[\r\n]", "")
io.write(string.format("%.9f %d\n", os.clock() - t0, #text))
)";

    // Files and a folder made once per run in a private temporary folder, removed at exit.
    class Data
    {
    public:
        static auto Get() -> Data&
        {
            static Data Instance;
            return Instance;
        }

        auto CrLfFile(int64_t Bytes) -> std::string
        {
            const fs::path Path = Root / ("crlf_" + std::to_string(Bytes) + ".txt");
            if (!fs::exists(Path))
            {
                const std::string Line = "An ordinary line of a save file, with some numbers 0123456789 and words.\r\n";
                std::string Text;
                Text.reserve(static_cast<size_t>(Bytes));
                while (static_cast<int64_t>(Text.size() + Line.size()) <= Bytes)
                {
                    Text += Line;
                }
                Text.append(static_cast<size_t>(Bytes) - Text.size(), 'x');
                std::ofstream(Path, std::ios::binary).write(Text.data(), static_cast<std::streamsize>(Text.size()));
            }
            return Path.string();
        }

        // A file of Bytes bytes made by repeating Unit (cut at the end), after Head.
        auto PatternFile(const std::string& Name, int64_t Bytes, std::string_view Head, std::string_view Unit)
            -> std::string
        {
            const fs::path Path = Root / (Name + "_" + std::to_string(Bytes) + ".txt");
            if (!fs::exists(Path))
            {
                std::string Text(Head);
                Text.reserve(static_cast<size_t>(Bytes) + Unit.size());
                while (static_cast<int64_t>(Text.size()) < Bytes)
                {
                    Text += Unit;
                }
                Text.resize(static_cast<size_t>(Bytes));
                std::ofstream(Path, std::ios::binary).write(Text.data(), static_cast<std::streamsize>(Text.size()));
            }
            return Path.string();
        }

        auto Folder() -> std::string
        {
            const fs::path Path = Root / "folder";
            if (!fs::exists(Path))
            {
                fs::create_directory(Path);
                for (int Index = 0; Index < FolderEntries; ++Index)
                {
                    std::ofstream(Path / ("entry_" + std::to_string(Index) + ".sav")).put('x');
                }
            }
            return Path.string();
        }

        auto LuaScriptPath() -> std::string
        {
            const fs::path Path = Root / "strip.lua";
            if (!fs::exists(Path))
            {
                std::ofstream(Path) << LuaScript;
            }
            return Path.string();
        }

        Data(const Data&) = delete;
        auto operator=(const Data&) -> Data& = delete;
        ~Data()
        {
            std::error_code Ignored;
            fs::remove_all(Root, Ignored);
        }

    private:
        Data()
        {
            std::string Template = (fs::temp_directory_path() / "brambleon-bench-XXXXXX").string();
            if (::mkdtemp(Template.data()) == nullptr)
            {
                throw std::runtime_error("cannot make a temporary folder");
            }
            Root = Template;
        }

        fs::path Root;
    };

    auto ToWide(const std::string& Ascii) -> RC::StringType { return RC::StringType(Ascii.begin(), Ascii.end()); }

    // --- VEXA_CPP_GetFileContents ---------------------------------------------------------------

    // Reads the file at Path through the hook once per iteration; Answered judges the last answer.
    template <class Judge>
    auto ReadThroughHook(benchmark::State& State, const RC::StringType& Path, Judge Answered, const char* Otherwise)
        -> void
    {
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::Functions& Fn = Session.Fn();
        Harness::ParamBlock Params(Fn.GetFileContents);
        for (auto _ : State)
        {
            Params.SetString(BlueprintHalf::Param::Path, Path);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.GetFileContents, Params);
        }
        if (!Answered(Params.GetString(BlueprintHalf::Param::Path)) || Session.Sim().EscapedExceptions() != 0)
        {
            State.SkipWithError(Otherwise);
        }
    }

    auto BM_GetFileContents(benchmark::State& State) -> void
    {
        const auto Size = static_cast<size_t>(State.range(0));
        ReadThroughHook(
            State, ToWide(Data::Get().CrLfFile(State.range(0))),
            [Size](const RC::StringType& Answer) { return Answer.size() < Size; },
            "the hook did not answer the file's text without line breaks");
        State.SetBytesProcessed(State.iterations() * State.range(0));
    }

    // --- VEXA_CPP_GetFileContents on every kind of byte sequence --------------------------------

    struct Pattern
    {
        const char* Name;
        std::string_view Head;
        std::string_view Unit;
    };

    // Decoding must cost the same per byte whatever the bytes are. "mixed" is ordinary save text
    // with two-, three- and four-byte characters; the rest are malformed on purpose.
    const Pattern Patterns[] = {
        {"ascii", ""sv, "An ordinary line of a save file, with some numbers 0123456789 and words.\r\n"sv},
        {"mixed", ""sv, "Name=Zo\xC3\xAB;Gold=50\xE2\x82\xAC;Mood=\xF0\x9F\x98\x82;Town=\xE6\x9D\xB1\xE4\xBA\xAC\r\n"sv},
        // Continuation bytes with no lead byte anywhere: each is one replacement.
        {"continuations", ""sv, "\x80\x81\x9F\xA0\xBF\xB5\x8A\x99"sv},
        // An overlong lead swallowing every continuation byte after it: one replacement in all.
        {"overlong_then_continuations", "\xC0"sv, "\x80\xBF\x90\xA5"sv},
        // Lead bytes of every length, none followed by its continuation bytes.
        {"leads_alone", ""sv, "\xC3\xE2\xF0\xDF\xEF\xF4\xC2\xE0"sv},
        // Valid and invalid sequences in turn.
        {"alternating", ""sv, "\xC3\xA9\xFF" "a\x80\xE2\x82\xAC\xE2\x82z\xF0\x9F\x98\x82\xED\xA0\x80"sv},
        // A NUL a few bytes in: the answer ends there, whatever follows.
        {"nul_early", "Slot\0"sv, "Name=Zo\xC3\xAB;Gold=50\r\n"sv},
    };

    auto BM_GetFileContentsPattern(benchmark::State& State) -> void
    {
        const Pattern& Kind = Patterns[State.range(0)];
        const RC::StringType Path =
            ToWide(Data::Get().PatternFile(Kind.Name, State.range(1), Kind.Head, Kind.Unit));
        ReadThroughHook(
            State, Path, [&Path](const RC::StringType& Answer) { return Answer != Path; }, "the hook did not answer");
        State.SetLabel(Kind.Name);
        State.SetBytesProcessed(State.iterations() * State.range(1));
    }

    auto PatternArguments(benchmark::internal::Benchmark* Benchmark) -> void
    {
        for (const int64_t Size : {16 * MiB, 64 * MiB})
        {
            for (int64_t Kind = 0; Kind < static_cast<int64_t>(std::size(Patterns)); ++Kind)
            {
                Benchmark->Args({Kind, Size});
            }
        }
    }

    auto BM_ReadFloor(benchmark::State& State) -> void
    {
        const std::string Path = Data::Get().CrLfFile(State.range(0));
        for (auto _ : State)
        {
            std::ifstream In(Path, std::ios::binary);
            std::string Text(static_cast<size_t>(fs::file_size(Path)), '\0');
            In.read(Text.data(), static_cast<std::streamsize>(Text.size()));
            std::erase_if(Text, [](const char Byte) { return Byte == '\r' || Byte == '\n'; });
            benchmark::DoNotOptimize(Text.data());
        }
        State.SetBytesProcessed(State.iterations() * State.range(0));
    }

    // The least any implementation must do to answer: a fresh engine string as long as the
    // answer, from the engine allocator, with every character written once. On a machine where
    // first-touch page faults are dear this, not the reading, bounds the hook on large files.
    auto BM_AnswerStorageFloor(benchmark::State& State) -> void
    {
        std::ifstream In(Data::Get().CrLfFile(State.range(0)), std::ios::binary);
        const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        const auto Characters =
            static_cast<RC::Unreal::int32>(std::count_if(Text.begin(), Text.end(), [](const char Byte) {
                return Byte != '\r' && Byte != '\n';
            }));
        for (auto _ : State)
        {
            RC::Unreal::FString Answer;
            auto& Chars = Answer.GetCharArray();
            (void)Chars.AddUninitialized(Characters + 1);
            std::fill_n(Chars.GetData(), Characters + 1, RC::CharType{'x'});
            benchmark::DoNotOptimize(Chars.GetData());
        }
        State.SetBytesProcessed(State.iterations() * State.range(0));
    }

    // Lua 5.4 as found on PATH when the run starts, so a Lua installed after configuring counts;
    // empty when there is none.
    auto FindLua() -> const std::string&
    {
        static const std::string Found = [] {
            const char* const Path = std::getenv("PATH");
            const std::string_view Folders = Path != nullptr ? Path : "";
            for (size_t Start = 0; Start < Folders.size();)
            {
                const size_t End = std::min(Folders.find(':', Start), Folders.size());
                const fs::path Candidate = fs::path(Folders.substr(Start, End - Start)) / "lua5.4";
                if (End > Start && ::access(Candidate.c_str(), X_OK) == 0)
                {
                    return Candidate.string();
                }
                Start = End + 1;
            }
            return std::string();
        }();
        return Found;
    }

    // Runs the Lua script on Path; Lua's own measurement in seconds, or nothing when Lua could not
    // be started or did not finish cleanly.
    auto RunLua(const std::string& Lua, const std::string& Path) -> std::optional<double>
    {
        std::array<int, 2> Pipe{};
        if (::pipe(Pipe.data()) != 0)
        {
            return std::nullopt;
        }
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
        std::string Program = Lua;
        std::string Script = Data::Get().LuaScriptPath();
        std::string File = Path;
        std::array<char*, 4> Arguments{Program.data(), Script.data(), File.data(), nullptr};
        pid_t Child = 0;
        const int Spawned = posix_spawn(&Child, Program.c_str(), &Actions, nullptr, Arguments.data(), environ);
        posix_spawn_file_actions_destroy(&Actions);
        ::close(Pipe[1]);
        std::string Output;
        std::array<char, 256> Buffer{};
        for (ssize_t Got = 0; Spawned == 0 && (Got = ::read(Pipe[0], Buffer.data(), Buffer.size())) > 0;)
        {
            Output.append(Buffer.data(), static_cast<size_t>(Got));
        }
        ::close(Pipe[0]);
        int Status = 0;
        if (Spawned != 0 || ::waitpid(Child, &Status, 0) != Child || !WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
        {
            return std::nullopt;
        }
        return std::strtod(Output.c_str(), nullptr);
    }

    // What the Lua benchmarks run: Lua and the file it reads. Without Lua the benchmark is
    // skipped with the reason, and the other benchmarks still run.
    struct LuaRun
    {
        std::string Lua;
        std::string File;
    };

    auto LuaInput(benchmark::State& State) -> std::optional<LuaRun>
    {
        const std::string& Lua = FindLua();
        if (Lua.empty())
        {
            State.SkipWithError("skipped: lua5.4 is not on PATH (BRAMBLEON_BENCH=1 bash .ci/install-deps installs it)");
            return std::nullopt;
        }
        return LuaRun{Lua, Data::Get().CrLfFile(State.range(0))};
    }

    constexpr auto LuaFailed = "lua5.4 failed on the file";

    // Wall-clock time around the whole process: start-up, read, gsub, exit.
    auto BM_Lua54_Process(benchmark::State& State) -> void
    {
        const std::optional<LuaRun> Run = LuaInput(State);
        if (!Run)
        {
            return;
        }
        for (auto _ : State)
        {
            const std::optional<double> Seconds = RunLua(Run->Lua, Run->File);
            if (!Seconds)
            {
                State.SkipWithError(LuaFailed);
                break;
            }
            benchmark::DoNotOptimize(*Seconds);
        }
        State.SetBytesProcessed(State.iterations() * State.range(0));
    }

    // Lua's own measurement of the read and the gsub only.
    auto BM_Lua54_InScript(benchmark::State& State) -> void
    {
        const std::optional<LuaRun> Run = LuaInput(State);
        if (!Run)
        {
            return;
        }
        for (auto _ : State)
        {
            const std::optional<double> Seconds = RunLua(Run->Lua, Run->File);
            if (!Seconds)
            {
                State.SkipWithError(LuaFailed);
                break;
            }
            State.SetIterationTime(*Seconds);
        }
        State.SetBytesProcessed(State.iterations() * State.range(0));
    }

    // --- VEXA_CPP_GetNamesFromDir ---------------------------------------------------------------

    auto BM_GetNamesFromDir(benchmark::State& State) -> void
    {
        const RC::StringType Folder = ToWide(Data::Get().Folder());
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::Functions& Fn = Session.Fn();
        Harness::ParamBlock Params(Fn.GetNamesFromDir);
        for (auto _ : State)
        {
            Params.SetString(BlueprintHalf::Param::Path, Folder);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.GetNamesFromDir, Params);
        }
        const RC::StringType Answer = Params.GetString(BlueprintHalf::Param::Path);
        if (std::count(Answer.begin(), Answer.end(), RC::CharType{'|'}) != FolderEntries + 1 ||
            Session.Sim().EscapedExceptions() != 0)
        {
            State.SkipWithError("the hook did not list every entry");
        }
        State.SetItemsProcessed(State.iterations() * FolderEntries);
    }

    auto BM_EnumerateFloor(benchmark::State& State) -> void
    {
        const fs::path Folder = Data::Get().Folder();
        for (auto _ : State)
        {
            std::vector<std::string> Names;
            for (const fs::directory_entry& Entry : fs::directory_iterator(Folder))
            {
                Names.push_back(Entry.path().filename().string());
            }
            benchmark::DoNotOptimize(Names.data());
        }
        State.SetItemsProcessed(State.iterations() * FolderEntries);
    }
} // namespace

BENCHMARK(BM_GetFileContents)->Arg(MiB)->Arg(64 * MiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetFileContentsPattern)->Apply(PatternArguments)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFloor)->Arg(MiB)->Arg(64 * MiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnswerStorageFloor)->Arg(MiB)->Arg(64 * MiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua54_Process)->Arg(MiB)->Arg(64 * MiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua54_InScript)->Arg(MiB)->Arg(64 * MiB)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetNamesFromDir)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EnumerateFloor)->UseRealTime()->Unit(benchmark::kMillisecond);
