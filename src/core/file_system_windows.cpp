// Windows side of the file seam: UTF-8 text becomes a wide path (the narrow interfaces would
// read it through the ANSI code page), files open through _wfsopen with _SH_DENYNO so the game
// or an editor holding the file does not make us fail, and text mode writes LF as CR LF.
#ifdef _WIN32

#include "core/file_system.hpp"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace VEXA::FileSystem
{
    auto PathFromUtf8(std::string_view Utf8) -> std::filesystem::path
    {
        const std::u8string Text(Utf8.begin(), Utf8.end());
        return std::filesystem::path(Text);
    }

    auto PathToUtf8(const std::filesystem::path& Path) -> std::string
    {
        const std::u8string Text = Path.u8string();
        return std::string(Text.begin(), Text.end());
    }

    namespace
    {
        auto Open(const std::filesystem::path& Path, const wchar_t* Mode, std::error_code& Error) -> FileHandle
        {
            FileHandle File(::_wfsopen(Path.c_str(), Mode, _SH_DENYNO));
            Error = File ? std::error_code{} : LastError();
            return File;
        }
    } // namespace

    auto OpenForReading(const std::filesystem::path& Path, std::error_code& Error) -> FileHandle
    {
        return Open(Path, L"rt", Error);
    }

    auto OpenForWriting(const std::filesystem::path& Path, std::error_code& Error) -> FileHandle
    {
        return Open(Path, L"wt", Error);
    }

    auto StoredSize(std::FILE* File, std::error_code& Error) -> std::uint64_t
    {
        struct _stat64 Info{};
        if (::_fstat64(::_fileno(File), &Info) != 0)
        {
            Error = LastError();
            return 0;
        }
        Error.clear();
        return Info.st_size > 0 ? static_cast<std::uint64_t>(Info.st_size) : 0;
    }

    // The seek drops what text mode has already buffered; the mode changes before the next read.
    auto ReadAsStoredFrom(std::FILE* File, std::uint64_t Offset) -> std::error_code
    {
        if (::_fseeki64(File, static_cast<__int64>(Offset), SEEK_SET) != 0 ||
            ::_setmode(::_fileno(File), _O_BINARY) == -1)
        {
            return LastError();
        }
        return {};
    }
} // namespace VEXA::FileSystem

#endif
