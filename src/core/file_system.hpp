// The operating system's side of the file services, in one place: UTF-8 path text turned into
// the platform's own path form (wide on Windows, never the narrow code page) and back, regular
// files opened for reading with a share mode that denies nothing, and saves that replace a file
// in one step. One source per platform.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

namespace VEXA::FileSystem
{
    [[nodiscard]] auto PathFromUtf8(std::string_view Utf8) -> std::filesystem::path;
    [[nodiscard]] auto PathToUtf8(const std::filesystem::path& Path) -> std::string;

    // Every operation here that can fail answers with the error it met, taken at the call that
    // failed: a std::error_code (empty: done), or a Result holding either what was made or that
    // error. What throws is the standard library's own failure: memory, or a system without a
    // source of random numbers for the temporaries' names.
    template <class Value>
    class [[nodiscard]] Result
    {
    public:
        Result(Value Made) : Held(std::in_place_index<0>, std::move(Made)) {}
        Result(std::error_code Failure) : Held(std::in_place_index<1>, Failure) {}

        [[nodiscard]] explicit operator bool() const { return Held.index() == 0; }
        [[nodiscard]] auto operator*() -> Value& { return std::get<0>(Held); }
        [[nodiscard]] auto operator*() const -> const Value& { return std::get<0>(Held); }
        [[nodiscard]] auto operator->() -> Value* { return &std::get<0>(Held); }
        [[nodiscard]] auto operator->() const -> const Value* { return &std::get<0>(Held); }
        [[nodiscard]] auto Error() const -> std::error_code
        {
            return Held.index() == 1 ? std::get<1>(Held) : std::error_code{};
        }

    private:
        std::variant<Value, std::error_code> Held;
    };

    struct FileCloser
    {
        auto operator()(std::FILE* File) const noexcept -> void { std::fclose(File); }
    };
    using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

    // Input only, as stored (no text-mode translation, so no byte ends the input early), and
    // regular files only: a FIFO, socket or device is refused without being waited on, as it
    // could hold the reader forever or never end.
    [[nodiscard]] auto OpenForReading(const std::filesystem::path& Path) -> Result<FileHandle>;
    // The size in bytes of the open file.
    [[nodiscard]] auto StoredSize(std::FILE* File) -> Result<std::uint64_t>;

    // Every temporary a save makes is named TemporaryPrefix + the target's name (at most its
    // first TemporaryNameChars characters) + "." + six random letters and digits +
    // TemporarySuffix, in the target's folder. A save removes its temporary whether it succeeds
    // or fails, through a handle that follows it when the folder is moved meanwhile; only a
    // process killed during a save leaves one behind.
    inline constexpr std::string_view TemporaryPrefix = ".unfinished-save.";
    inline constexpr std::string_view TemporarySuffix = ".tmp";
    inline constexpr size_t TemporaryNameChars = 64;

    // A fresh temporary's file name for the target named Name; Random picks the six characters.
    template <class Char>
    [[nodiscard]] auto TemporaryName(const std::basic_string<Char>& Name, std::uint64_t Random)
        -> std::basic_string<Char>
    {
        constexpr std::string_view Alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::basic_string<Char> Temporary(TemporaryPrefix.begin(), TemporaryPrefix.end());
        Temporary.append(Name, 0, TemporaryNameChars);
        Temporary += Char('.');
        for (int Index = 0; Index < 6; ++Index, Random /= Alphabet.size())
        {
            Temporary += Char(Alphabet[Random % Alphabet.size()]);
        }
        Temporary.append(TemporarySuffix.begin(), TemporarySuffix.end());
        return Temporary;
    }

    // How long, in all, a save written in place (a FIFO, a device) waits for its reader to take
    // the text; a reader that does not take it by then fails the save.
    inline constexpr std::chrono::milliseconds MostInPlaceWait{1000};

    // A save in two steps, each with its own failure: StartSave opens the target, and for a file
    // makes the temporary that will replace it (the "could not be opened" failures); Finish
    // writes the text and puts it in place (the "could not be written" ones). A regular file, or
    // nothing, at Path is replaced in one step by the temporary, written beside it and flushed
    // to the disk, so Path holds the whole old or the whole new text at every moment; a symbolic
    // link is followed and its target replaced, and a replaced file keeps its permissions.
    // Anything else there (a device, a FIFO) is written in place, never waiting for a reader to
    // come (none: refused) and at most MostInPlaceWait for one to read. A target that cannot be
    // opened for writing is refused, as a plain write would refuse it. A save that is not
    // finished, or fails, leaves the target untouched and removes its temporary, even when the
    // folder was moved meanwhile. Text is written in text mode.
    class PendingSave
    {
    public:
        class Target; // the platform's open target and temporary

        explicit PendingSave(std::unique_ptr<Target> Started);
        PendingSave(PendingSave&& Other) noexcept;
        auto operator=(PendingSave&& Other) noexcept -> PendingSave&;
        ~PendingSave();

        [[nodiscard]] auto Finish(std::string_view Text) && -> std::error_code;

    private:
        std::unique_ptr<Target> Opened;
    };

    [[nodiscard]] auto StartSave(const std::filesystem::path& Path) -> Result<PendingSave>;

    // The error the last failed C library call left behind; never reads as success.
    [[nodiscard]] inline auto LastError() -> std::error_code
    {
        const int Code = errno;
        return Code != 0 ? std::error_code(Code, std::generic_category()) : std::make_error_code(std::errc::io_error);
    }
} // namespace VEXA::FileSystem
