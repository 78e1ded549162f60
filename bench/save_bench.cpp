// What a save costs the frame: VEXA_CPP_SaveFile through the stand-in host (a temporary written
// beside the slot, flushed to the disk, renamed over it, the folder flushed) against the
// truncating write saves used to be (open, write, close; nothing flushed), and the two flushes
// on their own: the same text's, and the folder's after a rename.
// Each replaces an existing slot of the same size, in the system's temporary folder.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "harness/session.hpp"

namespace fs = std::filesystem;

namespace
{
    // A private folder for one benchmark, removed after it.
    class SaveFolder
    {
    public:
        SaveFolder()
        {
            std::string Template = (fs::temp_directory_path() / "brambleon-save-bench-XXXXXX").string();
            if (::mkdtemp(Template.data()) == nullptr)
            {
                throw std::runtime_error("cannot make a temporary folder");
            }
            Root = Template;
        }
        SaveFolder(const SaveFolder&) = delete;
        auto operator=(const SaveFolder&) -> SaveFolder& = delete;
        ~SaveFolder()
        {
            std::error_code Ignored;
            fs::remove_all(Root, Ignored);
        }
        [[nodiscard]] auto Slot() const -> std::string { return (Root / "slot.txt").string(); }
        [[nodiscard]] auto Text() const -> std::string { return Root.string() + "/"; }

    private:
        fs::path Root;
    };

    auto SaveText(int64_t Bytes) -> std::string
    {
        const std::string Line = "Level=12 Gold=3456 Position=(1024.5, -77.25, 300.0) Flags=ABCDEF\n";
        std::string Text;
        while (static_cast<int64_t>(Text.size()) < Bytes)
        {
            Text += Line;
        }
        Text.resize(static_cast<size_t>(Bytes));
        return Text;
    }

    auto TruncatingWrite(const std::string& Path, const std::string& Text, bool Flush) -> bool
    {
        std::FILE* File = std::fopen(Path.c_str(), "w");
        if (File == nullptr)
        {
            return false;
        }
        bool Written = std::fwrite(Text.data(), 1, Text.size(), File) == Text.size();
        Written = Written && (!Flush || (std::fflush(File) == 0 && ::fsync(::fileno(File)) == 0));
        return std::fclose(File) == 0 && Written;
    }

    auto Wide(const std::string& Ascii) -> RC::StringType { return RC::StringType(Ascii.begin(), Ascii.end()); }

    // The hook, whole Blueprint call: the text is converted, written to a temporary, flushed,
    // and the temporary renamed over the slot.
    auto BM_SaveFile(benchmark::State& State) -> void
    {
        const SaveFolder Folder;
        const RC::StringType Text = Wide(SaveText(State.range(0)));
        const RC::StringType Path = Wide(Folder.Text());
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::Functions& Fn = Session.Fn();
        Harness::ParamBlock Params(Fn.SaveFile);
        bool Saved = true;
        for (auto _ : State)
        {
            Params.SetString(BlueprintHalf::Param::Path, Path);
            Params.SetString(BlueprintHalf::Param::FileName, STR("slot.txt"));
            Params.SetString(BlueprintHalf::Param::Content, Text);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.SaveFile, Params);
            Saved = Saved && Params.GetString(BlueprintHalf::Param::Path) == STR("::FileSaveSuccess::");
        }
        if (!Saved || fs::file_size(Folder.Slot()) != static_cast<uintmax_t>(State.range(0)))
        {
            State.SkipWithError("the hook did not save the text");
        }
        State.SetBytesProcessed(State.iterations() * State.range(0));
    }

    // What saves did before: the slot truncated and written in place, nothing flushed.
    auto BM_TruncatingWrite(benchmark::State& State) -> void
    {
        const SaveFolder Folder;
        const std::string Text = SaveText(State.range(0));
        for (auto _ : State)
        {
            if (!TruncatingWrite(Folder.Slot(), Text, false))
            {
                State.SkipWithError("the truncating write failed");
                break;
            }
        }
        State.SetBytesProcessed(State.iterations() * State.range(0));
    }

    // The flush to the disk alone: the same truncating write, with only fsync timed.
    auto BM_FlushToDisk(benchmark::State& State) -> void
    {
        const SaveFolder Folder;
        const std::string Text = SaveText(State.range(0));
        for (auto _ : State)
        {
            const int File = ::open(Folder.Slot().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            const bool Written = File >= 0 && ::write(File, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size());
            const auto Start = std::chrono::steady_clock::now();
            const bool Flushed = Written && ::fsync(File) == 0;
            State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
            if (File >= 0)
            {
                ::close(File);
            }
            if (!Flushed)
            {
                State.SkipWithError("the write or the flush failed");
                break;
            }
        }
    }

    // The folder flushed after a file was renamed into it (what makes the rename itself last).
    auto BM_FlushFolder(benchmark::State& State) -> void
    {
        const SaveFolder Folder;
        const std::string Text = SaveText(State.range(0));
        const std::string Beside = Folder.Slot() + ".new";
        for (auto _ : State)
        {
            const bool Written = TruncatingWrite(Beside, Text, true) && std::rename(Beside.c_str(), Folder.Slot().c_str()) == 0;
            const int Handle = ::open(Folder.Text().c_str(), O_RDONLY | O_DIRECTORY);
            const auto Start = std::chrono::steady_clock::now();
            const bool Flushed = Written && Handle >= 0 && ::fsync(Handle) == 0;
            State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
            if (Handle >= 0)
            {
                ::close(Handle);
            }
            if (!Flushed)
            {
                State.SkipWithError("the rename or the flush failed");
                break;
            }
        }
    }

    // Saves whose folder another program keeps moving away: a thread renames the folder into an
    // archive folder (under a new name each time) and makes a new one, as fast as it can, while
    // the Blueprint saves into it. Whatever a save meets, no temporary may stay anywhere.
    // Counters: saves that succeeded and failed, temporaries left behind, folders moved.
    auto BM_FolderMovedAway(benchmark::State& State) -> void
    {
        const SaveFolder Folder;
        const fs::path Root = fs::path(Folder.Text()).parent_path();
        const fs::path Saves = Root / "Saves";
        fs::create_directory(Saves);
        fs::create_directory(Root / "Moved");
        const RC::StringType Text = Wide(SaveText(State.range(0)));
        const RC::StringType Path = Wide(Saves.string() + "/");
        Harness::Session Session(BRAMBLEON_MOD_PATH);
        const Harness::Functions& Fn = Session.Fn();
        Harness::ParamBlock Params(Fn.SaveFile);
        std::atomic<bool> Stop{false};
        int64_t Moved = 0;
        std::thread Mover([&] {
            for (int64_t Count = 0; !Stop.load(std::memory_order_relaxed); ++Count)
            {
                const fs::path Away = Root / "Moved" / std::to_string(Count);
                if (std::rename(Saves.c_str(), Away.c_str()) == 0)
                {
                    ++Moved;
                }
                ::mkdir(Saves.c_str(), 0777);
            }
        });
        int64_t Saved = 0;
        int64_t Failed = 0;
        for (auto _ : State)
        {
            Params.SetString(BlueprintHalf::Param::Path, Path);
            Params.SetString(BlueprintHalf::Param::FileName, STR("slot.txt"));
            Params.SetString(BlueprintHalf::Param::Content, Text);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.SaveFile, Params);
            (Params.GetString(BlueprintHalf::Param::Path) == STR("::FileSaveSuccess::") ? Saved : Failed) += 1;
        }
        Stop = true;
        Mover.join();
        int64_t Left = 0;
        for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(Root))
        {
            Left += static_cast<int64_t>(Entry.path().filename().string().starts_with(".unfinished-save."));
        }
        State.counters["saved"] = static_cast<double>(Saved);
        State.counters["failed"] = static_cast<double>(Failed);
        State.counters["moved"] = static_cast<double>(Moved);
        State.counters["left_behind"] = static_cast<double>(Left);
        if (Left != 0)
        {
            const std::string Message = "saves left " + std::to_string(Left) + " temporaries behind (" +
                                        std::to_string(Failed) + " saves failed)";
            State.SkipWithError(Message.c_str());
        }
    }
} // namespace

BENCHMARK(BM_SaveFile)->Arg(1024)->Arg(1024 * 1024)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TruncatingWrite)->Arg(1024)->Arg(1024 * 1024)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlushToDisk)->Arg(1024)->Arg(1024 * 1024)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlushFolder)->Arg(1024)->Arg(1024 * 1024)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderMovedAway)->Arg(1024)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMillisecond);
