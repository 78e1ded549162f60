// Real temporary folders for tests that touch the file system, and a guard that moves the
// working directory into one and back. Everything made here is removed on destruction.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace BrambleonTest
{
    // UTF-8 text to a path and back, through the wide form on Windows (as the mod does).
    [[nodiscard]] auto Utf8Path(std::string_view Utf8) -> std::filesystem::path;
    [[nodiscard]] auto PathUtf8(const std::filesystem::path& Path) -> std::string;

    // The file's bytes exactly as stored; empty when it cannot be read.
    [[nodiscard]] auto ReadBytes(const std::filesystem::path& File) -> std::string;
    auto WriteBytes(const std::filesystem::path& File, std::string_view Bytes) -> void;

    // The names Folder holds besides Expected: what saves left behind.
    [[nodiscard]] auto OtherNames(const std::filesystem::path& Folder, const std::vector<std::string>& Expected)
        -> std::vector<std::string>;
    // Bytes bytes of text in lines, each starting with Mark, so that two texts of different
    // marks share no stretch.
    [[nodiscard]] auto LargeText(char Mark, size_t Bytes) -> std::string;

    class ScratchFolder
    {
    public:
        // A new folder under the system's temporary folder, open to every user so that calls
        // made with an unprivileged file identity can still reach what the test put there.
        ScratchFolder();
        ScratchFolder(const ScratchFolder&) = delete;
        auto operator=(const ScratchFolder&) -> ScratchFolder& = delete;
        ~ScratchFolder();

        [[nodiscard]] auto Path() const -> const std::filesystem::path& { return Root; }
        // Root / Relative (UTF-8, may hold several components).
        [[nodiscard]] auto operator/(std::string_view Relative) const -> std::filesystem::path;
        // The UTF-8 text of Root / Relative, as a Blueprint would pass it.
        [[nodiscard]] auto Text(std::string_view Relative = {}) const -> std::string;

        auto MakeFolder(std::string_view Relative) const -> std::filesystem::path;
        auto MakeFile(std::string_view Relative, std::string_view Bytes) const -> std::filesystem::path;

    private:
        std::filesystem::path Root;
    };

    // Makes Folder the process's working directory until destroyed, then restores the old one.
    class WorkingDirectory
    {
    public:
        explicit WorkingDirectory(const std::filesystem::path& Folder);
        WorkingDirectory(const WorkingDirectory&) = delete;
        auto operator=(const WorkingDirectory&) -> WorkingDirectory& = delete;
        ~WorkingDirectory();

    private:
        std::filesystem::path Previous;
    };
} // namespace BrambleonTest
