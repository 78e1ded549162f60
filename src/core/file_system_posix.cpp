// POSIX side of the file seam: paths are bytes, so UTF-8 passes through unchanged, text mode
// translates nothing and files are never locked against other openers.
#ifndef _WIN32

#include "core/file_system.hpp"

#include <sys/stat.h>

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

    namespace
    {
        auto Open(const std::filesystem::path& Path, const char* Mode, std::error_code& Error) -> FileHandle
        {
            FileHandle File(std::fopen(Path.c_str(), Mode));
            Error = File ? std::error_code{} : LastError();
            return File;
        }
    } // namespace

    auto OpenForReading(const std::filesystem::path& Path, std::error_code& Error) -> FileHandle
    {
        return Open(Path, "r", Error);
    }

    auto OpenForWriting(const std::filesystem::path& Path, std::error_code& Error) -> FileHandle
    {
        return Open(Path, "w", Error);
    }

    auto StoredSize(std::FILE* File, std::error_code& Error) -> std::uint64_t
    {
        struct stat Info{};
        if (::fstat(::fileno(File), &Info) != 0)
        {
            Error = LastError();
            return 0;
        }
        Error.clear();
        return Info.st_size > 0 ? static_cast<std::uint64_t>(Info.st_size) : 0;
    }

    auto ReadAsStoredFrom(std::FILE* File, std::uint64_t Offset) -> std::error_code
    {
        return ::fseeko(File, static_cast<off_t>(Offset), SEEK_SET) == 0 ? std::error_code{} : LastError();
    }
} // namespace VEXA::FileSystem

#endif
