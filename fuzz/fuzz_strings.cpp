// The hooks that take engine strings: the log, the animation bridge and the four file hooks,
// with string contents holding NULs, unpaired surrogates and long texts, and with or without
// storage and terminator. File paths stay inside a private folder: the fuzzed part of a path
// cannot hold a separator or a dot, so it cannot climb out.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include "support/fuzz_support.hpp"

namespace fs = std::filesystem;

namespace
{
    // A private folder with a few files, removed when the process ends normally.
    class SandboxFolder
    {
    public:
        SandboxFolder()
        {
            std::string Template = (fs::temp_directory_path() / "brambleon-fuzz-XXXXXX").string();
            if (::mkdtemp(Template.data()) == nullptr)
            {
                throw std::runtime_error("cannot make a temporary folder");
            }
            Root = Template;
            fs::create_directory(Root / "dir");
            std::ofstream(Root / "file.txt", std::ios::binary) << "ab\r\ncd\nef\r\n";
            std::ofstream(Root / "nul.txt", std::ios::binary) << std::string("ab\0cd", 5);
            std::ofstream(Root / "empty.txt", std::ios::binary);
            std::ofstream(Root / "dir" / "inner.txt", std::ios::binary) << "inner";
            Wide = RC::StringType(Template.begin(), Template.end());
        }
        SandboxFolder(const SandboxFolder&) = delete;
        auto operator=(const SandboxFolder&) -> SandboxFolder& = delete;
        ~SandboxFolder()
        {
            std::error_code Ignored;
            fs::remove_all(Root, Ignored);
        }

        fs::path Root;
        RC::StringType Wide;
    };

    auto Sandbox() -> const RC::StringType&
    {
        static const SandboxFolder Folder;
        return Folder.Wide;
    }

    // A path inside the sandbox (or the empty path), then a fuzzed tail of a few characters
    // drawn from a tiny alphabet (so the folder's size stays bounded) plus NULs, surrogates and
    // the occasional overlong name.
    auto TakePath(FuzzedDataProvider& Input) -> RC::StringType
    {
        static const RC::StringType Bases[] = {
            STR(""), STR("/"), STR("/dir"), STR("/dir/"), STR("/file.txt"), STR("/nul.txt"), STR("/empty.txt"),
            STR("/missing/"), STR("/missing/deeper/"), STR("/file.txt/")};
        const RC::StringType& Base = Bases[Input.ConsumeIntegralInRange<size_t>(0, std::size(Bases) - 1)];
        // The empty path stays empty as the hooks read it: a tail behind a NUL at most, never a
        // relative path (that would name the working directory).
        RC::StringType Path = Base.empty() ? RC::StringType(1, RC::CharType{0}) : Sandbox() + Base;
        const auto Tail = Input.ConsumeIntegralInRange<int>(0, 3);
        for (int Index = 0; Index < Tail; ++Index)
        {
            switch (Input.ConsumeIntegralInRange<int>(0, 5))
            {
            case 0: Path += RC::CharType{0}; break;
            case 1: Path += static_cast<RC::CharType>(Input.ConsumeIntegralInRange<uint16_t>(0xD800, 0xDFFF)); break;
            case 2: Path += RC::CharType{0x00E9}; break;
            case 3: Path.append(300, RC::CharType{'n'}); break;
            default: Path += static_cast<RC::CharType>('a' + Input.ConsumeIntegralInRange<int>(0, 3)); break;
            }
        }
        return Path;
    }

    // The path as the hooks read it: up to the first NUL.
    auto AsRead(const RC::StringType& Path) -> RC::StringViewType
    {
        return RC::StringViewType(Path).substr(0, Path.find(RC::CharType{0}));
    }

    auto WritePath(Harness::ParamBlock& Block, size_t Offset, FuzzedDataProvider& Input) -> void
    {
        const auto Form = Input.ConsumeIntegralInRange<uint8_t>(0, 7);
        const RC::StringType Path = TakePath(Input);
        Fuzz::Require(AsRead(Path).empty() || AsRead(Path).starts_with(Sandbox()), "paths stay in the sandbox");
        Fuzz::WriteFString(Block, Offset, Path, Form >= 4 ? 2 : Form);
    }

    auto IsOneOf(const RC::StringType& Text, std::initializer_list<RC::StringViewType> Answers) -> bool
    {
        for (const RC::StringViewType Answer : Answers)
        {
            if (Text == Answer)
            {
                return true;
            }
        }
        return false;
    }
} // namespace

extern "C" auto LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) -> int
{
    Harness::Session& Session = Fuzz::GetSession();
    const Harness::Functions& Fn = Session.Fn();
    FuzzedDataProvider Input(Data, Size);

    for (int Step = 0; Step < 16 && Input.remaining_bytes() > 0; ++Step)
    {
        switch (Input.ConsumeIntegralInRange<int>(0, 5))
        {
        case 0:
        {
            Harness::ParamBlock Params(Fn.SendToUE4SSLog);
            Fuzz::WriteFString(Params, 0, Input);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.SendToUE4SSLog, Params);
            break;
        }
        case 1:
        {
            Harness::ParamBlock Params(Fn.GetResponse);
            Fuzz::WriteFString(Params, 0, Input);
            Session.Call(Session.LibraryObject(Harness::Library::Anim), Fn.GetResponse, Params);
            Fuzz::Require(Params.GetString(BlueprintHalf::Param::Request) == STR("CPPResponse"), "every request is answered");
            break;
        }
        case 2:
        {
            Harness::ParamBlock Params(Fn.DoesFileExist);
            WritePath(Params, 0, Input);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.DoesFileExist, Params);
            Fuzz::Require(IsOneOf(Params.GetString(BlueprintHalf::Param::Path), {STR("true"), STR("false")}),
                          "an existence test always answers");
            break;
        }
        case 3:
        {
            Harness::ParamBlock Params(Fn.GetNamesFromDir);
            WritePath(Params, 0, Input);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.GetNamesFromDir, Params);
            break;
        }
        case 4:
        {
            Harness::ParamBlock Params(Fn.GetFileContents);
            WritePath(Params, 0, Input);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.GetFileContents, Params);
            break;
        }
        default:
        {
            Harness::ParamBlock Params(Fn.SaveFile);
            WritePath(Params, 0, Input);
            const auto Form = Input.ConsumeIntegralInRange<uint8_t>(0, 7);
            const RC::StringType Tail = TakePath(Input);
            // A file name: the tail only, never a base folder.
            const size_t Slash = Tail.rfind(RC::CharType{'/'});
            const RC::StringType Name = Slash == RC::StringType::npos ? Tail : Tail.substr(Slash + 1);
            Fuzz::Require(AsRead(Name).find_first_of(STR("/\\")) == RC::StringViewType::npos,
                          "file names hold no separator");
            Fuzz::WriteFString(Params, 16, Name, Form >= 4 ? 2 : Form);
            Fuzz::WriteFString(Params, 32, Input);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.SaveFile, Params);
            const RC::StringType Status = Params.GetString(BlueprintHalf::Param::Path);
            Fuzz::Require(IsOneOf(Status, {STR("::FileSaveSuccess::"), STR("::FileSaveFailed::")}),
                          "a save always answers a status");
            break;
        }
        }
        Fuzz::RequireNoEscapes(Session);
    }
    return 0;
}
