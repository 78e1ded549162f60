// Windows side of the file seam: UTF-8 text becomes a wide path (the narrow interfaces would
// read it through the ANSI code page), files open with a share mode that denies nothing so the
// game or an editor holding the file does not make us fail, and saves write LF as CR LF. Saves
// replace the target with MoveFileExW (replace existing, write through), one step on NTFS.
#ifdef _WIN32

#include "core/file_system.hpp"

#include <fcntl.h>
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <accctrl.h>
#include <aclapi.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <utility>
#include <vector>

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
        // The system's own text for a Win32 error, as UTF-8 without the closing line break.
        auto SystemText(DWORD Code) -> std::string
        {
            wchar_t* Buffer = nullptr;
            const DWORD Length = ::FormatMessageW(
                FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                Code, 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
            std::wstring Wide = Length > 0 ? std::wstring(Buffer, Length) : L"Windows error " + std::to_wstring(Code);
            ::LocalFree(Buffer);
            while (!Wide.empty() && (Wide.back() == L'\n' || Wide.back() == L'\r'))
            {
                Wide.pop_back();
            }
            const std::u8string Utf8 = std::filesystem::path(Wide).u8string();
            return std::string(Utf8.begin(), Utf8.end());
        }

        // Win32 error codes, described in UTF-8 whatever the narrow code page is.
        class Win32Category final : public std::error_category
        {
        public:
            [[nodiscard]] auto name() const noexcept -> const char* override { return "win32"; }
            [[nodiscard]] auto message(int Code) const -> std::string override
            {
                return SystemText(static_cast<DWORD>(Code));
            }
        };

        auto Win32Error(DWORD Code) -> std::error_code
        {
            static const Win32Category Category{};
            return {static_cast<int>(Code), Category};
        }

        // The error the failed Win32 call just made left behind; never reads as success.
        auto LastWin32Error() -> std::error_code
        {
            const DWORD Code = ::GetLastError();
            return Win32Error(Code != ERROR_SUCCESS ? Code : ERROR_IO_DEVICE);
        }
    } // namespace

    auto OpenForReading(const std::filesystem::path& Path) -> Result<FileHandle>
    {
        // Opening a pipe or a console never waits (a pipe without a free instance refuses at
        // once); reading one could. Only a file on a disk is read, and in binary mode, where
        // Ctrl-Z is a byte like any other and the size bounds what is delivered.
        const HANDLE Opened = ::CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (Opened == INVALID_HANDLE_VALUE)
        {
            return LastWin32Error();
        }
        if (::GetFileType(Opened) != FILE_TYPE_DISK)
        {
            ::CloseHandle(Opened);
            return std::make_error_code(std::errc::invalid_argument);
        }
        const int Fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(Opened), _O_RDONLY | _O_BINARY);
        if (Fd == -1)
        {
            const std::error_code Error = LastError();
            ::CloseHandle(Opened);
            return Error;
        }
        FileHandle File(::_fdopen(Fd, "rb"));
        if (!File)
        {
            const std::error_code Error = LastError();
            ::_close(Fd);
            return Error;
        }
        return File;
    }

    auto StoredSize(std::FILE* File) -> Result<std::uint64_t>
    {
        struct _stat64 Info{};
        if (::_fstat64(::_fileno(File), &Info) != 0)
        {
            return LastError();
        }
        return Info.st_size > 0 ? static_cast<std::uint64_t>(Info.st_size) : 0;
    }

    namespace
    {
        constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

        class Handle
        {
        public:
            explicit Handle(HANDLE Opened) : Raw(Opened) {}
            Handle(Handle&& Other) noexcept : Raw(std::exchange(Other.Raw, INVALID_HANDLE_VALUE)) {}
            auto operator=(Handle&& Other) noexcept -> Handle&
            {
                std::swap(Raw, Other.Raw);
                return *this;
            }
            Handle(const Handle&) = delete;
            auto operator=(const Handle&) -> Handle& = delete;
            ~Handle()
            {
                if (*this)
                {
                    ::CloseHandle(Raw);
                }
            }

            [[nodiscard]] explicit operator bool() const { return Raw != INVALID_HANDLE_VALUE; }
            [[nodiscard]] auto Get() const -> HANDLE { return Raw; }
            // Closes now; an error means written bytes may not have reached the file.
            [[nodiscard]] auto Close() -> std::error_code
            {
                return ::CloseHandle(std::exchange(Raw, INVALID_HANDLE_VALUE)) != 0 ? std::error_code{} : LastWin32Error();
            }

        private:
            HANDLE Raw;
        };

        // Writes Text as the C runtime's text mode does, each LF as CR LF, in large pieces, each
        // through Write, which answers the error of the piece it could not write whole.
        template <class Writer>
        auto WriteTextMode(std::string_view Text, const Writer& Write) -> std::error_code
        {
            constexpr size_t PieceBytes = size_t{64} * 1024;
            std::vector<char> Piece;
            Piece.reserve(PieceBytes + 1);
            const auto Flush = [&] {
                const std::error_code Error = Piece.empty() ? std::error_code{} : Write(Piece.data(), static_cast<DWORD>(Piece.size()));
                Piece.clear();
                return Error;
            };
            for (const char Byte : Text)
            {
                if (Byte == '\n')
                {
                    Piece.push_back('\r');
                }
                Piece.push_back(Byte);
                if (Piece.size() >= PieceBytes)
                {
                    if (const std::error_code Error = Flush())
                    {
                        return Error;
                    }
                }
            }
            return Flush();
        }

        auto WriteToFile(HANDLE File, std::string_view Text) -> std::error_code
        {
            return WriteTextMode(Text, [File](const char* Bytes, DWORD Size) -> std::error_code {
                DWORD Written = 0;
                if (::WriteFile(File, Bytes, Size, &Written, nullptr) == 0)
                {
                    return LastWin32Error();
                }
                // A file on a disk takes all or fails; taking less while reporting success can
                // only mean it has no room for the rest.
                return Written == Size ? std::error_code{} : Win32Error(ERROR_HANDLE_DISK_FULL);
            });
        }

        // A pipe or device takes the text where it is. The handle was opened for overlapped
        // writing, so a reader that takes nothing cannot hold the game: the writes wait
        // MostInPlaceWait at most in all, then are cancelled.
        auto WriteInPlace(HANDLE Target, std::string_view Text) -> std::error_code
        {
            const auto Deadline = std::chrono::steady_clock::now() + MostInPlaceWait;
            const Handle Done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            if (Done.Get() == nullptr)
            {
                return LastWin32Error();
            }
            return WriteTextMode(Text, [&](const char* Bytes, DWORD Size) -> std::error_code {
                while (Size > 0)
                {
                    OVERLAPPED Request{};
                    Request.hEvent = Done.Get();
                    ::ResetEvent(Done.Get());
                    // A write done at once (a device, a pipe with room) says how much it took.
                    DWORD Written = 0;
                    if (::WriteFile(Target, Bytes, Size, &Written, &Request) == 0)
                    {
                        if (::GetLastError() != ERROR_IO_PENDING)
                        {
                            return LastWin32Error();
                        }
                        const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
                        if (::WaitForSingleObject(Done.Get(), static_cast<DWORD>(std::max<long long>(Left.count(), 0))) != WAIT_OBJECT_0)
                        {
                            ::CancelIoEx(Target, &Request);
                            ::GetOverlappedResult(Target, &Request, &Written, TRUE);
                            return Win32Error(ERROR_TIMEOUT);
                        }
                        if (::GetOverlappedResult(Target, &Request, &Written, FALSE) == 0)
                        {
                            return LastWin32Error();
                        }
                    }
                    if (Written == 0)
                    {
                        return Win32Error(ERROR_WRITE_FAULT);
                    }
                    Bytes += Written;
                    Size -= Written;
                }
                return {};
            });
        }

        // A save's temporary, removed through its own handle unless it replaced the target: the
        // handle follows the file wherever its folder is moved meanwhile.
        class Temporary
        {
        public:
            explicit Temporary(Handle Made) : File(std::move(Made)) {}
            Temporary(const Temporary&) = delete;
            auto operator=(const Temporary&) -> Temporary& = delete;
            ~Temporary()
            {
                if (File && !Kept)
                {
                    FILE_DISPOSITION_INFO Remove{};
                    Remove.DeleteFile = TRUE;
                    ::SetFileInformationByHandle(File.Get(), FileDispositionInfo, &Remove, sizeof(Remove));
                }
            }
            [[nodiscard]] auto Get() const -> HANDLE { return File.Get(); }
            auto Replaced() -> void { Kept = true; }

        private:
            Handle File;
            bool Kept = false;
        };

        // The file that a link at the opened path leads to, so that the file is replaced and the
        // link stays; the path itself when it is no link.
        auto ReplacedPath(const std::filesystem::path& Path, HANDLE Opened) -> Result<std::filesystem::path>
        {
            const DWORD Attributes = ::GetFileAttributesW(Path.c_str());
            if (Attributes == INVALID_FILE_ATTRIBUTES || (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            {
                return Path;
            }
            std::wstring Final(MAX_PATH, L'\0');
            for (;;)
            {
                const DWORD Length = ::GetFinalPathNameByHandleW(Opened, Final.data(), static_cast<DWORD>(Final.size()),
                                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
                if (Length == 0)
                {
                    return LastWin32Error();
                }
                if (Length < Final.size())
                {
                    Final.resize(Length);
                    return std::filesystem::path(Final);
                }
                Final.resize(Length);
            }
        }

        // The replaced file's access rules go to the new one: without this it would take the
        // folder's inherited ones. A file without rules of its own keeps the inherited ones.
        auto CopyAccessRules(HANDLE From, HANDLE To) -> std::error_code
        {
            PACL Rules = nullptr;
            PSECURITY_DESCRIPTOR Descriptor = nullptr;
            DWORD Code = ::GetSecurityInfo(From, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &Rules,
                                           nullptr, &Descriptor);
            if (Code == ERROR_SUCCESS && Rules != nullptr)
            {
                // A file that refuses its folder's rules must go on refusing them: without the
                // protected flag the folder's inheritable rules would join the copied ones.
                SECURITY_DESCRIPTOR_CONTROL Control = 0;
                DWORD Revision = 0;
                const bool Protected = ::GetSecurityDescriptorControl(Descriptor, &Control, &Revision) != FALSE &&
                                       (Control & SE_DACL_PROTECTED) != 0;
                const SECURITY_INFORMATION What = DACL_SECURITY_INFORMATION | (Protected ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                                         : UNPROTECTED_DACL_SECURITY_INFORMATION);
                Code = ::SetSecurityInfo(To, SE_FILE_OBJECT, What, nullptr, nullptr, Rules, nullptr);
            }
            ::LocalFree(Descriptor);
            return Code == ERROR_SUCCESS ? std::error_code{} : Win32Error(Code);
        }
    } // namespace

    // A pipe or device is written through the handle that opened it; a file on a disk is
    // replaced by a temporary held open until the move, so that a failed move still removes it.
    class PendingSave::Target
    {
    public:
        Handle InPlace{INVALID_HANDLE_VALUE};
        std::filesystem::path Replaced;
        std::filesystem::path TemporaryPath;
        std::optional<Temporary> Made;
    };

    PendingSave::PendingSave(std::unique_ptr<Target> Started) : Opened(std::move(Started)) {}
    PendingSave::PendingSave(PendingSave&& Other) noexcept = default;
    auto PendingSave::operator=(PendingSave&& Other) noexcept -> PendingSave& = default;
    PendingSave::~PendingSave() = default;

    auto StartSave(const std::filesystem::path& Path) -> Result<PendingSave>
    {
        // Opened for writing without emptying it, links followed: a target that a plain write
        // may not open (read-only, held by a handle that denies writing) is refused here, even
        // where a move could replace it. Overlapped, so a pipe is never waited on for long; a
        // pipe whose instances are all taken refuses at once.
        Handle Existing(::CreateFileW(Path.c_str(), GENERIC_WRITE | READ_CONTROL, ShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
        auto Opened = std::make_unique<PendingSave::Target>();
        Opened->Replaced = Path;
        if (!Existing)
        {
            if (const std::error_code Error = LastWin32Error(); Error.value() != ERROR_FILE_NOT_FOUND)
            {
                return Error;
            }
        }
        else if (::GetFileType(Existing.Get()) != FILE_TYPE_DISK)
        {
            // A device such as NUL, or a pipe, takes the text where it is.
            Opened->InPlace = std::move(Existing);
            return PendingSave(std::move(Opened));
        }
        else if (Result<std::filesystem::path> Replaced = ReplacedPath(Path, Existing.Get()))
        {
            Opened->Replaced = std::move(*Replaced);
        }
        else
        {
            return Replaced.Error();
        }

        std::random_device Seed;
        std::mt19937_64 Random((std::uint64_t{Seed()} << 32U) ^ Seed());
        Handle File(INVALID_HANDLE_VALUE);
        std::error_code Error = Win32Error(ERROR_FILE_EXISTS);
        for (int Attempt = 0; Attempt < 100 && (Error.value() == ERROR_FILE_EXISTS || Error.value() == ERROR_ALREADY_EXISTS); ++Attempt)
        {
            Opened->TemporaryPath = Opened->Replaced.parent_path() / TemporaryName(Opened->Replaced.filename().native(), Random());
            File = Handle(::CreateFileW(Opened->TemporaryPath.c_str(), GENERIC_WRITE | WRITE_DAC | DELETE, ShareAll, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            Error = File ? std::error_code{} : LastWin32Error();
        }
        if (!File)
        {
            return Error;
        }
        Opened->Made.emplace(std::move(File));
        if (Existing)
        {
            if (const std::error_code Copied = CopyAccessRules(Existing.Get(), Opened->Made->Get()))
            {
                return Copied;
            }
        }
        // Existing closes here: our own handle would stand in the way of the move.
        return PendingSave(std::move(Opened));
    }

    auto PendingSave::Finish(std::string_view Text) && -> std::error_code
    {
        const std::unique_ptr<Target> Save = std::move(Opened);
        if (Save->InPlace)
        {
            if (const std::error_code Error = WriteInPlace(Save->InPlace.Get(), Text))
            {
                return Error;
            }
            return Save->InPlace.Close();
        }
        if (const std::error_code Error = WriteToFile(Save->Made->Get(), Text))
        {
            return Error;
        }
        if (::FlushFileBuffers(Save->Made->Get()) == 0)
        {
            return LastWin32Error();
        }
        if (::MoveFileExW(Save->TemporaryPath.c_str(), Save->Replaced.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0)
        {
            return LastWin32Error();
        }
        Save->Made->Replaced();
        return {};
    }
} // namespace VEXA::FileSystem

#endif
