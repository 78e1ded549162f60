// The fixture of every mod test: a fresh simulated engine with its log captured, the Blueprint
// half built from Blueprint options, and the built mod loaded as the host loads it. Tests set
// the options, then Start() (the engine-initialised callback) and drive ticks and calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <DynamicOutput/OutputDevice.hpp>
#include <Sim/Engine.hpp>
#include <String/StringType.hpp>
#include <VEXA_Anim_Core.hpp>
#include <VEXA_Core.hpp>

#include "blueprint_half.hpp"

namespace BrambleonTest
{
    using BlueprintHalf::Library;
    using RC::Sim::Engine;
    using RC::Sim::LoadedMod;
    using RC::Sim::ParamBlock;

    // UTF-16 to UTF-8 written independently of the mod's conversions, so that a fault there
    // cannot cancel out in the tests. Lone surrogates become U+FFFD.
    auto ToUtf8(RC::StringViewType Text) -> std::string;
    // And back; the text must be valid UTF-8.
    auto FromUtf8(std::string_view Text) -> RC::StringType;

    // One captured log line: its text as UTF-8 without the trailing newline, its level, and
    // whether that newline was there.
    struct Line
    {
        std::string Text;
        int32_t Level = 1;
        bool Newline = true;

        friend auto operator==(const Line&, const Line&) -> bool = default;
        friend auto operator<<(std::ostream& Out, const Line& Shown) -> std::ostream&;
    };

    // A level-1 line with a newline: how the mod reports its own work.
    auto Normal(std::string Text) -> Line;

    // A log device that throws std::runtime_error(What) on its first line and forwards every later
    // line to Next: forces a failure inside a handler or tick callback through the host.
    class ThrowOnFirstLine : public RC::Output::OutputDevice
    {
    public:
        ThrowOnFirstLine(const RC::Output::OutputDevice& Next, std::string What);
        [[nodiscard]] auto has_optional_arg() const -> bool override { return true; }
        auto receive(RC::StringViewType Text) const -> void override;
        auto receive_with_optional_arg(RC::StringViewType Text, int32_t Level) const -> void override;

    private:
        const RC::Output::OutputDevice& Next;
        std::string What;
        mutable bool Thrown = false;
    };

    // Replaces the host's default log devices for one scope and puts the old ones back after.
    class ScopedLogDevices
    {
    public:
        explicit ScopedLogDevices(std::vector<std::unique_ptr<RC::Output::OutputDevice>> Replacement);
        ScopedLogDevices(const ScopedLogDevices&) = delete;
        auto operator=(const ScopedLogDevices&) -> ScopedLogDevices& = delete;
        ~ScopedLogDevices();

    private:
        std::vector<std::unique_ptr<RC::Output::OutputDevice>> Saved;
    };

    class ModTest : public ::testing::Test
    {
    protected:
        void SetUp() override;
        void TearDown() override;

        // Builds the Blueprint half from Blueprint (unless built already) and runs the engine-
        // initialised callback.
        auto Start() -> void;
        // Builds the half now, e.g. to add objects or tables before Start().
        auto BuildHalf() -> const BlueprintHalf::Half&;

        // --- ticks ----------------------------------------------------------------------------
        auto Tick(float DeltaSeconds) -> void;
        // Ticks at Delta until Done() holds (checked before each tick) or MaxTicks passed.
        auto TickUntil(const std::function<bool()>& Done, int MaxTicks, float DeltaSeconds = 0.1f) -> bool;
        // Ticks until every discovery callback has removed itself.
        auto TickUntilDiscovered(int MaxTicks = 200, float DeltaSeconds = 0.1f) -> bool;
        // Start(), then TickUntilDiscovered(); fails the test when discovery does not finish.
        auto StartAndDiscover() -> void;

        // --- calls ----------------------------------------------------------------------------
        [[nodiscard]] auto LibraryFunction(Library Which, RC::StringViewType Name) const -> RC::Unreal::UFunction*;
        // A parameter block of the library function (throws when it is not declared).
        [[nodiscard]] auto Params(Library Which, RC::StringViewType Name) const -> std::unique_ptr<ParamBlock>;
        auto Call(RC::Unreal::UObject* Context, ParamBlock& Block) -> void;
        auto CallLibrary(Library Which, ParamBlock& Block) -> void;
        // Calls a library function whose one FString parameter is Param, set to Text, and returns
        // that parameter after the call.
        auto CallWithText(Library Which, RC::StringViewType Name, RC::StringViewType Param, RC::StringViewType Text)
            -> RC::StringType;
        // A Blueprint call of the core's VEXA_CPP_SendToUE4SSLog with Text.
        auto SendToUE4SSLog(RC::StringViewType Text) -> void;

        // --- log ------------------------------------------------------------------------------
        [[nodiscard]] auto RawLog() const -> const std::vector<RC::Sim::LogLine>&;
        [[nodiscard]] auto Lines() const -> std::vector<Line>;
        [[nodiscard]] auto Texts() const -> std::vector<std::string>;
        auto ClearLog() -> void;
        [[nodiscard]] auto Capture() -> RC::Sim::CaptureDevice& { return *Log; }

        // --- the mod's services, through its exported accessors -------------------------------
        // Fields only: the member functions live in the mod and are not visible here.
        [[nodiscard]] auto Core() const -> VEXA::VEXA_Core&;
        [[nodiscard]] auto Anim() const -> VEXA_Anim::VEXA_Anim_Core&;
        template <typename Signature>
        [[nodiscard]] auto Export(const char* Name) const -> Signature*
        {
            void* const Address = Mod->Symbol(Name);
            if (Address == nullptr)
            {
                throw std::runtime_error(std::string("the mod does not export ") + Name);
            }
            return reinterpret_cast<Signature*>(Address);
        }

        [[nodiscard]] auto Sim() const -> Engine& { return *SimEngine; }

        BlueprintHalf::Options Blueprint;
        std::optional<BlueprintHalf::Half> Half;
        std::unique_ptr<LoadedMod> Mod;

    private:
        Engine* SimEngine = nullptr;
        RC::Sim::CaptureDevice* Log = nullptr;
    };
} // namespace BrambleonTest
