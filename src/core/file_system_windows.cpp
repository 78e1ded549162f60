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

    auto OpenForReading(const std::filesystem::path& Path, std::error_code& Error) -> FileHandle
    {
        // Opening a pipe or a console never waits (a pipe without a free instance refuses at
        // once); reading one could. Only a file on a disk is read, and in binary mode, where
        // Ctrl-Z is a byte like any other and the size bounds what is delivered.
        const HANDLE Opened = ::CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (Opened == INVALID_HANDLE_VALUE)
        {
            Error = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
            return nullptr;
        }
        if (::GetFileType(Opened) != FILE_TYPE_DISK)
        {
            ::CloseHandle(Opened);
            Error = std::make_error_code(std::errc::invalid_argument);
            return nullptr;
        }
        const int Fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(Opened), _O_RDONLY | _O_BINARY);
        if (Fd == -1)
        {
            ::CloseHandle(Opened);
            Error = LastError();
            return nullptr;
        }
        FileHandle File(::_fdopen(Fd, "rb"));
        if (!File)
        {
            Error = LastError();
            ::_close(Fd);
            return nullptr;
        }
        Error.clear();
        return File;
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

    namespace
    {
        constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

        auto Failed(SaveStep Step, DWORD Code = ::GetLastError()) -> std::optional<SaveFailure>
        {
            return SaveFailure{Step, SystemText(Code)};
        }

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
            // Closes now; false means written bytes may not have reached the file.
            [[nodiscard]] auto Close() -> bool { return ::CloseHandle(std::exchange(Raw, INVALID_HANDLE_VALUE)) != 0; }

        private:
            HANDLE Raw;
        };

        // Writes Text as the C runtime's text mode does, each LF as CR LF, in large pieces, each
        // through Write; false when a piece was not written whole.
        template <class Writer>
        auto WriteTextMode(std::string_view Text, const Writer& Write) -> bool
        {
            constexpr size_t PieceBytes = size_t{64} * 1024;
            std::vector<char> Piece;
            Piece.reserve(PieceBytes + 1);
            const auto Flush = [&] {
                const bool Whole = Piece.empty() || Write(Piece.data(), static_cast<DWORD>(Piece.size()));
                Piece.clear();
                return Whole;
            };
            for (const char Byte : Text)
            {
                if (Byte == '\n')
                {
                    Piece.push_back('\r');
                }
                Piece.push_back(Byte);
                if (Piece.size() >= PieceBytes && !Flush())
                {
                    return false;
                }
            }
            return Flush();
        }

        auto WriteToFile(HANDLE File, std::string_view Text) -> bool
        {
            return WriteTextMode(Text, [File](const char* Bytes, DWORD Size) {
                DWORD Written = 0;
                return ::WriteFile(File, Bytes, Size, &Written, nullptr) != 0 && Written == Size;
            });
        }

        // A pipe or device takes the text where it is. The handle was opened for overlapped
        // writing, so a reader that takes nothing cannot hold the game: the writes wait
        // MostInPlaceWait at most in all, then are cancelled (the last error says why).
        auto WriteInPlace(HANDLE Target, std::string_view Text) -> bool
        {
            const auto Deadline = std::chrono::steady_clock::now() + MostInPlaceWait;
            const Handle Done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            if (Done.Get() == nullptr)
            {
                return false;
            }
            return WriteTextMode(Text, [&](const char* Bytes, DWORD Size) {
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
                            return false;
                        }
                        const auto Left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
                        if (::WaitForSingleObject(Done.Get(), static_cast<DWORD>(std::max<long long>(Left.count(), 0))) != WAIT_OBJECT_0)
                        {
                            ::CancelIoEx(Target, &Request);
                            ::GetOverlappedResult(Target, &Request, &Written, TRUE);
                            ::SetLastError(ERROR_TIMEOUT);
                            return false;
                        }
                        if (::GetOverlappedResult(Target, &Request, &Written, FALSE) == 0)
                        {
                            return false;
                        }
                    }
                    if (Written == 0)
                    {
                        ::SetLastError(ERROR_WRITE_FAULT);
                        return false;
                    }
                    Bytes += Written;
                    Size -= Written;
                }
                return true;
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
        auto ReplacedPath(const std::filesystem::path& Path, HANDLE Opened) -> std::optional<std::filesystem::path>
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
                    return std::nullopt;
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
        auto CopyAccessRules(HANDLE From, HANDLE To) -> DWORD
        {
            PACL Rules = nullptr;
            PSECURITY_DESCRIPTOR Descriptor = nullptr;
            DWORD Code = ::GetSecurityInfo(From, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &Rules,
                                           nullptr, &Descriptor);
            if (Code == ERROR_SUCCESS && Rules != nullptr)
            {
                Code = ::SetSecurityInfo(To, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, Rules, nullptr);
            }
            ::LocalFree(Descriptor);
            return Code;
        }
    } // namespace

    auto SaveText(const std::filesystem::path& Path, std::string_view Text) -> std::optional<SaveFailure>
    {
        // Opened for writing without emptying it, links followed: a target that a plain write
        // may not open (read-only, held by a handle that denies writing) is refused here, even
        // where a move could replace it. Overlapped, so a pipe is never waited on for long; a
        // pipe whose instances are all taken refuses at once.
        Handle Existing(::CreateFileW(Path.c_str(), GENERIC_WRITE | READ_CONTROL, ShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
        std::filesystem::path Target = Path;
        if (!Existing)
        {
            if (const DWORD Code = ::GetLastError(); Code != ERROR_FILE_NOT_FOUND)
            {
                return Failed(SaveStep::Open, Code);
            }
        }
        else if (::GetFileType(Existing.Get()) != FILE_TYPE_DISK)
        {
            // A device such as NUL, or a pipe, takes the text where it is.
            if (!WriteInPlace(Existing.Get(), Text) || !Existing.Close())
            {
                return Failed(SaveStep::Write);
            }
            return std::nullopt;
        }
        else if (const auto Replaced = ReplacedPath(Path, Existing.Get()))
        {
            Target = *Replaced;
        }
        else
        {
            return Failed(SaveStep::Open);
        }

        std::random_device Seed;
        std::mt19937_64 Random((std::uint64_t{Seed()} << 32U) ^ Seed());
        std::filesystem::path TemporaryPath;
        DWORD Code = ERROR_FILE_EXISTS;
        Handle File(INVALID_HANDLE_VALUE);
        for (int Attempt = 0; Attempt < 100 && (Code == ERROR_FILE_EXISTS || Code == ERROR_ALREADY_EXISTS); ++Attempt)
        {
            TemporaryPath = Target.parent_path() / TemporaryName(Target.filename().native(), Random());
            File = Handle(::CreateFileW(TemporaryPath.c_str(), GENERIC_WRITE | WRITE_DAC | DELETE, ShareAll, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            Code = File ? ERROR_SUCCESS : ::GetLastError();
        }
        if (!File)
        {
            return Failed(SaveStep::Open, Code);
        }
        // Held open until the move is done: a failed move still removes it through the handle.
        Temporary Made(std::move(File));
        if (Existing)
        {
            if (const DWORD Copied = CopyAccessRules(Existing.Get(), Made.Get()); Copied != ERROR_SUCCESS)
            {
                return Failed(SaveStep::Open, Copied);
            }
            // Our own handle would stand in the way of the move.
            static_cast<void>(Existing.Close());
        }

        if (!WriteToFile(Made.Get(), Text) || ::FlushFileBuffers(Made.Get()) == 0)
        {
            return Failed(SaveStep::Write);
        }
        if (::MoveFileExW(TemporaryPath.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0)
        {
            return Failed(SaveStep::Write);
        }
        Made.Replaced();
        return std::nullopt;
    }
} // namespace VEXA::FileSystem

#endif
