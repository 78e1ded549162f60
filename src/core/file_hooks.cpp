// File services of the core library: list a folder, test a path, read a file's text, save text
// to a file. Paths are UTF-8 from the Blueprint's strings, used as given (relative ones against
// the working directory). Runs on the game thread, inside the Blueprint call, so every read and
// write is done in bulk. Raised errors are left to the hook boundary, which keeps the input.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <VEXA_Core.hpp>
#include <log_bridge.hpp>

#include "core/core_hooks.hpp"
#include "core/file_system.hpp"
#include "core/guard.hpp"
#include "core/param_view.hpp"

namespace fs = std::filesystem;

namespace VEXA
{
    auto VEXA_Core::DoesPathExist(const std::string& Path) -> bool
    {
        const fs::path Target = FileSystem::PathFromUtf8(Path);
        std::error_code Error;
        const bool Found = fs::exists(Target, Error);
        // A malformed or overlong name cannot name anything; other failures (access denied)
        // mean the answer is unknown, which is not the same as "missing".
        if (Error && Error != std::errc::invalid_argument && Error != std::errc::filename_too_long)
        {
            throw fs::filesystem_error("exists", Target, Error);
        }
        return Found;
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

    auto VEXA_Core::ReadFileText(const std::string& FilePath, bool RemoveLineBreaks) -> std::string
    {
        BRMB::Log::Narrow("VEXA Request file : " + FilePath);
        if (!DoesPathExist(FilePath))
        {
            BRMB::Log::Wide(STR("VEXA Request file does not exist"));
            return {};
        }

        // A file that exists but cannot be opened or read (a folder, access denied) reads as
        // empty text without a further line.
        std::error_code Error;
        const FileSystem::FileHandle File = FileSystem::OpenForReading(FileSystem::PathFromUtf8(FilePath), Error);
        if (!File)
        {
            return {};
        }
        const auto Size = FileSystem::StoredSize(File.get(), Error);
        if (Error)
        {
            return {};
        }
        std::string Text(static_cast<size_t>(Size), '\0');
        const size_t Read = std::fread(Text.data(), 1, Text.size(), File.get());
        if (std::ferror(File.get()) != 0)
        {
            return {};
        }
        // Text mode may deliver fewer characters than stored (CR LF read as LF).
        Text.resize(Read);
        if (RemoveLineBreaks)
        {
            std::erase_if(Text, [](const char Byte) { return Byte == '\r' || Byte == '\n'; });
        }
        return Text;
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

        struct SaveFailure
        {
            std::string_view Reason;
            std::string Description;
        };

        constexpr std::string_view FolderFailed = "Folder could not be created";
        constexpr std::string_view OpenFailed = "File could not be opened";
        constexpr std::string_view WriteFailed = "File could not be written";

        auto Describe(const std::exception& Error) -> std::string
        {
            if (const auto* System = dynamic_cast<const std::system_error*>(&Error))
            {
                return System->code().message();
            }
            return Error.what();
        }

        // Creates the folder when nothing stands at its path (one level), then replaces the file
        // FolderPath + FileName with Text. The text is already converted, so an existing file is
        // truncated only when it is about to be written.
        auto WriteTextFile(VEXA_Core& Core, const std::string& FolderPath, const std::string& FileName,
                           const std::string& Text) -> std::optional<SaveFailure>
        {
            std::string_view Stage = FolderFailed;
            try
            {
                if (!Core.DoesPathExist(FolderPath))
                {
                    std::error_code Error;
                    fs::create_directory(FileSystem::PathFromUtf8(FolderPath), Error);
                    if (Error)
                    {
                        return SaveFailure{Stage, Error.message()};
                    }
                }

                Stage = OpenFailed;
                std::error_code Error;
                FileSystem::FileHandle File =
                    FileSystem::OpenForWriting(FileSystem::PathFromUtf8(FolderPath + FileName), Error);
                if (!File)
                {
                    return SaveFailure{Stage, Error.message()};
                }

                Stage = WriteFailed;
                if (!Text.empty() && std::fwrite(Text.data(), 1, Text.size(), File.get()) != Text.size())
                {
                    return SaveFailure{Stage, FileSystem::LastError().message()};
                }
                if (const std::error_code Closed = FileSystem::Close(std::move(File)))
                {
                    return SaveFailure{Stage, Closed.message()};
                }
                return std::nullopt;
            }
            catch (const std::exception& Error)
            {
                return SaveFailure{Stage, Describe(Error)};
            }
        }
    } // namespace

    auto GetNamesFromDir(HookContext& Context) -> void
    {
        const BRMB::ParamView Params(Context);
        const std::vector<std::string> Names = CoreInstance().ListDirNames(Params.Utf8At(PathParam));
        Params.SetUtf8At(PathParam, JoinNames(Names));
    }

    auto DoesFileExist(HookContext& Context) -> void
    {
        const BRMB::ParamView Params(Context);
        const bool Exists = CoreInstance().DoesPathExist(Params.Utf8At(PathParam));
        Params.SetUtf8At(PathParam, Exists ? "true" : "false");
    }

    auto GetFileContents(HookContext& Context) -> void
    {
        const BRMB::ParamView Params(Context);
        const std::string Text = CoreInstance().ReadFileText(Params.Utf8At(PathParam), true);
        Params.SetUtf8At(PathParam, Text);
    }

    auto SaveFile(HookContext& Context) -> void
    {
        const BRMB::ParamView Params(Context);
        const std::string FolderPath = Params.Utf8At(FolderParam);
        const std::string FileName = Params.Utf8At(FileNameParam);
        BRMB::Log::Narrow("VEXA Saving file : " + FolderPath + FileName);

        const auto Fail = [&](std::string_view Reason) {
            Params.SetUtf8At(FolderParam, "::FileSaveFailed::");
            Params.SetUtf8At(TextParam, Reason);
            BRMB::Log::Wide(STR("Saving File Failed"));
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

        const std::string Text = Params.Utf8At(TextParam);
        if (const std::optional<SaveFailure> Failure = WriteTextFile(CoreInstance(), FolderPath, FileName, Text))
        {
            Fail(Failure->Reason);
            BRMB::ReportFailure(SaveFileSpec.Prefix, SaveFileSpec.Function, Failure->Description);
            return;
        }
        Params.SetUtf8At(FolderParam, "::FileSaveSuccess::");
        Params.SetUtf8At(TextParam, "");
    }
} // namespace VEXA::Hooks
