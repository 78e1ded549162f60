// What the mod left with the host and on disk: hooks on functions, engine-tick callbacks, and
// the files and folders of the working folder.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/paths.hpp"
#include "sim/run.hpp"

namespace BRMB::Sim
{
    namespace fs = std::filesystem;

    auto Run::CheckHooks(const Step& Current) -> void
    {
        const auto& Expect = Current.Expect;
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

    auto Run::CheckFiles(const Step& Current) -> void
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

} // namespace BRMB::Sim
