// Blueprint calls under restricted file access: permissions that deny access hold even for a
// privileged test process, and only inside the call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <Sim/Engine.hpp>

#include "support/scratch_folder.hpp"

#if !defined(_WIN32)
#  include <unistd.h>
#endif

namespace
{
    using namespace RC::Sim;
    namespace fs = std::filesystem;

    class FileAccessTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            Sim = &Engine::Reset();
            Locked = Scratch.Path() / "locked.txt";
            std::ofstream(Locked) << "secret";
            fs::permissions(Locked, fs::perms::none);
            UClass* Library = Sim->CreateClass(STR("/Game/Mods/Test/Files.Files_C"));
            Function = Sim->AddFunction(Library, STR("Test_CPP_Read"), {}, [this](UObject*, uint8_t*) {
                ReadInCall = std::ifstream(Locked).is_open();
            });
        }
        void TearDown() override
        {
            fs::permissions(Locked, fs::perms::owner_all);
        }

        auto ReadThroughCall() -> bool
        {
            ParamBlock Params(Function);
            Sim->Call(nullptr, Function, Params);
            return ReadInCall;
        }

        BrambleonTest::ScratchFolder Scratch;
        Engine* Sim = nullptr;
        UFunction* Function = nullptr;
        fs::path Locked;
        bool ReadInCall = false;
    };

    TEST_F(FileAccessTest, DeniedFilesAreRefusedInsideRestrictedCallsOnly)
    {
#if defined(_WIN32)
        GTEST_SKIP() << "Windows denies access with read-only attributes instead";
#else
        if (::geteuid() != 0)
        {
            // Unprivileged runs honour the permissions anyway.
            EXPECT_FALSE(ReadThroughCall());
            return;
        }
        EXPECT_TRUE(ReadThroughCall()); // root reads anything
        Sim->GetFaults().RestrictFileAccess = true;
        EXPECT_FALSE(ReadThroughCall());
        EXPECT_TRUE(std::ifstream(Locked).is_open()); // the identity is back after the call
#endif
    }
} // namespace
