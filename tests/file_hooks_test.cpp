// The query hooks of the core library (list a folder, test a path, read a file) over real
// temporary folders, called as a Blueprint calls them through the stand-in host.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "bridge/text.hpp"
#include "support/child_process.hpp"
#include "support/file_services_fixture.hpp"

namespace fs = std::filesystem;
using BrambleonTest::FileServicesTest;
using BrambleonTest::WorkingDirectory;

// --- listing ------------------------------------------------------------------------------------

TEST_F(FileServicesTest, MissingAndEmptyFoldersBothListAsOneBar)
{
    Scratch.MakeFolder("empty");
    for (const std::string_view Folder : {"missing", "empty", "missing/deeper"})
    {
        EXPECT_EQ(List(Scratch.Text(Folder)), "|") << Folder;
    }
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(FileServicesTest, ListsEachEntryOnceByNameWithoutRecursing)
{
    Scratch.MakeFile("a.txt", "x");
    Scratch.MakeFolder("b");
    Scratch.MakeFile("b/inner.txt", "y");

    const std::string Joined = List(Scratch.Text());

    EXPECT_TRUE(Joined == "|a.txt|b|" || Joined == "|b|a.txt|") << Joined;
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(FileServicesTest, TrailingSeparatorListsTheSameNames)
{
    Scratch.MakeFolder("dir");
    Scratch.MakeFile("dir/one.bin", "1");

    EXPECT_EQ(List(Scratch.Text("dir")), "|one.bin|");
    EXPECT_EQ(List(Scratch.Text("dir") + "/"), "|one.bin|");
}

TEST_F(FileServicesTest, ListingAFileLogsTheErrorAndKeepsTheInput)
{
    const std::string File = Scratch.Text("plain.txt");
    Scratch.MakeFile("plain.txt", "not a folder");

    EXPECT_EQ(List(File), File);

    const auto Lines = LogLines();
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(Lines[0].starts_with("VEXA : VEXA_CPP_GetNamesFromDir failed : ")) << Lines[0];
    EXPECT_NE(Lines[0].find("directory_iterator::directory_iterator"), std::string::npos) << Lines[0];
    EXPECT_EQ(EscapedExceptions(), 0);
}

TEST_F(FileServicesTest, NonAsciiNamesListAsTheirOwnText)
{
    Scratch.MakeFolder("José");
    Scratch.MakeFile("José/ñandú €.txt", "");

    EXPECT_EQ(List(Scratch.Text("José")), "|ñandú €.txt|");
}

// --- existence ----------------------------------------------------------------------------------

TEST_F(FileServicesTest, ExistenceAnswersTrueForAnyEntryAndFalseOtherwise)
{
    Scratch.MakeFolder("folder");
    Scratch.MakeFile("file.txt", "");
    Scratch.MakeFile("empty.txt", "");
    struct Case
    {
        std::string Path;
        std::string Expected;
    };
    const std::vector<Case> Cases{
        {Scratch.Text("folder"), "true"},
        {Scratch.Text("folder") + "/", "true"},
        {Scratch.Text("file.txt"), "true"},
        {Scratch.Text("empty.txt"), "true"},
        {Scratch.Text("nothing"), "false"},
        {Scratch.Text("nothing/below"), "false"},
        {Scratch.Text("file.txt/below"), "false"},
        {"", "false"},
    };
    for (const Case& Each : Cases)
    {
        EXPECT_EQ(Exists(Each.Path), Each.Expected) << "path: " << Each.Path;
    }
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(FileServicesTest, ExistenceThatCannotBeDecidedLogsAndKeepsTheInput)
{
    if (!CanRestrictFileAccess())
    {
        GTEST_SKIP() << "permission bits cannot refuse access on this platform";
    }
    Scratch.MakeFolder("locked");
    Scratch.MakeFile("locked/inside", "");
    fs::permissions(Scratch / "locked", fs::perms::none);
    RestrictFileAccess();
    const std::string Path = Scratch.Text("locked/inside");

    EXPECT_EQ(Exists(Path), Path);

    const auto Lines = LogLines();
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(Lines[0].starts_with("VEXA : VEXA_CPP_DoesFileExist failed : ")) << Lines[0];
    EXPECT_NE(Lines[0].find("exists"), std::string::npos) << Lines[0];
    EXPECT_EQ(EscapedExceptions(), 0);
}

// --- reading ------------------------------------------------------------------------------------

TEST_F(FileServicesTest, ReadRemovesLineBreaksAndEndsAtNul)
{
    struct Case
    {
        std::string_view Name;
        std::string Bytes;
        std::string Expected;
    };
    const std::vector<Case> Cases{
        {"mixed", "ab\r\ncd\n", "abcd"},
        {"only-breaks", "\r\n\n\r\r\n", ""},
        {"lone-cr", "a\rb", "ab"},
        {"ascii", "Hello, world! 123 ~{}", "Hello, world! 123 ~{}"},
        {"holds-nul", std::string("abc\0def", 7), "abc"},
        {"utf8", "Jos\xC3\xA9\n\xE2\x82\xAC 5\r\n", "Jos\xC3\xA9\xE2\x82\xAC 5"},
        {"tabs-kept", "a\tb \n", "a\tb "},
    };
    for (const Case& Each : Cases)
    {
        const std::string Path = Scratch.Text(Each.Name);
        Scratch.MakeFile(Each.Name, Each.Bytes);
        ClearLog();

        EXPECT_EQ(Read(Path), Each.Expected) << Each.Name;
        EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Request file : " + Path}) << Each.Name;
    }
}

TEST_F(FileServicesTest, ReadOfEmptyMissingAndFolderPathsGivesEmptyTextWithItsLines)
{
    Scratch.MakeFile("empty.txt", "");
    Scratch.MakeFolder("folder");
    struct Case
    {
        std::string Path;
        bool Missing;
    };
    const std::vector<Case> Cases{
        {Scratch.Text("empty.txt"), false},
        {Scratch.Text("folder"), false},
        {Scratch.Text("missing.txt"), true},
        {"", true},
    };
    for (const Case& Each : Cases)
    {
        ClearLog();
        EXPECT_EQ(Read(Each.Path), "") << Each.Path;
        std::vector<std::string> Expected{"VEXA Request file : " + Each.Path};
        if (Each.Missing)
        {
            Expected.emplace_back("VEXA Request file does not exist");
        }
        EXPECT_EQ(LogLines(), Expected) << Each.Path;
    }
    EXPECT_EQ(EscapedExceptions(), 0);
}

TEST_F(FileServicesTest, ReadOfUnreadableFileGivesEmptyTextWithOnlyTheRequestLine)
{
    if (!CanRestrictFileAccess())
    {
        GTEST_SKIP() << "permission bits cannot refuse access on this platform";
    }
    const std::string Path = Scratch.Text("secret.txt");
    Scratch.MakeFile("secret.txt", "hidden");
    fs::permissions(Scratch / "secret.txt", fs::perms::none);
    RestrictFileAccess();

    EXPECT_EQ(Read(Path), "");
    EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Request file : " + Path});
}

TEST_F(FileServicesTest, RelativePathsResolveAgainstTheWorkingDirectory)
{
    Scratch.MakeFolder("game/Saves");
    Scratch.MakeFile("game/Saves/slot.txt", "one\ntwo");
    const WorkingDirectory Inside(Scratch / "game");

    EXPECT_EQ(List("Saves"), "|slot.txt|");
    EXPECT_EQ(List("game/Saves"), "|");
    EXPECT_EQ(Exists("Saves/slot.txt"), "true");
    EXPECT_EQ(Exists("game"), "false");
    EXPECT_EQ(Read("Saves/slot.txt"), "onetwo");
    EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Request file : Saves/slot.txt"});
}

TEST_F(FileServicesTest, LargeFileIsReadWhole)
{
    std::string Bytes;
    std::string Expected;
    for (int Line = 0; Line < 40000; ++Line)
    {
        const std::string Text = "line " + std::to_string(Line) + " \xC3\xA9";
        Bytes += Text + (Line % 2 == 0 ? "\r\n" : "\n");
        Expected += Text;
    }
    const std::string Path = Scratch.Text("large.txt");
    Scratch.MakeFile("large.txt", Bytes);

    const std::string Text = Read(Path);

    EXPECT_EQ(Text.size(), Expected.size());
    EXPECT_TRUE(Text == Expected);
}

// A file is read in chunks; a pattern nine bytes long puts its sequences, line breaks and
// malformed runs across chunk edges at every phase. The answer is what decoding the whole text
// without its line breaks gives (removing a break can join bytes into one sequence).
TEST_F(FileServicesTest, SequencesAcrossChunkEdgesReadAsTheWholeText)
{
    struct Case
    {
        std::string_view Name;
        std::string Pattern;
        size_t NulAt;
    };
    const std::vector<Case> Cases{
        {"well-formed", "a\xC3\xA9\r\n\xF0\x9F\x98\x82", std::string::npos},
        {"malformed", "b\xE2\x82\r\n\x80\x80\xFF" "c", std::string::npos},
        {"late-nul", "a\xC3\xA9\r\n\xF0\x9F\x98\x82", 300'001},
    };
    for (const Case& Each : Cases)
    {
        std::string Bytes;
        while (Bytes.size() < 1'100'000)
        {
            Bytes += Each.Pattern;
        }
        if (Each.NulAt != std::string::npos)
        {
            Bytes[Each.NulAt] = '\0';
        }
        std::string Stripped = Bytes.substr(0, Bytes.find('\0'));
        std::erase_if(Stripped, [](const char Byte) { return Byte == '\r' || Byte == '\n'; });
        const std::string Expected = BRMB::Bridge::Text::Utf16ToUtf8(BRMB::Bridge::Text::Utf8ToUtf16(Stripped));
        const std::string Path = Scratch.Text(Each.Name);
        Scratch.MakeFile(Each.Name, Bytes);

        const std::string Text = Read(Path);

        EXPECT_EQ(Text.size(), Expected.size()) << Each.Name;
        EXPECT_TRUE(Text == Expected) << Each.Name;
    }
}

TEST_F(FileServicesTest, NonAsciiPathIsReadThroughItsOwnName)
{
    Scratch.MakeFolder("José");
    const std::string Path = Scratch.Text("José/año.txt");
    Scratch.MakeFile("José/año.txt", "ñ");

    EXPECT_EQ(Read(Path), "ñ");
    EXPECT_EQ(LogLines(), std::vector<std::string>{"VEXA Request file : " + Path});
}

// A UTF-16 file is read in 64 KiB chunks: a pair whose high unit ends the first chunk (the mark
// and 32,766 units before it) reads as the one character.
TEST_F(FileServicesTest, Utf16SurrogatePairCutByTheChunkEdgeReadsWhole)
{
    std::string Bytes = "\xFF\xFE";
    for (int Unit = 0; Unit < 32766; ++Unit)
    {
        Bytes += std::string("a\0", 2);
    }
    Bytes += "\x3D\xD8\x02\xDE" + std::string("b\0", 2);
    Scratch.MakeFile("pair.txt", Bytes);

    const std::string Text = Read(Scratch.Text("pair.txt"));

    const std::string Expected = std::string(32766, 'a') + "\xF0\x9F\x98\x82" "b";
    EXPECT_EQ(Text.size(), Expected.size());
    EXPECT_TRUE(Text == Expected);
}

#ifndef _WIN32
// Only regular files are read. A FIFO (with or without a writer), a socket or a device answers
// empty text at once with only the request line, as a folder does, and still exists. Each read
// runs in a child that a read waiting on the node would keep past its time.
TEST_F(FileServicesTest, FifosSocketsAndDevicesReadAsEmptyTextAtOnceAndExist)
{
    std::vector<std::string> Names{"fifo", "fed-fifo", "socket"};
    ASSERT_EQ(::mkfifo(Scratch.Text("fifo").c_str(), 0666), 0) << std::strerror(errno);
    ASSERT_EQ(::mkfifo(Scratch.Text("fed-fifo").c_str(), 0666), 0) << std::strerror(errno);
    // A writer that has written and stays: the FIFO would deliver text and then wait for more.
    const int Writer = ::open(Scratch.Text("fed-fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(Writer, 0) << std::strerror(errno);
    ASSERT_EQ(::write(Writer, "text\n", 5), 5);
    const int Socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(Socket, 0) << std::strerror(errno);
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    const std::string SocketPath = Scratch.Text("socket");
    ASSERT_LT(SocketPath.size(), sizeof(Address.sun_path));
    std::memcpy(Address.sun_path, SocketPath.c_str(), SocketPath.size() + 1);
    ASSERT_EQ(::bind(Socket, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address)), 0) << std::strerror(errno);
    ASSERT_EQ(::listen(Socket, 1), 0);
    // A node of the endless zero device, made where replacing or reading it harms nothing.
    std::string NoDevice;
    if (::mknod(Scratch.Text("zero").c_str(), S_IFCHR | 0666, ::makedev(1, 5)) == 0)
    {
        Names.emplace_back("zero");
    }
    else
    {
        NoDevice = std::strerror(errno);
    }

    for (const std::string& Name : Names)
    {
        SCOPED_TRACE(Name);
        const std::string Path = Scratch.Text(Name);
        const std::string Said = BrambleonTest::InChild(
            [&] {
                ClearLog();
                const auto Started = std::chrono::steady_clock::now();
                const std::string Text = Read(Path);
                const auto Took = std::chrono::steady_clock::now() - Started;
                std::string Items = "text: " + Text + "\n";
                for (const std::string& Line : LogLines())
                {
                    Items += Line + "\n";
                }
                Items += "exists: " + Exists(Path) + "\n";
                std::printf("reading %s took %lld us\n", Name.c_str(),
                            static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(Took).count()));
                std::fflush(stdout);
                return Items;
            },
            10);
        EXPECT_EQ(Said, "text: \nVEXA Request file : " + Path + "\nexists: true\n");
    }
    ::close(Writer);
    ::close(Socket);
    if (!NoDevice.empty())
    {
        GTEST_SKIP() << "FIFOs and the socket checked; no device node can be made in the scratch folder: " << NoDevice;
    }
}

// A sparse file claims gigabytes but holds three letters: reading it costs memory for what it
// holds, not for the size it claims, checked in a child whose address space is limited.
TEST_F(FileServicesTest, SparseFileIsReadWithMemoryForItsTextOnly)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#else
    const std::string Path = Scratch.Text("sparse.txt");
    Scratch.MakeFile("sparse.txt", "abc");
    constexpr off_t Claimed = off_t{3} * 1024 * 1024 * 1024;
    if (::truncate(Path.c_str(), Claimed) != 0)
    {
        GTEST_SKIP() << "no 3 GiB sparse file in the scratch folder: " << std::strerror(errno);
    }
    const std::string Said = BrambleonTest::InChild([&]() -> std::string {
        constexpr rlim_t Limit = rlim_t{2} * 1024 * 1024 * 1024;
        const rlimit Bound{Limit, Limit};
        if (::setrlimit(RLIMIT_AS, &Bound) != 0)
        {
            return std::string("setrlimit: ") + std::strerror(errno);
        }
        ClearLog();
        const std::string Text = Read(Path);
        return Text + "|" + std::to_string(LogLines().size()) + "|" + std::to_string(EscapedExceptions());
    });
    EXPECT_EQ(Said, "abc|1|0");
#endif
}
#endif
