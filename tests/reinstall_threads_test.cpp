// Ctrl+R runs on the host's event-loop thread while the game thread goes on calling hooked
// functions and ticking: a thousand reinstalls race the game, and the mod still ends as after a
// first start. Meant to run under ThreadSanitizer too (preset tsan).
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/mod_fixture.hpp"

namespace BrambleonTest
{
    namespace
    {
        using ReinstallThreadsTest = ModTest;

        TEST_F(ReinstallThreadsTest, AThousandReinstallsBesideTheGameThreadEndAsAFirstStart)
        {
            // The capture device is not made for two threads; the lines do not matter here.
            std::vector<std::unique_ptr<RC::Output::OutputDevice>> Quiet;
            Quiet.push_back(RC::Sim::MakeNullDevice());
            const ScopedLogDevices Devices(std::move(Quiet));
            Sim().SetProcessEventsPerFrame(0);
            StartAndDiscover();

            std::atomic<bool> Done{false};
            std::thread EventLoop([&] {
                for (int Round = 0; Round < 1000; ++Round)
                {
                    Mod->Reinstall();
                }
                Done = true;
            });
            // The game thread: discovery ticks and Blueprint calls of hooked (or, between a
            // reinstall and the next discovery, not yet hooked) functions.
            const auto Send = Params(Library::Core, STR("VEXA_CPP_SendToUE4SSLog"));
            const auto Ask = Params(Library::Anim, STR("VEXA_Anim_CPP_GetResponse"));
            while (!Done)
            {
                Tick(0.1f);
                Send->SetString(BlueprintHalf::Param::Text, STR("game"));
                CallLibrary(Library::Core, *Send);
                Ask->SetString(BlueprintHalf::Param::Request, STR("ping"));
                CallLibrary(Library::Anim, *Ask);
            }
            EventLoop.join();

            ASSERT_TRUE(TickUntilDiscovered());
            for (const RC::CharType* Name : {STR("VEXA_CPP_SendToUE4SSLog"), STR("VEXA_CPP_SaveFile")})
            {
                EXPECT_EQ(Sim().HookCount(LibraryFunction(Library::Core, Name)), 1);
            }
            EXPECT_EQ(Sim().HookCount(LibraryFunction(Library::Anim, STR("VEXA_Anim_CPP_GetResponse"))), 1);
            EXPECT_EQ(CallWithText(Library::Anim, STR("VEXA_Anim_CPP_GetResponse"), BlueprintHalf::Param::Request,
                                   STR("ping")),
                      STR("CPPResponse"));
        }
    } // namespace
} // namespace BrambleonTest
