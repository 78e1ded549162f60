// The operating system's side of the file services, in one place: UTF-8 path text turned into
// the platform's own path form (wide on Windows, never the narrow code page) and back, and files
// opened in text mode with a share mode that denies nothing. One source per platform.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace VEXA::FileSystem
{
    [[nodiscard]] auto PathFromUtf8(std::string_view Utf8) -> std::filesystem::path;
    [[nodiscard]] auto PathToUtf8(const std::filesystem::path& Path) -> std::string;

    struct FileCloser
    {
        auto operator()(std::FILE* File) const noexcept -> void { std::fclose(File); }
    };
    using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

    // Input only, text mode. Null (and Error set) when the file cannot be opened.
    [[nodiscard]] auto OpenForReading(const std::filesystem::path& Path, std::error_code& Error) -> FileHandle;
    // Output only, text mode, truncating an existing file or creating a missing one.
    [[nodiscard]] auto OpenForWriting(const std::filesystem::path& Path, std::error_code& Error) -> FileHandle;
    // The size in bytes of the open file as stored (before any text-mode translation).
    [[nodiscard]] auto StoredSize(std::FILE* File, std::error_code& Error) -> std::uint64_t;
    // Goes on reading the open file from Offset, in bytes as stored, without text-mode
    // translation (for text that is not in the narrow form text mode expects).
    [[nodiscard]] auto ReadAsStoredFrom(std::FILE* File, std::uint64_t Offset) -> std::error_code;

    // The error the last failed C library call left behind; never reads as success.
    [[nodiscard]] inline auto LastError() -> std::error_code
    {
        const int Code = errno;
        return Code != 0 ? std::error_code(Code, std::generic_category()) : std::make_error_code(std::errc::io_error);
    }

    // Closes the file; an error means buffered text did not reach it.
    [[nodiscard]] inline auto Close(FileHandle File) -> std::error_code
    {
        return std::fclose(File.release()) == 0 ? std::error_code{} : LastError();
    }
} // namespace VEXA::FileSystem
