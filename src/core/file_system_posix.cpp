// POSIX side of the file seam: paths are bytes, so UTF-8 passes through unchanged, and files are
// never locked against other openers. Saves replace the target with rename(2), which other
// processes see as one step and a crash leaves whole.
#ifndef _WIN32

#include "core/file_system.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <random>
#include <utility>

namespace VEXA::FileSystem
{
    auto PathFromUtf8(std::string_view Utf8) -> std::filesystem::path
    {
        return std::filesystem::path(std::string(Utf8));
    }

    auto PathToUtf8(const std::filesystem::path& Path) -> std::string
    {
        return Path.native();
    }

    auto OpenForReading(const std::filesystem::path& Path) -> Result<FileHandle>
    {
        // Looked at before opening: opening a device can have effects of its own (a tape
        // rewinds, a modem line hangs up).
        struct stat Info{};
        if (::stat(Path.c_str(), &Info) != 0)
        {
            return LastError();
        }
        if (!S_ISREG(Info.st_mode))
        {
            return std::make_error_code(std::errc::invalid_argument);
        }
        // Non-blocking, and checked again on the handle: the name may have been given to a FIFO
        // in between, whose open would otherwise wait for a writer.
        const int Fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (Fd < 0)
        {
            return LastError();
        }
        if (::fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode))
        {
            ::close(Fd);
            return std::make_error_code(std::errc::invalid_argument);
        }
        FileHandle File(::fdopen(Fd, "r"));
        if (!File)
        {
            const std::error_code Error = LastError();
            ::close(Fd);
            return Error;
        }
        return File;
    }

    auto StoredSize(std::FILE* File) -> Result<std::uint64_t>
    {
        struct stat Info{};
        if (::fstat(::fileno(File), &Info) != 0)
        {
            return LastError();
        }
        return Info.st_size > 0 ? static_cast<std::uint64_t>(Info.st_size) : 0;
    }

    namespace
    {
        class Descriptor
        {
        public:
            explicit Descriptor(int Opened = -1) : Fd(Opened) {}
            Descriptor(Descriptor&& Other) noexcept : Fd(std::exchange(Other.Fd, -1)) {}
            auto operator=(Descriptor&& Other) noexcept -> Descriptor&
            {
                std::swap(Fd, Other.Fd);
                return *this;
            }
            Descriptor(const Descriptor&) = delete;
            auto operator=(const Descriptor&) -> Descriptor& = delete;
            ~Descriptor()
            {
                if (Fd >= 0)
                {
                    ::close(Fd);
                }
            }

            [[nodiscard]] explicit operator bool() const { return Fd >= 0; }
            [[nodiscard]] auto Get() const -> int { return Fd; }
            // Closes now; an error means written bytes may not have reached the file.
            [[nodiscard]] auto Close() -> std::error_code
            {
                return ::close(std::exchange(Fd, -1)) == 0 ? std::error_code{} : LastError();
            }

        private:
            int Fd;
        };

        // The path a write through Path would reach: symbolic links followed to the end, so the
        // file they point to is replaced and the links stay. A missing final entry is returned
        // as it is (a dangling link makes its target).
        auto ResolveLinks(std::filesystem::path Path) -> Result<std::filesystem::path>
        {
            constexpr int MostLinks = 40; // Linux's own limit for one lookup
            for (int Hop = 0; Hop < MostLinks; ++Hop)
            {
                struct stat Info{};
                if (::lstat(Path.c_str(), &Info) != 0 || !S_ISLNK(Info.st_mode))
                {
                    return Path;
                }
                std::error_code Error;
                const std::filesystem::path Link = std::filesystem::read_symlink(Path, Error);
                if (Error)
                {
                    return Error;
                }
                Path = Link.is_absolute() ? Link : Path.parent_path() / Link;
            }
            return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        }

        // Writes all of Text. A FIFO (or device) opened without blocking may take only part, or
        // nothing while its reader is busy: the rest waits for room, MostInPlaceWait at most in
        // all, and a reader that takes nothing for that long fails the write.
        auto WriteAll(int Fd, std::string_view Text) -> std::error_code
        {
            const auto Deadline = std::chrono::steady_clock::now() + MostInPlaceWait;
            while (!Text.empty())
            {
                const ssize_t Written = ::write(Fd, Text.data(), Text.size());
                if (Written >= 0)
                {
                    Text.remove_prefix(static_cast<size_t>(Written));
                    continue;
                }
                if (errno == EINTR)
                {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                {
                    return LastError();
                }
                const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
                if (Left.count() <= 0)
                {
                    return std::make_error_code(std::errc::timed_out);
                }
                pollfd Room{Fd, POLLOUT, 0};
                if (::poll(&Room, 1, static_cast<int>(Left.count())) < 0 && errno != EINTR)
                {
                    return LastError();
                }
            }
            return {};
        }

        // A temporary made in the folder that Folder is a handle of, removed through that handle
        // unless it replaced the target: wherever the folder has been moved meanwhile, nothing
        // stays behind.
        class Temporary
        {
        public:
            Temporary(int Folder, std::string Made) : FolderFd(Folder), Name(std::move(Made)) {}
            Temporary(const Temporary&) = delete;
            auto operator=(const Temporary&) -> Temporary& = delete;
            ~Temporary()
            {
                if (!Name.empty())
                {
                    ::unlinkat(FolderFd, Name.c_str(), 0);
                }
            }
            [[nodiscard]] auto Get() const -> const std::string& { return Name; }
            auto Replaced() -> void { Name.clear(); }

        private:
            int FolderFd;
            std::string Name;
        };
    } // namespace

    // A device or FIFO is written through the handle that opened it, as a plain write gives the
    // text. A regular file is replaced by a temporary that is made, renamed over it or removed
    // through one handle of its folder, even when another program moves the folder meanwhile.
    class PendingSave::Target
    {
    public:
        Descriptor Folder;
        std::string Name;
        Descriptor File;
        std::optional<Temporary> Made; // none: File is the target itself
    };

    PendingSave::PendingSave(std::unique_ptr<Target> Started) : Opened(std::move(Started)) {}
    PendingSave::PendingSave(PendingSave&& Other) noexcept = default;
    auto PendingSave::operator=(PendingSave&& Other) noexcept -> PendingSave& = default;
    PendingSave::~PendingSave() = default;

    auto StartSave(const std::filesystem::path& Path) -> Result<PendingSave>
    {
        const Result<std::filesystem::path> Resolved = ResolveLinks(Path);
        if (!Resolved)
        {
            return Resolved.Error();
        }
        auto Opened = std::make_unique<PendingSave::Target>();
        Opened->Name = Resolved->filename().native();
        if (Opened->Name.empty())
        {
            return std::make_error_code(std::errc::is_a_directory);
        }
        const std::filesystem::path FolderPath = Resolved->parent_path();
        Opened->Folder = Descriptor(::open(FolderPath.empty() ? "." : FolderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!Opened->Folder)
        {
            return LastError();
        }
        const int Folder = Opened->Folder.Get();
        const char* const Name = Opened->Name.c_str();

        // Opened for writing without emptying it: a target that a plain write may not open is
        // refused here, even where a rename could replace it. Without blocking: a FIFO that no
        // one reads refuses at once (ENXIO) instead of holding the game until a reader comes.
        struct stat Kept{};
        bool Exists = false;
        {
            Descriptor Existing(::openat(Folder, Name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (!Existing)
            {
                if (errno != ENOENT)
                {
                    return LastError();
                }
            }
            else
            {
                if (::fstat(Existing.Get(), &Kept) != 0)
                {
                    return LastError();
                }
                if (!S_ISREG(Kept.st_mode))
                {
                    Opened->File = std::move(Existing);
                    return PendingSave(std::move(Opened));
                }
                Exists = true;
            }
        }

        std::random_device Seed;
        std::mt19937_64 Random((std::uint64_t{Seed()} << 32U) ^ Seed());
        std::string TemporaryText;
        for (int Attempt = 0; Attempt < 100 && !Opened->File; ++Attempt)
        {
            TemporaryText = TemporaryName(Opened->Name, Random());
            Opened->File = Descriptor(::openat(Folder, TemporaryText.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
            if (!Opened->File && errno != EEXIST)
            {
                return LastError();
            }
        }
        if (!Opened->File)
        {
            return std::make_error_code(std::errc::file_exists);
        }
        Opened->Made.emplace(Folder, TemporaryText);

        if (Exists)
        {
            if (::fchmod(Opened->File.Get(), Kept.st_mode & 07777) != 0)
            {
                return LastError();
            }
            // Only root may give the file back to another owner; for anyone else this fails and the
            // saver owns the new file, as it owns any file it makes. The text and bits are right.
            if ((Kept.st_uid != ::geteuid() || Kept.st_gid != ::getegid()) &&
                ::fchown(Opened->File.Get(), Kept.st_uid, Kept.st_gid) != 0)
            {
            }
        }
        return PendingSave(std::move(Opened));
    }

    auto PendingSave::Finish(std::string_view Text) && -> std::error_code
    {
        const std::unique_ptr<Target> Save = std::move(Opened);
        if (const std::error_code Error = WriteAll(Save->File.Get(), Text))
        {
            return Error;
        }
        if (!Save->Made)
        {
            return Save->File.Close();
        }
        if (::fsync(Save->File.Get()) != 0)
        {
            return LastError();
        }
        if (const std::error_code Error = Save->File.Close())
        {
            return Error;
        }
        if (::renameat(Save->Folder.Get(), Save->Made->Get().c_str(), Save->Folder.Get(), Save->Name.c_str()) != 0)
        {
            return LastError();
        }
        Save->Made->Replaced();
        // Makes the rename itself survive a power cut. The new text is already complete either
        // way, so a folder that cannot be flushed does not fail the save.
        ::fsync(Save->Folder.Get());
        return {};
    }
} // namespace VEXA::FileSystem

#endif
