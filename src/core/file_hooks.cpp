// File services of the core library: list a folder, test a path, read a file's text, save text
// to a file. Paths are UTF-8 from the Blueprint's strings, used as given (relative ones against
// the working directory). Runs on the game thread, inside the Blueprint call, so files are read
// in large chunks and written in one piece. Listing and the existence test raise the errors they
// meet, which the hook boundary logs while the input stays; a read that fails answers empty text,
// and the save answers its failures in its parameters.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <VEXA_Core.hpp>

#include "bridge/guard.hpp"
#include "bridge/log.hpp"
#include "bridge/param_view.hpp"
#include "bridge/text.hpp"
#include "core/core_hooks.hpp"
#include "core/file_system.hpp"

namespace fs = std::filesystem;

namespace VEXA
{
    using BRMB::Bridge::LogLine;
    using BRMB::Bridge::ParamView;

    namespace
    {
        auto LogMissingFile() -> void { LogLine(STR("VEXA Request file does not exist")); }

        // Whether anything stands at Path. A malformed or overlong name cannot name anything;
        // other failures (access denied) mean the answer is unknown, which is not the same as
        // "missing".
        auto PathExists(const fs::path& Path) -> FileSystem::Result<bool>
        {
            std::error_code Error;
            const bool Found = fs::exists(Path, Error);
            if (Error && Error != std::errc::invalid_argument && Error != std::errc::filename_too_long)
            {
                return Error;
            }
            return Found;
        }
    } // namespace

    auto VEXA_Core::DoesPathExist(const std::string& Path) -> bool
    {
        const fs::path Target = FileSystem::PathFromUtf8(Path);
        const FileSystem::Result<bool> Found = PathExists(Target);
        if (!Found)
        {
            throw fs::filesystem_error("exists", Target, Found.Error());
        }
        return *Found;
    }

    auto VEXA_Core::ListDirNames(const std::string& FolderPath) -> std::vector<std::string>
    {
        std::vector<std::string> Names;
        if (!DoesPathExist(FolderPath))
        {
            return Names;
        }
        const fs::path Folder = FileSystem::PathFromUtf8(FolderPath);
        std::error_code Error;
        fs::directory_iterator Entry(Folder, Error);
        if (Error)
        {
            throw fs::filesystem_error("directory_iterator::directory_iterator", Folder, Error);
        }
        for (const fs::directory_iterator End; Entry != End;)
        {
            Names.push_back(FileSystem::PathToUtf8(Entry->path().filename()));
            Entry.increment(Error);
            if (Error)
            {
                throw fs::filesystem_error("directory_iterator::operator++", Folder, Error);
            }
        }
        return Names;
    }

    namespace
    {
        // Large enough that read calls cost nothing beside the copying, small enough that a
        // chunk is still in the cache while its text is converted.
        constexpr size_t ReadChunkBytes = size_t{64} * 1024;

        // Moves the bytes that are not CR or LF to the front of [Begin, End), in order; returns
        // the new end. Lines are long beside their breaks, so eight bytes at a time are tested
        // for either and moved whole when they hold neither.
        auto StripLineBreaks(char* const Begin, char* const End) -> char*
        {
            constexpr uint64_t Ones = 0x0101010101010101ULL;
            constexpr uint64_t Highs = 0x8080808080808080ULL;
            // Exact for "some byte of Word equals the pattern's byte".
            const auto Holds = [](uint64_t Word, uint64_t Pattern) {
                const uint64_t Differ = Word ^ Pattern;
                return ((Differ - Ones) & ~Differ & Highs) != 0;
            };
            const auto KeepIfNotBreak = [](char*& Out, const char Byte) {
                *Out = Byte;
                Out += static_cast<int>(Byte != '\r') & static_cast<int>(Byte != '\n');
            };
            char* Out = Begin;
            const char* In = Begin;
            for (; End - In >= 8; In += 8)
            {
                uint64_t Word = 0;
                std::memcpy(&Word, In, sizeof(Word));
                if (!Holds(Word, Ones * '\r') && !Holds(Word, Ones * '\n'))
                {
                    // Out is never past In, and the eight bytes are already loaded.
                    std::memcpy(Out, &Word, sizeof(Word));
                    Out += sizeof(Word);
                    continue;
                }
                for (size_t Index = 0; Index < sizeof(Word); ++Index)
                {
                    KeepIfNotBreak(Out, In[Index]);
                }
            }
            for (; In != End; ++In)
            {
                KeepIfNotBreak(Out, *In);
            }
            return Out;
        }

        // What is reserved for a file's text before any of it is read: enough that a file of
        // ordinary size is decoded without growing the string, while a file that claims a large
        // size (a sparse file, one that shrinks while it is read) costs only what it delivers.
        constexpr size_t MostReservedBytes = size_t{4} * 1024 * 1024;

        // Reads the open file's text chunk by chunk into Text, line breaks removed when asked.
        // Only the bytes the file held when it was opened are read, so a file that grows
        // meanwhile still ends. A byte order mark at the start is not text. After a UTF-16 mark
        // the file is UTF-16, turned into UTF-8 a chunk at a time. Reading stops once a NUL has
        // ended the text.
        auto ReadChunks(std::FILE* const File, bool RemoveLineBreaks, BRMB::Bridge::Text::FStringWriter& Text) -> std::error_code
        {
            const FileSystem::Result<std::uint64_t> Stored = FileSystem::StoredSize(File);
            if (!Stored)
            {
                return Stored.Error();
            }
            std::uint64_t Left = *Stored;
            const auto Chunk = std::make_unique_for_overwrite<char[]>(ReadChunkBytes);
            const auto ReadChunk = [&]() -> size_t {
                const size_t Read = std::fread(Chunk.get(), 1, static_cast<size_t>(std::min<std::uint64_t>(Left, ReadChunkBytes)), File);
                Left -= Read;
                // A file that shrank ends where it ends.
                if (Read == 0)
                {
                    Left = 0;
                }
                return Read;
            };
            const auto Deliver = [&](char* const Begin, char* End) {
                if (RemoveLineBreaks)
                {
                    End = StripLineBreaks(Begin, End);
                }
                Text.Append(std::string_view(Begin, static_cast<size_t>(End - Begin)));
            };
            // The C library keeps only that a read failed, not why.
            const auto Failure = [File] {
                return std::ferror(File) != 0 ? std::make_error_code(std::errc::io_error) : std::error_code{};
            };
            const std::uint64_t Size = Left;
            size_t Read = ReadChunk();
            const BRMB::Bridge::Text::ByteOrderMark Mark =
                BRMB::Bridge::Text::FindByteOrderMark(std::string_view(Chunk.get(), Read));
            const std::uint64_t Reserved = std::min<std::uint64_t>(Size - std::min<std::uint64_t>(Size, Mark.Length), MostReservedBytes);
            size_t Start = std::min(Read, Mark.Length);
            if (Mark.Kind != BRMB::Bridge::Text::Encoding::Utf8)
            {
                Text.Reserve(static_cast<size_t>(Reserved / 2));
                BRMB::Bridge::Text::Utf16Reader Utf16(Mark.Kind);
                do
                {
                    std::string Utf8 = Utf16.Decode(std::string_view(Chunk.get() + Start, Read - Start));
                    Deliver(Utf8.data(), Utf8.data() + Utf8.size());
                    Start = 0;
                } while (!Text.Finished() && Left > 0 && (Read = ReadChunk()) > 0);
                std::string Rest = Utf16.Finish();
                Deliver(Rest.data(), Rest.data() + Rest.size());
                return Failure();
            }
            Text.Reserve(static_cast<size_t>(Reserved));
            Deliver(Chunk.get() + Start, Chunk.get() + Read);
            while (!Text.Finished() && Left > 0 && (Read = ReadChunk()) > 0)
            {
                Deliver(Chunk.get(), Chunk.get() + Read);
            }
            return Failure();
        }
    } // namespace

    // The text goes from the file to the engine string a chunk at a time: no copy of the whole
    // file is made on the way, which on large files costs more than the read itself.
    auto VEXA_Core::ReadFileText(const std::string& FilePath, bool RemoveLineBreaks) -> RC::Unreal::FString
    {
        LogLine("VEXA Request file : " + FilePath);
        if (!DoesPathExist(FilePath))
        {
            LogMissingFile();
            return {};
        }
        // A file that exists but cannot be opened or read (a folder, a FIFO or device, access
        // denied) reads as empty text without a further line.
        const FileSystem::Result<FileSystem::FileHandle> File = FileSystem::OpenForReading(FileSystem::PathFromUtf8(FilePath));
        if (!File)
        {
            return {};
        }
        BRMB::Bridge::Text::FStringWriter Text;
        if (const std::error_code Unread = ReadChunks(File->get(), RemoveLineBreaks, Text))
        {
            return {};
        }
        return Text.Take();
    }
} // namespace VEXA

namespace VEXA::Hooks
{
    namespace
    {
        constexpr size_t PathParam = 0;
        constexpr size_t FolderParam = 0;
        constexpr size_t FileNameParam = 16;
        constexpr size_t TextParam = 32;

        // A path text with an unpaired surrogate names no file: its UTF-8 form would carry
        // U+FFFD in the surrogate's place, so names that differ only there would all reach the
        // one file whose name holds U+FFFD.
        auto NamesAFile(const ParamView& Params, size_t Offset) -> bool
        {
            return BRMB::Bridge::Text::IsWellFormedUtf16(BRMB::Bridge::Text::FStringView(Params.FStringAt(Offset)));
        }

        auto JoinNames(const std::vector<std::string>& Names) -> std::string
        {
            std::string Joined = "|";
            for (const std::string& Name : Names)
            {
                Joined += Name;
                Joined += '|';
            }
            return Joined;
        }

        constexpr std::string_view FolderFailed = "Folder could not be created";
        constexpr std::string_view OpenFailed = "File could not be opened";
        constexpr std::string_view WriteFailed = "File could not be written";

        // Creates the folder when nothing stands at its path, one level only.
        auto MakeFolder(const fs::path& Folder) -> std::error_code
        {
            const FileSystem::Result<bool> Found = PathExists(Folder);
            if (!Found)
            {
                return Found.Error();
            }
            std::error_code Error;
            if (!*Found)
            {
                fs::create_directory(Folder, Error);
            }
            return Error;
        }
    } // namespace

    auto GetNamesFromDir(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        const std::vector<std::string> Names =
            NamesAFile(Params, PathParam) ? CoreInstance().ListDirNames(Params.Utf8At(PathParam)) : std::vector<std::string>{};
        Params.SetUtf8At(PathParam, JoinNames(Names));
    }

    auto DoesFileExist(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        const bool Exists = NamesAFile(Params, PathParam) && CoreInstance().DoesPathExist(Params.Utf8At(PathParam));
        Params.SetUtf8At(PathParam, Exists ? "true" : "false");
    }

    auto GetFileContents(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        if (!NamesAFile(Params, PathParam))
        {
            LogLine("VEXA Request file : " + Params.Utf8At(PathParam));
            LogMissingFile();
            Params.FStringAt(PathParam) = RC::Unreal::FString();
            return;
        }
        Params.FStringAt(PathParam) = CoreInstance().ReadFileText(Params.Utf8At(PathParam), true);
    }

    auto SaveFile(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        const std::string FolderPath = Params.Utf8At(FolderParam);
        const std::string FileName = Params.Utf8At(FileNameParam);
        LogLine("VEXA Saving file : " + FolderPath + FileName);

        // A failure the system reported is described by the boundary line as well.
        const auto Fail = [&](std::string_view Reason, std::error_code Error = {}) {
            Params.SetUtf8At(FolderParam, "::FileSaveFailed::");
            Params.SetUtf8At(TextParam, Reason);
            LogLine(STR("Saving File Failed"));
            if (Error)
            {
                BRMB::Bridge::ReportFailure(SaveFileHook.Prefix, SaveFileHook.Function, Error.message());
            }
        };
        if (FolderPath.empty())
        {
            Fail("Path was empty");
            return;
        }
        if (FileName.empty())
        {
            Fail("FileName was empty");
            return;
        }
        if (!NamesAFile(Params, FolderParam))
        {
            Fail("Path holds an unpaired surrogate");
            return;
        }
        if (!NamesAFile(Params, FileNameParam))
        {
            Fail("FileName holds an unpaired surrogate");
            return;
        }

        // The text is converted before anything is touched, and an existing file is replaced
        // only by the whole new text.
        const std::string Text = Params.Utf8At(TextParam);
        if (const std::error_code Error = MakeFolder(FileSystem::PathFromUtf8(FolderPath)))
        {
            Fail(FolderFailed, Error);
            return;
        }
        FileSystem::Result<FileSystem::PendingSave> Pending = FileSystem::StartSave(FileSystem::PathFromUtf8(FolderPath + FileName));
        if (!Pending)
        {
            Fail(OpenFailed, Pending.Error());
            return;
        }
        if (const std::error_code Error = std::move(*Pending).Finish(Text))
        {
            Fail(WriteFailed, Error);
            return;
        }
        Params.SetUtf8At(FolderParam, "::FileSaveSuccess::");
        Params.SetUtf8At(TextParam, "");
    }
} // namespace VEXA::Hooks
