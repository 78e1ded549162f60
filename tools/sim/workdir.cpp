#include "sim/workdir.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

#include "sim/paths.hpp"

namespace BRMB::Sim
{
    namespace fs = std::filesystem;

    namespace
    {
        auto MakeFolder() -> fs::path
        {
            std::random_device Seed;
            std::mt19937_64 Random(Seed());
            const auto Base = fs::temp_directory_path();
            for (int Attempt = 0; Attempt < 100; ++Attempt)
            {
                const auto Candidate = Base / ("brambleon-sim-" + std::to_string(Random() % 1'000'000'000ULL));
                if (fs::create_directory(Candidate))
                {
                    return Candidate;
                }
            }
            throw std::runtime_error("cannot create a working folder in " + PathToUtf8(Base));
        }

        auto Permissions(const FileDecl& File, bool ForOthers) -> fs::perms
        {
            using fs::perms;
            switch (File.Mode)
            {
            case FileMode::ReadOnly:
                return File.Folder ? perms::owner_read | perms::owner_exec | perms::group_read | perms::group_exec |
                                         perms::others_read | perms::others_exec
                                   : perms::owner_read | perms::group_read | perms::others_read;
            case FileMode::Unreadable: return perms::none;
            case FileMode::Normal: break;
            }
            if (!ForOthers)
            {
                return File.Folder ? perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                                         perms::others_exec
                                   : perms::owner_read | perms::owner_write | perms::group_read | perms::others_read;
            }
            return File.Folder ? perms::all
                               : perms::owner_read | perms::owner_write | perms::group_read | perms::group_write |
                                     perms::others_read | perms::others_write;
        }

        // Gives the owner full access again, children after their folder, so removal can go through.
        auto Unlock(const fs::path& Path) -> void
        {
            std::error_code Ignored;
            fs::permissions(Path, fs::perms::owner_all, fs::perm_options::add, Ignored);
            if (fs::is_directory(fs::symlink_status(Path, Ignored)))
            {
                for (fs::directory_iterator It(Path, Ignored), End; !Ignored && It != End; It.increment(Ignored))
                {
                    Unlock(It->path());
                }
            }
        }
    } // namespace

    Workdir::Workdir(bool InKeep) : Previous(fs::current_path()), Folder(MakeFolder()), Keep(InKeep)
    {
        fs::current_path(Folder);
    }

    Workdir::~Workdir()
    {
        std::error_code Ignored;
        fs::current_path(Previous, Ignored);
        if (!Keep)
        {
            Remove(Folder);
        }
    }

    auto Workdir::Remove(const fs::path& Folder) -> void
    {
        std::error_code Ignored;
        Unlock(Folder);
        fs::remove_all(Folder, Ignored);
    }

    auto Workdir::LayOut(const std::vector<FileDecl>& Files, bool ForOthers) const -> void
    {
        if (ForOthers)
        {
            fs::permissions(Folder, fs::perms::all, fs::perm_options::replace);
        }
        for (const auto& File : Files)
        {
            const auto Path = Folder / PathFromUtf8(File.Path);
            const auto Parent = File.Folder ? Path : Path.parent_path();
            fs::create_directories(Parent);
            // Folders made on the way are open like the working folder itself.
            for (auto Step = Parent; ForOthers && Step != Folder && Step.has_parent_path(); Step = Step.parent_path())
            {
                fs::permissions(Step, fs::perms::all, fs::perm_options::replace);
            }
            if (File.Folder)
            {
                continue;
            }
            std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
            Out.write(File.Bytes.data(), static_cast<std::streamsize>(File.Bytes.size()));
            if (!Out)
            {
                throw std::runtime_error("cannot write " + PathToUtf8(Path));
            }
        }
        // Modes last and deepest first: a locked folder must not stop its own files being made
        // or changed.
        std::vector<const FileDecl*> Locked;
        for (const auto& File : Files)
        {
            if (File.Mode != FileMode::Normal || ForOthers)
            {
                Locked.push_back(&File);
            }
        }
        const auto Depth = [](const FileDecl* File) {
            const auto Path = PathFromUtf8(File->Path);
            return std::distance(Path.begin(), Path.end());
        };
        std::stable_sort(Locked.begin(), Locked.end(),
                         [&](const FileDecl* Left, const FileDecl* Right) { return Depth(Left) > Depth(Right); });
        for (const auto* File : Locked)
        {
            fs::permissions(Folder / PathFromUtf8(File->Path), Permissions(*File, ForOthers), fs::perm_options::replace);
        }
    }
} // namespace BRMB::Sim
