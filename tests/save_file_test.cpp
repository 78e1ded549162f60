// The save hook of the core library over real temporary folders, called as a Blueprint calls
// it through the stand-in host: status at offset 0, file name kept at 16, reason at 32.
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/file_services_fixture.hpp"

namespace fs = std::filesystem;
using BrambleonTest::FileServicesTest;
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
