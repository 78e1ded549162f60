// Loading a mod as the host does: by path, entry points by name, and a clean unload that
// leaves no callable of the mod behind in the engine.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <Sim/Engine.hpp>

namespace
{
    using RC::Sim::Engine;
    using RC::Sim::LoadedMod;

    auto Counter(const LoadedMod& Mod, const char* Name) -> int
    {
        const auto* Value = static_cast<const int*>(Mod.Symbol(Name));
        if (Value == nullptr)
        {
            throw std::runtime_error(std::string("probe lacks ") + Name);
        }
        return *Value;
    }

    auto ErrorOf(const std::string& Path) -> std::string
    {
        try
        {
            LoadedMod Mod(Path);
        }
        catch (const std::runtime_error& Error)
        {
            return Error.what();
        }
        return "loaded";
    }

    class LoaderTest : public testing::Test
    {
    protected:
        void SetUp() override { Engine::Reset(); }
    };

    TEST_F(LoaderTest, MissingLibraryNamesThePath)
    {
        const std::string Path = std::string(PROBE_MOD_PATH) + ".absent";
        EXPECT_NE(ErrorOf(Path).find(Path), std::string::npos) << ErrorOf(Path);
    }

    TEST_F(LoaderTest, MissingEntryPointIsNamed)
    {
        const auto Error = ErrorOf(PROBE_NO_UNINSTALL_PATH);
        EXPECT_NE(Error.find("uninstall_mod"), std::string::npos) << Error;
        EXPECT_NE(Error.find(PROBE_NO_UNINSTALL_PATH), std::string::npos) << Error;
    }

    TEST_F(LoaderTest, StartsOnceAndRunsTheEngineCallbackOnce)
    {
        LoadedMod Mod(PROBE_MOD_PATH);
        ASSERT_NE(Mod.Mod(), nullptr);
        EXPECT_EQ(Counter(Mod, "ProbeStarts"), 1);
        EXPECT_EQ(Counter(Mod, "ProbeInits"), 0);

        Mod.UnrealInit();
        EXPECT_EQ(Counter(Mod, "ProbeInits"), 1);
        EXPECT_THROW(Mod.UnrealInit(), std::logic_error);
        EXPECT_EQ(Counter(Mod, "ProbeInits"), 1);

        Engine::Get().Tick(0.1F);
        EXPECT_EQ(Counter(Mod, "ProbeTicks"), 1);
    }

    TEST_F(LoaderTest, UninstallRunsOnceAndKeepsTheLibrary)
    {
        LoadedMod Mod(PROBE_MOD_PATH);
        Mod.Uninstall();
        Mod.Uninstall();
        EXPECT_EQ(Mod.Mod(), nullptr);
        EXPECT_EQ(Counter(Mod, "ProbeUninstalls"), 1);
        EXPECT_THROW(Mod.UnrealInit(), std::logic_error);
    }

    TEST_F(LoaderTest, UnloadUninstallsForgetsCallbacksAndFreesTheLibrary)
    {
        auto& Log = Engine::Get().CaptureLog();
        {
            LoadedMod Mod(PROBE_MOD_PATH);
            Mod.UnrealInit();
            ASSERT_EQ(Engine::Get().TickCallbackCount(), 1);
        }
        ASSERT_EQ(Log.Lines().size(), 1U);
        EXPECT_EQ(Log.Lines()[0].Text, STR("probe: uninstalled\n"));
        // The tick callback's code went with the library; ticking must not reach it.
        EXPECT_EQ(Engine::Get().TickCallbackCount(), 0);
        Engine::Get().Tick(0.1F);

        // A fresh load gets fresh globals: the library really was unloaded.
        LoadedMod Again(PROBE_MOD_PATH);
        EXPECT_EQ(Counter(Again, "ProbeStarts"), 1);
    }

    TEST_F(LoaderTest, CallbacksRegisteredBeforeTheModSurviveItsUnload)
    {
        int HostTicks = 0;
        RC::Unreal::Hook::RegisterEngineTickPreCallback(
            [&](RC::Unreal::Hook::TCallbackIterationData<void>&, RC::Unreal::UEngine*, float, bool) { ++HostTicks; },
            {});
        {
            LoadedMod Mod(PROBE_MOD_PATH);
            Mod.UnrealInit();
        }
        Engine::Get().Tick(0.1F);
        EXPECT_EQ(HostTicks, 1);
        EXPECT_EQ(Engine::Get().TickCallbackCount(), 1);
    }
} // namespace
