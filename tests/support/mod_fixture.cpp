// The shared fixture of the mod tests.
#include "support/mod_fixture.hpp"

#include <utility>

#include <DynamicOutput/Output.hpp>

namespace BrambleonTest
{
    auto ToUtf8(RC::StringViewType Text) -> std::string
    {
        std::string Out;
        for (size_t Index = 0; Index < Text.size(); ++Index)
        {
            uint32_t Code = static_cast<uint16_t>(Text[Index]);
            if (Code >= 0xD800 && Code < 0xDC00 && Index + 1 < Text.size() &&
                static_cast<uint16_t>(Text[Index + 1]) >= 0xDC00 && static_cast<uint16_t>(Text[Index + 1]) < 0xE000)
            {
                Code = 0x10000 + ((Code - 0xD800) << 10) + (static_cast<uint16_t>(Text[++Index]) - 0xDC00);
            }
            else if (Code >= 0xD800 && Code < 0xE000)
            {
                Code = 0xFFFD;
            }
            if (Code < 0x80)
            {
                Out += static_cast<char>(Code);
            }
            else if (Code < 0x800)
            {
                Out += static_cast<char>(0xC0 | (Code >> 6));
                Out += static_cast<char>(0x80 | (Code & 0x3F));
            }
            else if (Code < 0x10000)
            {
                Out += static_cast<char>(0xE0 | (Code >> 12));
                Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
                Out += static_cast<char>(0x80 | (Code & 0x3F));
            }
            else
            {
                Out += static_cast<char>(0xF0 | (Code >> 18));
                Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
                Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
                Out += static_cast<char>(0x80 | (Code & 0x3F));
            }
        }
        return Out;
    }

    auto FromUtf8(std::string_view Text) -> RC::StringType
    {
        RC::StringType Out;
        for (size_t Index = 0; Index < Text.size();)
        {
            const auto Lead = static_cast<unsigned char>(Text[Index]);
            const int Length = Lead < 0x80 ? 1 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : 4;
            uint32_t Code = Length == 1 ? Lead : Length == 2 ? Lead & 0x1F : Length == 3 ? Lead & 0x0F : Lead & 0x07;
            for (int Trail = 1; Trail < Length && Index + static_cast<size_t>(Trail) < Text.size(); ++Trail)
            {
                Code = (Code << 6) | (static_cast<unsigned char>(Text[Index + static_cast<size_t>(Trail)]) & 0x3F);
            }
            Index += static_cast<size_t>(Length);
            if (Code >= 0x10000)
            {
                Out += static_cast<RC::CharType>(0xD800 + ((Code - 0x10000) >> 10));
                Out += static_cast<RC::CharType>(0xDC00 + ((Code - 0x10000) & 0x3FF));
            }
            else
            {
                Out += static_cast<RC::CharType>(Code);
            }
        }
        return Out;
    }

    auto operator<<(std::ostream& Out, const Line& Shown) -> std::ostream&
    {
        return Out << '"' << Shown.Text << "\" level " << Shown.Level << (Shown.Newline ? " +newline" : " no newline");
    }

    auto Normal(std::string Text) -> Line
    {
        return Line{std::move(Text), 1, true};
    }

    ThrowOnFirstLine::ThrowOnFirstLine(const RC::Output::OutputDevice& NextDevice, std::string Message)
        : Next(NextDevice), What(std::move(Message))
    {
    }

    auto ThrowOnFirstLine::receive(RC::StringViewType Text) const -> void
    {
        receive_with_optional_arg(Text, 0);
    }

    auto ThrowOnFirstLine::receive_with_optional_arg(RC::StringViewType Text, int32_t Level) const -> void
    {
        if (!Thrown)
        {
            Thrown = true;
            throw std::runtime_error(What);
        }
        Next.receive_with_optional_arg(Text, Level);
    }

    ScopedLogDevices::ScopedLogDevices(std::vector<std::unique_ptr<RC::Output::OutputDevice>> Replacement)
        : Saved(std::exchange(RC::Output::DefaultTargets::get_default_devices_ref(), std::move(Replacement)))
    {
    }

    ScopedLogDevices::~ScopedLogDevices()
    {
        RC::Output::DefaultTargets::get_default_devices_ref() = std::move(Saved);
    }

    void ModTest::SetUp()
    {
        SimEngine = &Engine::Reset();
        Log = &SimEngine->CaptureLog();
        Mod = std::make_unique<LoadedMod>(BRAMBLEON_MOD_PATH);
    }

    void ModTest::TearDown()
    {
        // Nothing of the mod may stay registered once uninstall_mod returns.
        if (Mod)
        {
            EXPECT_NO_THROW(Mod->Uninstall());
        }
        Mod.reset();
    }

    auto ModTest::BuildHalf() -> const BlueprintHalf::Half&
    {
        if (!Half)
        {
            Half = BlueprintHalf::Build(*SimEngine, Blueprint);
        }
        return *Half;
    }

    auto ModTest::Start() -> void
    {
        BuildHalf();
        Mod->UnrealInit();
    }

    auto ModTest::Tick(float DeltaSeconds) -> void
    {
        SimEngine->Tick(DeltaSeconds);
    }

    auto ModTest::TickUntil(const std::function<bool()>& Done, int MaxTicks, float DeltaSeconds) -> bool
    {
        for (int Ticks = 0; Ticks < MaxTicks; ++Ticks)
        {
            if (Done())
            {
                return true;
            }
            SimEngine->Tick(DeltaSeconds);
        }
        return Done();
    }

    auto ModTest::TickUntilDiscovered(int MaxTicks, float DeltaSeconds) -> bool
    {
        return TickUntil([this] { return SimEngine->TickCallbackCount() == 0; }, MaxTicks, DeltaSeconds);
    }

    auto ModTest::StartAndDiscover() -> void
    {
        Start();
        ASSERT_TRUE(TickUntilDiscovered()) << "discovery did not finish";
    }

    auto ModTest::LibraryFunction(Library Which, RC::StringViewType Name) const -> RC::Unreal::UFunction*
    {
        return Half ? Half->Function(Which, Name) : nullptr;
    }

    auto ModTest::Params(Library Which, RC::StringViewType Name) const -> std::unique_ptr<ParamBlock>
    {
        const RC::Unreal::UFunction* const Function = LibraryFunction(Which, Name);
        if (Function == nullptr)
        {
            throw std::invalid_argument("no such library function: " + ToUtf8(Name));
        }
        return std::make_unique<ParamBlock>(Function);
    }

    auto ModTest::Call(RC::Unreal::UObject* Context, ParamBlock& Block) -> void
    {
        SimEngine->Call(Context, const_cast<RC::Unreal::UFunction*>(Block.Function()), Block);
    }

    auto ModTest::CallLibrary(Library Which, ParamBlock& Block) -> void
    {
        Call(Half ? Half->LibraryClass(Which) : nullptr, Block);
    }

    auto ModTest::CallWithText(Library Which, RC::StringViewType Name, RC::StringViewType Param,
                               RC::StringViewType Text) -> RC::StringType
    {
        const auto Block = Params(Which, Name);
        Block->SetString(Param, Text);
        CallLibrary(Which, *Block);
        return Block->GetString(Param);
    }

    auto ModTest::SendToUE4SSLog(RC::StringViewType Text) -> void
    {
        CallWithText(Library::Core, STR("VEXA_CPP_SendToUE4SSLog"), BlueprintHalf::Param::Text, Text);
    }

    auto ModTest::RawLog() const -> const std::vector<RC::Sim::LogLine>&
    {
        return Log->Lines();
    }

    auto ModTest::Lines() const -> std::vector<Line>
    {
        std::vector<Line> Result;
        for (const RC::Sim::LogLine& Raw : Log->Lines())
        {
            RC::StringViewType Text = Raw.Text;
            const bool Newline = !Text.empty() && Text.back() == STR('\n');
            if (Newline)
            {
                Text.remove_suffix(1);
            }
            Result.push_back(Line{ToUtf8(Text), Raw.Level, Newline});
        }
        return Result;
    }

    auto ModTest::Texts() const -> std::vector<std::string>
    {
        std::vector<std::string> Result;
        for (Line& Each : Lines())
        {
            Result.push_back(std::move(Each.Text));
        }
        return Result;
    }

    auto ModTest::ClearLog() -> void
    {
        Log->Clear();
    }

    auto ModTest::Core() const -> VEXA::VEXA_Core&
    {
        return *Export<VEXA::VEXA_Core*()>("Get_VEXA_CORE")();
    }

    auto ModTest::Anim() const -> VEXA_Anim::VEXA_Anim_Core&
    {
        return *Export<VEXA_Anim::VEXA_Anim_Core*()>("Get_VEXA_Anim_CORE")();
    }
} // namespace BrambleonTest
