// The save hook of the core library over real temporary folders, called as a Blueprint calls
// it through the stand-in host: status at offset 0, file name kept at 16, reason at 32.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "support/child_process.hpp"
#include "support/file_services_fixture.hpp"

namespace fs = std::filesystem;
using BrambleonTest::FileServicesTest;
using BrambleonTest::LargeText;
using BrambleonTest::OtherNames;
using BrambleonTest::ReadBytes;
using BrambleonTest::SaveAnswer;
using BrambleonTest::WorkingDirectory;

namespace
{
    const std::string Success = "::FileSaveSuccess::";
    const std::string Failed = "::FileSaveFailed::";

#ifdef _WIN32
    const std::string LineEnd = "\r\n";
#else
    const std::string LineEnd = "\n";
#endif
} // namespace

TEST_F(FileServicesTest, SaveIntoFolderWithTrailingSeparatorCreatesItAndWritesInside)
{
    const std::string Folder = Scratch.Text("Saves") + "/";

    const SaveAnswer Answer = Save(Folder, "slot.txt", "progress");

    EXPECT_EQ(Answer, (SaveAnswer{Success, "slot.txt", ""}));
    EXPECT_TRUE(fs::is_directory(Scratch / "Saves"));
    EXPECT_EQ(ReadBytes(Scratch / "Saves/slot.txt"), "progress");
    EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Saving file : " + Folder + "slot.txt"});
}

TEST_F(FileServicesTest, SaveWithoutSeparatorWritesBesideTheCreatedFolder)
{
    Scratch.MakeFolder("Saves");
    const std::string Folder = Scratch.Text("Saves/slot");

    const SaveAnswer Answer = Save(Folder, "1.txt", "data");

    EXPECT_EQ(Answer, (SaveAnswer{Success, "1.txt", ""}));
    EXPECT_TRUE(fs::is_directory(Scratch / "Saves/slot"));
    EXPECT_TRUE(fs::is_empty(Scratch / "Saves/slot"));
    EXPECT_EQ(ReadBytes(Scratch / "Saves/slot1.txt"), "data");
    EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Saving file : " + Folder + "1.txt"});
}

TEST_F(FileServicesTest, EmptyInputsAnswerFailureAndTouchNothing)
{
    struct Case
    {
        std::string Folder;
        std::string Name;
        std::string Reason;
    };
    const std::vector<Case> Cases{
        {"", "file.txt", "Path was empty"},
        {"Saves/", "", "FileName was empty"},
        {"", "", "Path was empty"},
    };
    const WorkingDirectory Inside(Scratch.Path());
    for (const Case& Each : Cases)
    {
        ClearLog();
        EXPECT_EQ(Save(Each.Folder, Each.Name, "text"), (SaveAnswer{Failed, Each.Name, Each.Reason}))
            << Each.Folder << "+" << Each.Name;
        EXPECT_EQ(LogLines(), (std::vector<std::string>{"VEXA Saving file : " + Each.Folder + Each.Name,
                                                        "Saving File Failed"}));
    }
    EXPECT_TRUE(fs::is_empty(Scratch.Path()));
}

TEST_F(FileServicesTest, MissingParentAnswersFolderFailureAndCreatesNothing)
{
    const std::string Folder = Scratch.Text("no/such/");

    const SaveAnswer Answer = Save(Folder, "x.txt", "text");

    EXPECT_EQ(Answer, (SaveAnswer{Failed, "x.txt", "Folder could not be created"}));
    EXPECT_TRUE(fs::is_empty(Scratch.Path()));
    const auto Lines = LogLines();
    ASSERT_EQ(Lines.size(), 3u);
    EXPECT_EQ(Lines[0], "VEXA Saving file : " + Folder + "x.txt");
    EXPECT_EQ(Lines[1], "Saving File Failed");
    EXPECT_EQ(Lines[2], "VEXA : VEXA_CPP_SaveFile failed : " +
                            std::make_error_code(std::errc::no_such_file_or_directory).message());
    EXPECT_EQ(EscapedExceptions(), 0);
}

TEST_F(FileServicesTest, FolderPathNamingAFileWritesBesideItAndKeepsTheFile)
{
    Scratch.MakeFile("taken", "old");

    const SaveAnswer Beside = Save(Scratch.Text("taken"), ".bak", "copy");
    EXPECT_EQ(Beside, (SaveAnswer{Success, ".bak", ""}));
    EXPECT_EQ(ReadBytes(Scratch / "taken.bak"), "copy");

    // With a separator the file would have to lie inside the file: a failure, never a success.
    const SaveAnswer Inside = Save(Scratch.Text("taken") + "/", "x.txt", "new");
    EXPECT_EQ(Inside.Status, Failed);
    EXPECT_NE(Inside.Reason, "");
    EXPECT_EQ(ReadBytes(Scratch / "taken"), "old");
    EXPECT_TRUE(fs::is_regular_file(Scratch / "taken"));
}

TEST_F(FileServicesTest, OverwriteReplacesTheWholeFile)
{
    Scratch.MakeFile("slot.txt", "a much longer old content\nwith two lines\n");

    EXPECT_EQ(Save(Scratch.Text() + "/", "slot.txt", "new").Status, Success);

    EXPECT_EQ(ReadBytes(Scratch / "slot.txt"), "new");
}

TEST_F(FileServicesTest, EmptyTextLeavesAnEmptyFile)
{
    Scratch.MakeFile("slot.txt", "old");

    EXPECT_EQ(Save(Scratch.Text() + "/", "slot.txt", ""), (SaveAnswer{Success, "slot.txt", ""}));
    EXPECT_EQ(Save(Scratch.Text() + "/", "fresh.txt", ""), (SaveAnswer{Success, "fresh.txt", ""}));

    EXPECT_TRUE(fs::exists(Scratch / "fresh.txt"));
    EXPECT_EQ(fs::file_size(Scratch / "slot.txt"), 0u);
    EXPECT_EQ(fs::file_size(Scratch / "fresh.txt"), 0u);
}

TEST_F(FileServicesTest, TextIsWrittenAsUtf8WithPlatformLineEnds)
{
    EXPECT_EQ(Save(Scratch.Text() + "/", "t.txt", "a\nJosé €\n😀").Status, Success);

    EXPECT_EQ(ReadBytes(Scratch / "t.txt"), "a" + LineEnd + "Jos\xC3\xA9 \xE2\x82\xAC" + LineEnd + "\xF0\x9F\x98\x80");
}

TEST_F(FileServicesTest, SaveThenReadRoundTripsWithoutLineBreaks)
{
    const std::string Folder = Scratch.Text("Round") + "/";
    ASSERT_EQ(Save(Folder, "trip.txt", "first\nsecond\r\nJosé ñ € 😀\n").Status, Success);

    EXPECT_EQ(Read(Folder + "trip.txt"), "firstsecondJosé ñ € 😀");
}

TEST_F(FileServicesTest, NonAsciiFolderIsCreatedListedAndReadBack)
{
    const std::string Folder = Scratch.Text("Usuarios/José") + "/";
    Scratch.MakeFolder("Usuarios");

    ASSERT_EQ(Save(Folder, "año.txt", "ñ").Status, Success);

    EXPECT_TRUE(fs::is_directory(Scratch / "Usuarios/José"));
    EXPECT_EQ(List(Folder), "|año.txt|");
    EXPECT_EQ(Read(Folder + "año.txt"), "ñ");
}

TEST_F(FileServicesTest, RelativeFolderIsCreatedInTheWorkingDirectory)
{
    Scratch.MakeFolder("game");
    const WorkingDirectory Inside(Scratch / "game");

    EXPECT_EQ(Save("Saves/", "slot.txt", "x").Status, Success);

    EXPECT_EQ(ReadBytes(Scratch / "game/Saves/slot.txt"), "x");
    EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Saving file : Saves/slot.txt"});
}

TEST_F(FileServicesTest, UnwritableTargetAnswersFailureAndKeepsTheOldFile)
{
    if (!CanRestrictFileAccess())
    {
        GTEST_SKIP() << "permission bits cannot refuse access on this platform";
    }
    Scratch.MakeFolder("Saves");
    Scratch.MakeFile("Saves/slot.txt", "old save");
    fs::permissions(Scratch / "Saves/slot.txt",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    RestrictFileAccess();
    const std::string Folder = Scratch.Text("Saves") + "/";

    const SaveAnswer Answer = Save(Folder, "slot.txt", "new save");

    EXPECT_EQ(Answer, (SaveAnswer{Failed, "slot.txt", "File could not be opened"}));
    EXPECT_EQ(ReadBytes(Scratch / "Saves/slot.txt"), "old save");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "VEXA Saving file : " + Folder + "slot.txt",
                              "Saving File Failed",
                              "VEXA : VEXA_CPP_SaveFile failed : " +
                                  std::make_error_code(std::errc::permission_denied).message(),
                          }));
}

TEST_F(FileServicesTest, FolderThatCannotBeCreatedAnswersFailure)
{
    if (!CanRestrictFileAccess())
    {
        GTEST_SKIP() << "permission bits cannot refuse access on this platform";
    }
    Scratch.MakeFolder("readonly");
    fs::permissions(Scratch / "readonly", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                              fs::perms::group_exec | fs::perms::others_read |
                                              fs::perms::others_exec);
    RestrictFileAccess();

    const SaveAnswer Answer = Save(Scratch.Text("readonly/Saves/"), "slot.txt", "x");

    EXPECT_EQ(Answer, (SaveAnswer{Failed, "slot.txt", "Folder could not be created"}));
    EXPECT_TRUE(fs::is_empty(Scratch / "readonly"));
    const auto Lines = LogLines();
    ASSERT_EQ(Lines.size(), 3u);
    EXPECT_EQ(Lines[2], "VEXA : VEXA_CPP_SaveFile failed : " +
                            std::make_error_code(std::errc::permission_denied).message());
}

// What POSIX systems have: links any user can make, permission bits, device nodes, FIFOs and
// fork. Links and access rules on Windows are cases of windows_files_test.cpp.
#ifndef _WIN32
TEST_F(FileServicesTest, ReplacedTargetKeepsItsLinkAndPermissionBitsAndNoTemporaryStays)
{
    Scratch.MakeFolder("Saves");
    Scratch.MakeFolder("Elsewhere");
    const fs::path Kept = Scratch.MakeFile("Saves/kept.txt", "old");
    fs::permissions(Kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path Pointed = Scratch.MakeFile("Elsewhere/real.txt", "old");
    fs::create_symlink(Pointed, Scratch / "Saves/link.txt");
    // A relative link leads from the link's own folder, not from the working directory.
    const fs::path Relative = Scratch.MakeFile("Elsewhere/relative.txt", "old");
    fs::create_symlink("../Elsewhere/relative.txt", Scratch / "Saves/relative.txt");
    const std::string Folder = Scratch.Text("Saves") + "/";

    for (const char* Name : {"kept.txt", "link.txt", "relative.txt", "fresh.txt"})
    {
        EXPECT_EQ(Save(Folder, Name, "new"), (SaveAnswer{Success, Name, ""}));
    }

    EXPECT_EQ(ReadBytes(Kept), "new");
    EXPECT_EQ(fs::status(Kept).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::is_symlink(Scratch / "Saves/link.txt"));
    EXPECT_EQ(ReadBytes(Pointed), "new");
    EXPECT_TRUE(fs::is_symlink(Scratch / "Saves/relative.txt"));
    EXPECT_EQ(ReadBytes(Relative), "new");
    // A new file has what a plain create gives it.
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    EXPECT_EQ(fs::status(Scratch / "Saves/fresh.txt").permissions(), static_cast<fs::perms>(0666 & ~Mask));
    EXPECT_EQ(OtherNames(Scratch / "Saves", {"kept.txt", "link.txt", "relative.txt", "fresh.txt"}),
              std::vector<std::string>{});
    EXPECT_EQ(OtherNames(Scratch / "Elsewhere", {"real.txt", "relative.txt"}), std::vector<std::string>{});
}

using BrambleonTest::InChild;

namespace
{
    const std::regex TemporaryName(R"(\.unfinished-save\.slot\.txt\.[a-z0-9]{6}\.tmp)");
} // namespace

// A device is written where it is, never replaced by a file, and a full one fails the save. The
// device is a node of the scratch folder's own: replacing it, should the device check break,
// harms nothing beyond the test.
TEST_F(FileServicesTest, FullDeviceAnswersWriteFailureAndStaysADevice)
{
    if (::mknod((Scratch / "slot.txt").c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0)
    {
        GTEST_SKIP() << "no device node can be made in the scratch folder: " << std::strerror(errno);
    }
    const std::string Folder = Scratch.Text() + "/";
    for (const size_t Bytes : {size_t{5}, size_t{64} * 1024})
    {
        SCOPED_TRACE(std::to_string(Bytes) + " bytes");
        ClearLog();
        EXPECT_EQ(Save(Folder, "slot.txt", LargeText('n', Bytes)),
                  (SaveAnswer{Failed, "slot.txt", "File could not be written"}));
        EXPECT_EQ(LogLines(), (std::vector<std::string>{
                                  "VEXA Saving file : " + Folder + "slot.txt",
                                  "Saving File Failed",
                                  "VEXA : VEXA_CPP_SaveFile failed : " +
                                      std::make_error_code(std::errc::no_space_on_device).message(),
                              }));
        EXPECT_TRUE(fs::is_character_file(Scratch / "slot.txt"));
    }
    EXPECT_EQ(OtherNames(Scratch.Path(), {"slot.txt"}), std::vector<std::string>{});
}

// A FIFO is written where it is and never waited on for long: with no reader the save is
// refused at once; a reader that takes nothing fails it after the bounded wait; a reader with
// room takes the text. Each save runs in a child that a save waiting on the FIFO would keep past
// its time.
TEST_F(FileServicesTest, FifoSavesNeverWaitForAReaderThatDoesNotRead)
{
    struct Case
    {
        const char* Name;
        bool Reader;
        size_t Bytes;
        std::string Reason; // empty: saved
        std::errc Error;
    };
    const std::vector<Case> Cases{
        {"no-reader", false, 5, "File could not be opened", std::errc::no_such_device_or_address},
        {"reader-not-reading", true, size_t{1} << 20, "File could not be written", std::errc::timed_out},
        {"reader-with-room", true, 5, "", std::errc{}},
    };
    const std::string Folder = Scratch.Text() + "/";
    for (const Case& Each : Cases)
    {
        SCOPED_TRACE(Each.Name);
        ASSERT_EQ(::mkfifo((Scratch / Each.Name).c_str(), 0666), 0) << std::strerror(errno);
        const int Reader = Each.Reader ? ::open((Scratch / Each.Name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        const std::string Text = LargeText('f', Each.Bytes);
        const std::string Said = InChild(
            [&] {
                ClearLog();
                const SaveAnswer Answer = Save(Folder, Each.Name, Text);
                std::string Items = Answer.Status + "|" + Answer.Reason + "\n";
                for (const std::string& Line : LogLines())
                {
                    Items += Line + "\n";
                }
                return Items;
            },
            10);
        std::string Expected = (Each.Reason.empty() ? Success : Failed) + "|" + Each.Reason + "\n" +
                               "VEXA Saving file : " + Folder + Each.Name + "\n";
        if (!Each.Reason.empty())
        {
            Expected += "Saving File Failed\nVEXA : VEXA_CPP_SaveFile failed : " +
                        std::make_error_code(Each.Error).message() + "\n";
        }
        EXPECT_EQ(Said, Expected);
        EXPECT_EQ(fs::status(Scratch / Each.Name).type(), fs::file_type::fifo);
        if (Reader >= 0)
        {
            std::string Received(Text.size() + 1, '\0');
            const ssize_t Read = ::read(Reader, Received.data(), Received.size());
            if (Each.Reason.empty())
            {
                EXPECT_EQ(Received.substr(0, static_cast<size_t>(std::max<ssize_t>(Read, 0))), Text);
            }
            ::close(Reader);
        }
    }
    EXPECT_EQ(OtherNames(Scratch.Path(), {"no-reader", "reader-not-reading", "reader-with-room"}),
              std::vector<std::string>{});
}

// A write that fails part-way, in a child process: with the file size limited, or on a small
// file system that fills up. The old save stays whole and the temporary goes.
TEST_F(FileServicesTest, WriteFailingPartWayKeepsTheOldSave)
{
    struct Fault
    {
        const char* Name;
        // Run in the child before the save; an error text means the fault cannot be made here.
        std::function<std::string(const fs::path& Folder)> Make;
    };
    const std::string Old = LargeText('o', 4096);
    const Fault Faults[] = {
        {"file size limit",
         [](const fs::path&) -> std::string {
             ::signal(SIGXFSZ, SIG_IGN);
             const rlimit Limit{16 * 1024, 16 * 1024};
             return ::setrlimit(RLIMIT_FSIZE, &Limit) == 0 ? "" : std::string("setrlimit: ") + std::strerror(errno);
         }},
        {"full file system",
         [&Old](const fs::path& Folder) -> std::string {
             // A private mount namespace: the small file system is gone with the child.
             if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                 ::mount("brambleon-full", Folder.c_str(), "tmpfs", 0, "size=32k") != 0)
             {
                 return std::string("mounting is not allowed here: ") + std::strerror(errno);
             }
             BrambleonTest::WriteBytes(Folder / "slot.txt", Old);
             // Fill what is left, so that the new text meets a full disk part-way.
             std::ofstream Filler(Folder / "filler", std::ios::binary);
             const std::string Block(1024, 'f');
             while (Filler.write(Block.data(), static_cast<std::streamsize>(Block.size())) && Filler.flush())
             {
             }
             return "";
         }},
    };
    std::vector<std::string> Skipped;
    for (const Fault& Each : Faults)
    {
        SCOPED_TRACE(Each.Name);
        const fs::path Folder = Scratch.MakeFolder(Each.Name);
        Scratch.MakeFile(std::string(Each.Name) + "/slot.txt", Old);
        const std::string Said = InChild([&]() -> std::string {
            if (std::string Refused = Each.Make(Folder); !Refused.empty())
            {
                return "skip: " + Refused;
            }
            ClearLog();
            const SaveAnswer Answer = Save(BrambleonTest::PathUtf8(Folder) + "/", "slot.txt", LargeText('n', 64 * 1024));
            // What the child sees inside its own mount, one item a line.
            std::string Items = Answer.Status + "\n" + Answer.Reason + "\n";
            Items += ReadBytes(Folder / "slot.txt") == Old ? "old kept\n" : "old lost\n";
            Items += std::to_string(OtherNames(Folder, {"slot.txt", "filler"}).size()) + " left behind\n";
            for (const std::string& Line : LogLines())
            {
                Items += Line + "\n";
            }
            return Items;
        });
        if (Said.starts_with("skip: "))
        {
            Skipped.push_back(std::string(Each.Name) + ": " + Said.substr(6));
            continue;
        }
        std::vector<std::string> Items;
        for (size_t Start = 0, End = 0; (End = Said.find('\n', Start)) != std::string::npos; Start = End + 1)
        {
            Items.push_back(Said.substr(Start, End - Start));
        }
        ASSERT_EQ(Items.size(), 7u) << Said;
        EXPECT_EQ(std::vector<std::string>(Items.begin(), Items.begin() + 6),
                  (std::vector<std::string>{Failed, "File could not be written", "old kept", "0 left behind",
                                            "VEXA Saving file : " + BrambleonTest::PathUtf8(Folder) + "/slot.txt",
                                            "Saving File Failed"}));
        EXPECT_TRUE(Items[6].starts_with("VEXA : VEXA_CPP_SaveFile failed : ")) << Items[6];
        EXPECT_TRUE(ReadBytes(Folder / "slot.txt") == Old) << "the old save was changed";
    }
    if (!Skipped.empty())
    {
        GTEST_SKIP() << Skipped.front() << (Skipped.size() > 1 ? " (and more)" : "");
    }
}

// A game killed during a save, many times at random moments: the slot always holds the whole
// old or the whole new text, and what killed saves leave behind is named as unfinished.
TEST_F(FileServicesTest, SavesKilledAtRandomMomentsLeaveTheWholeOldOrTheWholeNewText)
{
    constexpr int Kills = 200;
    const std::string Old = LargeText('o', 128 * 1024);
    const std::string New = LargeText('n', 512 * 1024);
    const std::string Folder = Scratch.Text("Saves") + "/";
    Scratch.MakeFolder("Saves");
    const fs::path Slot = Scratch / "Saves/slot.txt";

    // A child that saves both texts in turn until it is killed.
    const auto StartSaving = [&] {
        const pid_t Child = ::fork();
        if (Child == 0)
        {
            for (bool Newer = true;; Newer = !Newer)
            {
                static_cast<void>(Save(Folder, "slot.txt", Newer ? New : Old));
            }
        }
        return Child;
    };
    // How long one save takes here, so that the kills spread over several saves.
    const auto Started = std::chrono::steady_clock::now();
    ASSERT_EQ(Save(Folder, "slot.txt", New).Status, Success);
    const auto OneSave = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - Started);

    std::mt19937 Random(std::random_device{}());
    std::uniform_int_distribution<long> Delay(0, 2 * OneSave.count() + 500);
    int OldKept = 0;
    int NewFound = 0;
    int Torn = 0;
    int Strays = 0;
    for (int Kill = 0; Kill < Kills; ++Kill)
    {
        BrambleonTest::WriteBytes(Slot, Old);
        const pid_t Child = StartSaving();
        ASSERT_GT(Child, 0);
        ::usleep(static_cast<useconds_t>(Delay(Random)));
        ::kill(Child, SIGKILL);
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        ASSERT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGKILL);

        const std::string Found = ReadBytes(Slot);
        OldKept += static_cast<int>(Found == Old);
        NewFound += static_cast<int>(Found == New);
        Torn += static_cast<int>(Found != Old && Found != New);
        for (const std::string& Stray : OtherNames(Scratch / "Saves", {"slot.txt"}))
        {
            EXPECT_TRUE(std::regex_match(Stray, TemporaryName)) << Stray;
            fs::remove(Scratch / "Saves" / Stray);
            ++Strays;
        }
    }
    std::cout << Kills << " kills (one save " << OneSave.count() << " us): " << OldKept << " old, " << NewFound
              << " new, " << Torn << " torn; " << Strays << " temporaries left behind\n";
    EXPECT_EQ(Torn, 0);
    EXPECT_EQ(OldKept + NewFound, Kills);
}
#endif
