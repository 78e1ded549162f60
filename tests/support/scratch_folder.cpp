#include "support/scratch_folder.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace BrambleonTest
{
    auto Utf8Path(std::string_view Utf8) -> fs::path
    {
        return fs::path(std::u8string(Utf8.begin(), Utf8.end()));
    }

    auto PathUtf8(const fs::path& Path) -> std::string
    {
        const std::u8string Text = Path.u8string();
        return std::string(Text.begin(), Text.end());
    }

    auto ReadBytes(const fs::path& File) -> std::string
    {
        std::ifstream Stream(File, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
    }

    auto WriteBytes(const fs::path& File, std::string_view Bytes) -> void
    {
        std::ofstream Stream(File, std::ios::binary | std::ios::trunc);
        Stream.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
        if (!Stream.flush())
        {
            throw std::runtime_error("cannot write test file " + PathUtf8(File));
        }
    }

    auto OtherNames(const fs::path& Folder, const std::vector<std::string>& Expected) -> std::vector<std::string>
    {
        std::vector<std::string> Others;
        for (const fs::directory_entry& Entry : fs::directory_iterator(Folder))
        {
            std::string Name = PathUtf8(Entry.path().filename());
            if (std::find(Expected.begin(), Expected.end(), Name) == Expected.end())
            {
                Others.push_back(std::move(Name));
            }
        }
        return Others;
    }

    auto LargeText(char Mark, size_t Bytes) -> std::string
    {
        std::string Text;
        Text.reserve(Bytes + 64);
        for (size_t Line = 0; Text.size() < Bytes; ++Line)
        {
            Text += Mark;
            Text += " line " + std::to_string(Line) + " of a large save\n";
        }
        Text.resize(Bytes);
        return Text;
    }

    namespace
    {
        // Gives the owner every right on Folder and below, top down, so that locked test folders
        // can be removed also when the tests do not run as root.
        auto Unlock(const fs::path& Folder) -> void
        {
            std::error_code Ignored;
            fs::permissions(Folder, fs::perms::owner_all, fs::perm_options::add, Ignored);
            for (fs::directory_iterator Entry(Folder, Ignored), End; !Ignored && Entry != End; Entry.increment(Ignored))
            {
                if (Entry->is_directory(Ignored) && !Entry->is_symlink(Ignored))
                {
                    Unlock(Entry->path());
                }
                else
                {
                    fs::permissions(Entry->path(), fs::perms::owner_read | fs::perms::owner_write,
                                    fs::perm_options::add | fs::perm_options::nofollow, Ignored);
                }
            }
        }
    } // namespace

    ScratchFolder::ScratchFolder()
    {
        std::random_device Seed;
        std::mt19937_64 Random(Seed());
        const fs::path Base = fs::temp_directory_path();
        for (int Attempt = 0; Attempt < 100; ++Attempt)
        {
            fs::path Candidate = Base / ("brambleon-test-" + std::to_string(Random()));
            if (fs::create_directory(Candidate))
            {
                fs::permissions(Candidate, fs::perms::all);
                Root = fs::canonical(Candidate);
                return;
            }
        }
        throw std::runtime_error("no free name for a scratch folder under " + PathUtf8(Base));
    }

    ScratchFolder::~ScratchFolder()
    {
        std::error_code Ignored;
        Unlock(Root);
        fs::remove_all(Root, Ignored);
    }

    auto ScratchFolder::operator/(std::string_view Relative) const -> fs::path
    {
        return Relative.empty() ? Root : Root / Utf8Path(Relative);
    }

    auto ScratchFolder::Text(std::string_view Relative) const -> std::string
    {
        return PathUtf8(*this / Relative);
    }

    auto ScratchFolder::MakeFolder(std::string_view Relative) const -> fs::path
    {
        const fs::path Folder = *this / Relative;
        fs::create_directories(Folder);
        fs::permissions(Folder, fs::perms::all);
        return Folder;
    }

    auto ScratchFolder::MakeFile(std::string_view Relative, std::string_view Bytes) const -> fs::path
    {
        const fs::path File = *this / Relative;
        WriteBytes(File, Bytes);
        return File;
    }

    WorkingDirectory::WorkingDirectory(const fs::path& Folder) : Previous(fs::current_path())
    {
        fs::current_path(Folder);
    }

    WorkingDirectory::~WorkingDirectory()
    {
        std::error_code Ignored;
        fs::current_path(Previous, Ignored);
    }
} // namespace BrambleonTest
