// How the file services behave on Windows, which a POSIX build cannot show: text-mode line
// ends, both separators, names outside the ANSI code page, share modes held by other handles, the
// read-only attribute, access rules and links. Built for Windows only; run under wine by the
// cross build.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/file_services_fixture.hpp"

namespace fs = std::filesystem;
using BrambleonTest::LargeText;
using BrambleonTest::OtherNames;
using BrambleonTest::ReadBytes;
using BrambleonTest::SaveAnswer;

namespace
{
    constexpr std::string_view Saved = "::FileSaveSuccess::";
    constexpr std::string_view Failed = "::FileSaveFailed::";

    // A file handle of the test's own, opened through the Win32 interface with an exact access
    // and share mode, as another program (the game, an editor) would hold it.
    class OtherHandle
    {
    public:
        OtherHandle(const fs::path& File, DWORD Access, DWORD ShareMode)
            : Handle(::CreateFileW(File.c_str(), Access, ShareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr))
        {
        }
        OtherHandle(const OtherHandle&) = delete;
        auto operator=(const OtherHandle&) -> OtherHandle& = delete;
        ~OtherHandle()
        {
            if (IsOpen())
            {
                ::CloseHandle(Handle);
            }
        }

        [[nodiscard]] auto IsOpen() const -> bool { return Handle != INVALID_HANDLE_VALUE; }
        auto Write(std::string_view Bytes) const -> bool
        {
            DWORD Written = 0;
            return ::WriteFile(Handle, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr) != 0 &&
                   Written == Bytes.size();
        }

    private:
        HANDLE Handle;
    };

    // Every '\' of a path text as '/'.
    auto WithSlashes(std::string Text) -> std::string
    {
        std::replace(Text.begin(), Text.end(), '\\', '/');
        return Text;
    }

    // Sets a file's read-only attribute for one scope, so the scratch folder can go afterwards.
    class ReadOnlyFile
    {
    public:
        explicit ReadOnlyFile(fs::path Target) : File(std::move(Target))
        {
            Set = ::SetFileAttributesW(File.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
        }
        ReadOnlyFile(const ReadOnlyFile&) = delete;
        auto operator=(const ReadOnlyFile&) -> ReadOnlyFile& = delete;
        ~ReadOnlyFile() { ::SetFileAttributesW(File.c_str(), FILE_ATTRIBUTE_NORMAL); }

        [[nodiscard]] auto IsSet() const -> bool { return Set; }

    private:
        fs::path File;
        bool Set = false;
    };

    // The names of a folder as the wide interface sees them.
    auto WideNames(const fs::path& Folder) -> std::vector<std::wstring>
    {
        std::vector<std::wstring> Names;
        for (const fs::directory_entry& Entry : fs::directory_iterator(Folder))
        {
            Names.push_back(Entry.path().filename().wstring());
        }
        std::sort(Names.begin(), Names.end());
        return Names;
    }
} // namespace

// The file services' fixture under its own name, so these cases stand apart in CTest.
class WindowsFiles : public BrambleonTest::FileServicesTest
{
};

// --- text mode ----------------------------------------------------------------------------------

TEST_F(WindowsFiles, SavedLineFeedsReachTheFileAsCrLfAndAreRemovedWhenRead)
{
    struct Case
    {
        std::string_view Text;   // saved
        std::string_view Stored; // the file's bytes
        std::string_view Read;   // what reading it back answers
    };
    const Case Cases[] = {
        {"a\nb", "a\r\nb", "ab"},
        {"one\ntwo\n", "one\r\ntwo\r\n", "onetwo"},
        {"\n\n", "\r\n\r\n", ""},
        {"a\r\nb", "a\r\r\nb", "ab"}, // a CR of the text is written as it is
        {"no breaks", "no breaks", "no breaks"},
    };
    const std::string Folder = Scratch.Text() + "\\";
    for (const Case& Each : Cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::string(Each.Text)));
        EXPECT_EQ(Save(Folder, "lines.txt", Each.Text).Status, Saved);
        EXPECT_EQ(ReadBytes(Scratch / "lines.txt"), Each.Stored);
        EXPECT_EQ(Read(Scratch.Text("lines.txt")), Each.Read);
    }
}

TEST_F(WindowsFiles, FilesWrittenElsewhereReadWithoutAnyLineBreak)
{
    struct Case
    {
        std::string_view Stored;
        std::string_view Read;
    };
    const Case Cases[] = {
        {"a\r\nb\r\n", "ab"},
        {"a\rb\nc\r\r\nd", "abcd"},
        {"\r\n\r\n\n\r", ""},
    };
    for (const Case& Each : Cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::string(Each.Stored)));
        Scratch.MakeFile("written.txt", Each.Stored);
        EXPECT_EQ(Read(Scratch.Text("written.txt")), Each.Read);
    }
}

// The C runtime's text mode ends the input at a Ctrl-Z byte (1A); files are read as stored, so
// the byte is a character and what follows it is read too.
TEST_F(WindowsFiles, ACtrlZByteIsTextWhereTextModeWouldEndTheFile)
{
    const fs::path File = Scratch.MakeFile("ctrl_z.txt", "a\x1A" "b\r\nc");
    std::string TextMode;
    if (std::FILE* const Stream = ::_wfopen(File.c_str(), L"rt"))
    {
        for (int Char = 0; (Char = std::fgetc(Stream)) != EOF;)
        {
            TextMode += static_cast<char>(Char);
        }
        std::fclose(Stream);
    }
    EXPECT_EQ(TextMode, "a");

    EXPECT_EQ(Read(Scratch.Text("ctrl_z.txt")), "a\x1A" "bc");
}

// --- separators -----------------------------------------------------------------------------------

TEST_F(WindowsFiles, BackslashAndSlashSeparateComponentsAlike)
{
    Scratch.MakeFolder("dir/inner");
    Scratch.MakeFile("dir/inner/f.txt", "x");
    const std::string Root = Scratch.Text();
    ASSERT_NE(Root.find('\\'), std::string::npos) << "the scratch folder's native text uses backslashes";

    const std::string Forms[] = {
        Root + "\\dir\\inner",
        Root + "/dir/inner",
        Root + "\\dir/inner",
        WithSlashes(Root) + "/dir/inner",
        WithSlashes(Root) + "\\dir\\inner\\",
        Root + "/dir/inner/",
    };
    for (const std::string& Folder : Forms)
    {
        SCOPED_TRACE(Folder);
        EXPECT_EQ(List(Folder), "|f.txt|");
        EXPECT_EQ(Exists(Folder), "true");
        for (const char* Separator : {"\\", "/"})
        {
            const std::string File = Folder + (Folder.ends_with('\\') || Folder.ends_with('/') ? "" : Separator) + "f.txt";
            EXPECT_EQ(Exists(File), "true") << File;
            EXPECT_EQ(Read(File), "x") << File;
        }
    }
    EXPECT_EQ(Exists(Root + "\\dir\\missing.txt"), "false");
}

TEST_F(WindowsFiles, SavesUnderEitherSeparatorInsideTheNamedFolder)
{
    const std::string Root = Scratch.Text();
    EXPECT_EQ(Save(Root + "\\back\\", "a.txt", "1").Status, Saved);
    EXPECT_EQ(Save(WithSlashes(Root) + "/forward/", "b.txt", "2").Status, Saved);

    EXPECT_EQ(ReadBytes(Scratch / "back" / "a.txt"), "1");
    EXPECT_EQ(ReadBytes(Scratch / "forward" / "b.txt"), "2");
    EXPECT_EQ(WideNames(Scratch.Path()), (std::vector<std::wstring>{L"back", L"forward"}));
}

TEST_F(WindowsFiles, NamesMatchWhateverTheirCase)
{
    Scratch.MakeFolder("Mixed");
    Scratch.MakeFile("Mixed/Save.TXT", "kept");

    EXPECT_EQ(Exists(Scratch.Text("MIXED\\save.txt")), "true");
    EXPECT_EQ(Read(Scratch.Text("mixed\\SAVE.txt")), "kept");
    // The listing gives the names as stored, not as asked.
    EXPECT_EQ(List(Scratch.Text("mIxEd")), "|Save.TXT|");
}

// --- names outside ASCII --------------------------------------------------------------------------

TEST_F(WindowsFiles, NonAsciiFolderAndFileAreSavedListedAndReadThroughTheWideInterfaces)
{
    const std::string Folder = Scratch.Text("José") + "\\";
    ASSERT_EQ(Save(Folder, "café.txt", "olá\nmundo").Status, Saved);

    // Checked through wide names of the test's own: a narrow code page in the mod's path would
    // have made "JosÃ©" or "Jos?" instead.
    EXPECT_EQ(WideNames(Scratch.Path()), std::vector<std::wstring>{L"Jos\u00e9"});
    EXPECT_EQ(WideNames(Scratch.Path() / L"Jos\u00e9"), std::vector<std::wstring>{L"caf\u00e9.txt"});
    EXPECT_EQ(ReadBytes(Scratch.Path() / L"Jos\u00e9" / L"caf\u00e9.txt"), "ol\xC3\xA1\r\nmundo");

    EXPECT_EQ(List(Scratch.Text()), "|José|");
    EXPECT_EQ(List(Folder), "|café.txt|");
    EXPECT_EQ(Exists(Folder + "café.txt"), "true");
    EXPECT_EQ(Read(Folder + "café.txt"), "olámundo");
}

TEST_F(WindowsFiles, NamesNoSingleCodePageHoldsAreListedAndRead)
{
    // Greek and Japanese together fit no ANSI code page; only the wide interfaces reach them.
    const fs::path Folder = Scratch.Path() / L"\u65e5\u672c";
    fs::create_directory(Folder);
    BrambleonTest::WriteBytes(Folder / L"\u03b1\u03b2.txt", "\xCE\xBA\n");

    EXPECT_EQ(List(Scratch.Text()), "|\u65e5\u672c|");
    EXPECT_EQ(List(Scratch.Text("\u65e5\u672c")), "|\u03b1\u03b2.txt|");
    EXPECT_EQ(Read(Scratch.Text("\u65e5\u672c\\\u03b1\u03b2.txt")), "\u03ba");
    EXPECT_EQ(Exists(Scratch.Text("\u65e5\u672c\\\u03b1\u03b2.txt")), "true");
    EXPECT_EQ(Exists(Scratch.Text("\u65e5\u672c\\\u03b1.txt")), "false");
}

// --- other handles ----------------------------------------------------------------------------------

TEST_F(WindowsFiles, AFileHeldOpenForWritingByAnotherHandleIsStillRead)
{
    const fs::path File = Scratch.MakeFile("live.log", "");
    const OtherHandle Writer(File, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(Writer.IsOpen());
    ASSERT_TRUE(Writer.Write("first\r\nsecond"));

    EXPECT_EQ(Read(Scratch.Text("live.log")), "firstsecond");
    EXPECT_EQ(Exists(Scratch.Text("live.log")), "true");
    EXPECT_EQ(List(Scratch.Text()), "|live.log|");

    // What the other handle writes next is seen by the next read.
    ASSERT_TRUE(Writer.Write("\r\nthird"));
    EXPECT_EQ(Read(Scratch.Text("live.log")), "firstsecondthird");
}

TEST_F(WindowsFiles, AnotherHandlesShareModeDecidesWhatReadAndSaveMayDo)
{
    struct Case
    {
        const char* Name;
        DWORD ShareMode;
        bool Readable;
        std::string_view Reason; // empty: replaced
    };
    // The new text replaces the file, which a handle that does not share deletion forbids. One
    // that shares it too may still stand in the way (wine, Windows before its POSIX-style renames).
    const Case Cases[] = {
        {"shares everything", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true, "either"},
        {"shares reading and writing", FILE_SHARE_READ | FILE_SHARE_WRITE, true, "File could not be written"},
        {"denies writing", FILE_SHARE_READ, true, "File could not be opened"},
        {"denies everything", 0, false, "File could not be opened"},
    };
    for (const Case& Each : Cases)
    {
        SCOPED_TRACE(Each.Name);
        const fs::path File = Scratch.MakeFile("held.txt", "old\n");
        SaveAnswer Answer;
        {
            const OtherHandle Holder(File, GENERIC_READ | GENERIC_WRITE, Each.ShareMode);
            ASSERT_TRUE(Holder.IsOpen());
            ClearLog();

            EXPECT_EQ(Read(Scratch.Text("held.txt")), Each.Readable ? "old" : "");
            // Unreadable means empty text and only the request line, not "does not exist".
            EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Request file : " + Scratch.Text("held.txt")});

            Answer = Save(Scratch.Text() + "\\", "held.txt", "new");
            if (Each.Reason != "either")
            {
                EXPECT_EQ(Answer, (SaveAnswer{std::string(Each.Reason.empty() ? Saved : Failed), "held.txt",
                                              std::string(Each.Reason)}));
            }
            else if (Answer.Status != Saved)
            {
                EXPECT_EQ(Answer, (SaveAnswer{std::string(Failed), "held.txt", "File could not be written"}));
            }
        }
        EXPECT_EQ(ReadBytes(File), Answer.Status == Saved ? "new" : "old\n");
        EXPECT_EQ(WideNames(Scratch.Path()), std::vector<std::wstring>{L"held.txt"}) << "a temporary stayed";
    }
}

TEST_F(WindowsFiles, AReadOnlyFileIsNotReplacedAndKeepsItsText)
{
    const fs::path File = Scratch.MakeFile("locked.txt", "keep me");
    const ReadOnlyFile Locked(File);
    ASSERT_TRUE(Locked.IsSet());
    if (const OtherHandle Probe(File, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE); Probe.IsOpen())
    {
        GTEST_SKIP() << "the read-only attribute does not refuse writing here (wine run by root)";
    }
    ClearLog();

    const SaveAnswer Answer = Save(Scratch.Text() + "\\", "locked.txt", "replaced");

    EXPECT_EQ(Answer, (SaveAnswer{std::string(Failed), "locked.txt", "File could not be opened"}));
    EXPECT_EQ(ReadBytes(File), "keep me");
    const std::vector<std::string> Lines = LogLines();
    ASSERT_EQ(Lines.size(), 3U);
    EXPECT_EQ(Lines[0], "VEXA Saving file : " + Scratch.Text() + "\\locked.txt");
    EXPECT_EQ(Lines[1], "Saving File Failed");
    EXPECT_TRUE(Lines[2].starts_with("VEXA : VEXA_CPP_SaveFile failed : ")) << Lines[2];
    EXPECT_GT(Lines[2].size(), std::string_view("VEXA : VEXA_CPP_SaveFile failed : ").size()) << "no description";
    EXPECT_EQ(Read(Scratch.Text("locked.txt")), "keep me");
}

// --- links and access rules ----------------------------------------------------------------------

namespace
{
    // A file's access rules (its DACL) in the system's text form; empty when they cannot be read.
    auto AccessRules(const fs::path& File) -> std::wstring
    {
        PSECURITY_DESCRIPTOR Descriptor = nullptr;
        if (::GetNamedSecurityInfoW(File.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                    nullptr, &Descriptor) != ERROR_SUCCESS)
        {
            return {};
        }
        LPWSTR Text = nullptr;
        std::wstring Rules;
        if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(Descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                   &Text, nullptr) != 0)
        {
            Rules = Text;
        }
        ::LocalFree(Text);
        ::LocalFree(Descriptor);
        return Rules;
    }

    // Adds a rule of the file's own that lets every user change it, as a game shared between
    // the users of one machine may set on its saves; false when the rules cannot be changed.
    auto LetEveryoneWrite(const fs::path& File) -> bool
    {
        PACL Rules = nullptr;
        PSECURITY_DESCRIPTOR Descriptor = nullptr;
        if (::GetNamedSecurityInfoW(File.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &Rules,
                                    nullptr, &Descriptor) != ERROR_SUCCESS)
        {
            return false;
        }
        BYTE Everyone[SECURITY_MAX_SID_SIZE];
        DWORD Size = sizeof(Everyone);
        EXPLICIT_ACCESS_W Grant{};
        Grant.grfAccessPermissions = GENERIC_ALL;
        Grant.grfAccessMode = GRANT_ACCESS;
        Grant.grfInheritance = NO_INHERITANCE;
        Grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        Grant.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        Grant.Trustee.ptstrName = reinterpret_cast<LPWSTR>(Everyone);
        PACL Changed = nullptr;
        const bool Set = ::CreateWellKnownSid(WinWorldSid, nullptr, Everyone, &Size) != 0 &&
                         ::SetEntriesInAclW(1, &Grant, Rules, &Changed) == ERROR_SUCCESS &&
                         ::SetNamedSecurityInfoW(const_cast<wchar_t*>(File.c_str()), SE_FILE_OBJECT,
                                                 DACL_SECURITY_INFORMATION, nullptr, nullptr, Changed, nullptr) == ERROR_SUCCESS;
        ::LocalFree(Changed);
        ::LocalFree(Descriptor);
        return Set;
    }
} // namespace

// A save replaces the file by a new one, which would take the folder's rules; the replaced
// file's own rules go to it instead, and a new file gets what a plain create gives it.
TEST_F(WindowsFiles, AReplacedFileKeepsItsAccessRules)
{
    const fs::path Shared = Scratch.MakeFile("shared.txt", "old");
    const std::wstring Plain = AccessRules(Scratch.MakeFile("plain.txt", ""));
    ASSERT_TRUE(LetEveryoneWrite(Shared));
    const std::wstring Rules = AccessRules(Shared);
    if (Rules == Plain)
    {
        GTEST_SKIP() << "a file's own rules read back as a new file's here";
    }

    EXPECT_EQ(Save(Scratch.Text() + "\\", "shared.txt", "new"), (SaveAnswer{std::string(Saved), "shared.txt", ""}));
    EXPECT_EQ(Save(Scratch.Text() + "\\", "fresh.txt", "new"), (SaveAnswer{std::string(Saved), "fresh.txt", ""}));

    EXPECT_EQ(ReadBytes(Shared), "new");
    EXPECT_EQ(AccessRules(Shared), Rules);
    EXPECT_EQ(AccessRules(Scratch / "fresh.txt"), Plain);
    EXPECT_EQ(OtherNames(Scratch.Path(), {"shared.txt", "plain.txt", "fresh.txt"}), std::vector<std::string>{});
}

// A save through a symbolic link replaces the file it leads to and leaves the link a link.
// Making a link takes developer mode (or the right to make links) on Windows; wine 8 answers
// success and makes none.
TEST_F(WindowsFiles, ASaveThroughALinkWritesTheFileItLeadsToAndKeepsTheLink)
{
    const fs::path Pointed = Scratch.MakeFile("real.txt", "old");
    const fs::path Link = Scratch / "link.txt";
    const bool Made = ::CreateSymbolicLinkW(Link.c_str(), Pointed.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
    const DWORD Attributes = ::GetFileAttributesW(Link.c_str());
    if (!Made || Attributes == INVALID_FILE_ATTRIBUTES || (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    {
        GTEST_SKIP() << "no symbolic link can be made here";
    }

    EXPECT_EQ(Save(Scratch.Text() + "\\", "link.txt", "new"), (SaveAnswer{std::string(Saved), "link.txt", ""}));

    EXPECT_EQ(ReadBytes(Pointed), "new");
    EXPECT_NE(::GetFileAttributesW(Link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0U) << "the link was replaced";
    EXPECT_EQ(OtherNames(Scratch.Path(), {"real.txt", "link.txt"}), std::vector<std::string>{});
}

// --- devices and killed saves ---------------------------------------------------------------------

namespace
{
    // A named pipe of the test's own, its server end, taking bytes up to its buffer's size.
    class PipeServer
    {
    public:
        explicit PipeServer(const std::wstring& Name)
            : Handle(::CreateNamedPipeW(Name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                        4096, 4096, 0, nullptr))
        {
        }
        PipeServer(const PipeServer&) = delete;
        auto operator=(const PipeServer&) -> PipeServer& = delete;
        ~PipeServer()
        {
            if (IsOpen())
            {
                ::CloseHandle(Handle);
            }
        }
        [[nodiscard]] auto IsOpen() const -> bool { return Handle != INVALID_HANDLE_VALUE; }
        // What a writer has put into the pipe so far, without waiting for more.
        auto Received() const -> std::string
        {
            std::string Bytes;
            DWORD Waiting = 0;
            while (::PeekNamedPipe(Handle, nullptr, 0, nullptr, &Waiting, nullptr) != 0 && Waiting > 0)
            {
                std::string Piece(Waiting, '\0');
                OVERLAPPED Request{};
                Request.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
                DWORD Read = 0;
                if ((::ReadFile(Handle, Piece.data(), Waiting, nullptr, &Request) == 0 && ::GetLastError() != ERROR_IO_PENDING) ||
                    ::GetOverlappedResult(Handle, &Request, &Read, TRUE) == 0)
                {
                    ::CloseHandle(Request.hEvent);
                    break;
                }
                ::CloseHandle(Request.hEvent);
                Bytes.append(Piece, 0, Read);
            }
            return Bytes;
        }

    private:
        HANDLE Handle;
    };
} // namespace

// A pipe is written where it is and never waited on for long: with no server the save fails at
// once, a server with room takes the text (as text mode writes it), and a server that takes
// nothing fails the save after the bounded wait. Reading a pipe answers empty text at once.
TEST_F(WindowsFiles, PipesAreWrittenInPlaceAndNeverWaitedOnForLong)
{
    struct Case
    {
        const char* Name;
        bool Server;
        size_t Bytes;
        std::string_view Reason; // empty: saved
    };
    const Case Cases[] = {
        {"no-server", false, 5, "File could not be opened"},
        {"server-with-room", true, 5, ""},
        {"server-not-reading", true, size_t{1} << 20, "File could not be written"},
    };
    for (const Case& Each : Cases)
    {
        SCOPED_TRACE(Each.Name);
        const std::string Name = "brambleon-" + std::to_string(::GetCurrentProcessId()) + "-" + Each.Name;
        const std::string Folder = R"(\\.\pipe\)";
        std::optional<PipeServer> Server;
        if (Each.Server)
        {
            Server.emplace(BrambleonTest::Utf8Path(Folder + Name).wstring());
            ASSERT_TRUE(Server->IsOpen()) << ::GetLastError();
        }
        const std::string Text = LargeText('p', Each.Bytes);
        const SaveAnswer Answer = Save(Folder, Name, Text);
        EXPECT_EQ(Answer, (SaveAnswer{std::string(Each.Reason.empty() ? Saved : Failed), Name, std::string(Each.Reason)}));
        if (Each.Reason.empty())
        {
            EXPECT_EQ(Server->Received(), std::regex_replace(Text, std::regex("\n"), "\r\n"));
        }
        EXPECT_EQ(Read(Folder + Name), "");
    }
    EXPECT_TRUE(fs::is_empty(Scratch.Path()));
}

namespace
{
    // Set in a child started by the killed-saves test: "<folder>|<event name>".
    constexpr const wchar_t* SavingChild = L"BRAMBLEON_SAVING_CHILD";

    auto ChildRole() -> std::wstring
    {
        std::wstring Value(1024, L'\0');
        const DWORD Length = ::GetEnvironmentVariableW(SavingChild, Value.data(), static_cast<DWORD>(Value.size()));
        Value.resize(Length < Value.size() ? Length : 0);
        return Value;
    }

    class Process
    {
    public:
        explicit Process(std::wstring CommandLine)
        {
            STARTUPINFOW Startup{};
            Startup.cb = sizeof(Startup);
            Started = ::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                       nullptr, &Startup, &Info) != 0;
        }
        Process(const Process&) = delete;
        auto operator=(const Process&) -> Process& = delete;
        ~Process()
        {
            if (Started)
            {
                ::TerminateProcess(Info.hProcess, 1);
                ::WaitForSingleObject(Info.hProcess, INFINITE);
                ::CloseHandle(Info.hThread);
                ::CloseHandle(Info.hProcess);
            }
        }
        [[nodiscard]] auto IsStarted() const -> bool { return Started; }
        [[nodiscard]] auto Get() const -> HANDLE { return Info.hProcess; }

    private:
        PROCESS_INFORMATION Info{};
        bool Started = false;
    };
} // namespace

// A game killed during a save: a child process of this program saves both texts in turn until
// it is ended with TerminateProcess at a random moment. The slot is always the whole old or the
// whole new text; what killed saves leave behind is named as unfinished.
TEST_F(WindowsFiles, SavesKilledAtRandomMomentsLeaveTheWholeOldOrTheWholeNewText)
{
    const std::string Old = LargeText('o', 128 * 1024);
    const std::string New = LargeText('n', 512 * 1024);
    if (const std::wstring Role = ChildRole(); !Role.empty())
    {
        const fs::path Folder = Role.substr(0, Role.find(L'|'));
        const HANDLE Ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, Role.substr(Role.find(L'|') + 1).c_str());
        ASSERT_NE(Ready, nullptr);
        ::SetEvent(Ready);
        for (bool Newer = true;; Newer = !Newer)
        {
            static_cast<void>(Save(BrambleonTest::PathUtf8(Folder) + "\\", "slot.txt", Newer ? New : Old));
        }
    }

    constexpr int Kills = 200;
    const auto Stored = [](const std::string& Text) { return std::regex_replace(Text, std::regex("\n"), "\r\n"); };
    const std::string OldStored = Stored(Old);
    const std::string NewStored = Stored(New);
    const fs::path Folder = Scratch.MakeFolder("Saves");
    const fs::path Slot = Folder / "slot.txt";
    const auto Started = std::chrono::steady_clock::now();
    ASSERT_EQ(Save(Scratch.Text("Saves") + "\\", "slot.txt", New).Status, Saved);
    const auto OneSave = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Started);

    std::wstring Self(MAX_PATH, L'\0');
    Self.resize(::GetModuleFileNameW(nullptr, Self.data(), static_cast<DWORD>(Self.size())));
    const auto* Current = testing::UnitTest::GetInstance()->current_test_info();
    const std::string Filter = std::string(Current->test_suite_name()) + "." + Current->name();
    const std::wstring CommandLine =
        L"\"" + Self + L"\" --gtest_filter=" + std::wstring(Filter.begin(), Filter.end());
    const std::wstring EventName = L"brambleon-saving-child-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE Ready = ::CreateEventW(nullptr, TRUE, FALSE, EventName.c_str());
    ASSERT_NE(Ready, nullptr);
    ::SetEnvironmentVariableW(SavingChild, (Folder.wstring() + L"|" + EventName).c_str());

    std::mt19937 Random(std::random_device{}());
    std::uniform_int_distribution<DWORD> Delay(0, static_cast<DWORD>(2 * OneSave.count() + 1));
    const std::regex TemporaryName(R"(\.unfinished-save\.slot\.txt\.[a-z0-9]{6}\.tmp)");
    int OldKept = 0;
    int NewFound = 0;
    int Torn = 0;
    int Strays = 0;
    std::chrono::steady_clock::duration Starting{};
    for (int Kill = 0; Kill < Kills; ++Kill)
    {
        BrambleonTest::WriteBytes(Slot, Old);
        ::ResetEvent(Ready);
        {
            const Process Child(CommandLine);
            ASSERT_TRUE(Child.IsStarted());
            const auto Spawned = std::chrono::steady_clock::now();
            ASSERT_EQ(::WaitForSingleObject(Ready, 60'000), WAIT_OBJECT_0) << "the saving child did not start";
            Starting += std::chrono::steady_clock::now() - Spawned;
            ::Sleep(Delay(Random));
            ::TerminateProcess(Child.Get(), 1);
            ::WaitForSingleObject(Child.Get(), INFINITE);
        }
        // The slot as the test wrote it, or either text as a save stores it (LF as CR LF).
        const std::string Found = ReadBytes(Slot);
        const bool IsOld = Found == Old || Found == OldStored;
        OldKept += static_cast<int>(IsOld);
        NewFound += static_cast<int>(Found == NewStored);
        Torn += static_cast<int>(!IsOld && Found != NewStored);
        for (const std::string& Stray : OtherNames(Folder, {"slot.txt"}))
        {
            EXPECT_TRUE(std::regex_match(Stray, TemporaryName)) << Stray;
            fs::remove(Folder / Stray);
            ++Strays;
        }
    }
    ::SetEnvironmentVariableW(SavingChild, nullptr);
    ::CloseHandle(Ready);
    std::cout << "children start in " << std::chrono::duration_cast<std::chrono::milliseconds>(Starting).count() / Kills
              << " ms; ";
    std::cout << Kills << " kills (one save " << OneSave.count() << " ms): " << OldKept << " old, " << NewFound
              << " new, " << Torn << " torn; " << Strays << " temporaries left behind\n";
    EXPECT_EQ(Torn, 0);
    EXPECT_EQ(OldKept + NewFound, Kills);
}
