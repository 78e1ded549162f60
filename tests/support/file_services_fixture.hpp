// A started mod whose core library is discovered, with a scratch folder and Blueprint-style
// calls of the four file functions: the parameter block is filled at the agreed offsets, the
// call goes through the stand-in host and the block is read back afterwards.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <Sim/Engine.hpp>
#include <String/StringType.hpp>
#include <Unreal/FString.hpp>
#include <log_bridge.hpp>

#include "support/mod_fixture.hpp"
#include "support/scratch_folder.hpp"

namespace BRMB::Test
{
    struct SaveAnswer
    {
        std::string Status;   // offset 0
        std::string FileName; // offset 16
        std::string Reason;   // offset 32
        friend auto operator==(const SaveAnswer&, const SaveAnswer&) -> bool = default;
        friend auto operator<<(std::ostream& Out, const SaveAnswer& Answer) -> std::ostream&
        {
            return Out << "{" << Answer.Status << ", " << Answer.FileName << ", " << Answer.Reason << "}";
        }
    };

    class FileServicesTest : public ModFixture
    {
    protected:
        auto SetUp() -> void override
        {
            ModFixture::SetUp();
            CompleteDiscovery();
            ClearLog();
        }

        // The answer a path function leaves in its one parameter.
        auto List(std::string_view Path) -> std::string { return CallWithPath(STR("VEXA_CPP_GetNamesFromDir"), Path); }
        auto Exists(std::string_view Path) -> std::string { return CallWithPath(STR("VEXA_CPP_DoesFileExist"), Path); }
        auto Read(std::string_view Path) -> std::string { return CallWithPath(STR("VEXA_CPP_GetFileContents"), Path); }

        auto Save(std::string_view Folder, std::string_view FileName, std::string_view Text) -> SaveAnswer
        {
            RC::Sim::ParamBlock Block(CoreFunction(STR("VEXA_CPP_SaveFile")));
            SetUtf8(Block, 0, Folder);
            SetUtf8(Block, 16, FileName);
            SetUtf8(Block, 32, Text);
            CallCore(Block);
            return {GetUtf8(Block, 0), GetUtf8(Block, 16), GetUtf8(Block, 32)};
        }

        // The log since the last clear as UTF-8 texts without their newline; every line the file
        // services write is a level-1 line.
        auto LogLines() -> std::vector<std::string>
        {
            std::vector<std::string> Texts;
            for (const RC::Sim::LogLine& Line : Log().Lines())
            {
                EXPECT_EQ(Line.Level, 1) << Text::Utf16ToUtf8(Line.Text);
                RC::StringViewType Body = Line.Text;
                EXPECT_TRUE(Body.ends_with(STR("\n"))) << Text::Utf16ToUtf8(Body);
                if (Body.ends_with(STR("\n")))
                {
                    Body.remove_suffix(1);
                }
                Texts.push_back(Text::Utf16ToUtf8(Body));
            }
            return Texts;
        }
        auto ClearLog() -> void { Log().Clear(); }

        [[nodiscard]] static auto EscapedExceptions() -> int { return RC::Sim::Engine::Get().EscapedExceptions(); }

        // Permission bits refuse access only on POSIX; there the host can run Blueprint calls
        // with an unprivileged identity so that they refuse also when the tests run as root.
        [[nodiscard]] static auto CanRestrictFileAccess() -> bool
        {
#ifdef _WIN32
            return false;
#else
            return true;
#endif
        }
        static auto RestrictFileAccess() -> void { RC::Sim::Engine::Get().GetFaults().RestrictFileAccess = true; }

        ScratchFolder Scratch;

    private:
        static auto SetUtf8(RC::Sim::ParamBlock& Block, size_t Offset, std::string_view Utf8) -> void
        {
            const RC::StringType Wide = Text::Utf8ToUtf16(Utf8);
            *reinterpret_cast<RC::Unreal::FString*>(Block.Data() + Offset) = RC::Unreal::FString(Wide.c_str());
        }
        static auto GetUtf8(RC::Sim::ParamBlock& Block, size_t Offset) -> std::string
        {
            return Text::Utf16ToUtf8(Text::FStringView(*reinterpret_cast<RC::Unreal::FString*>(Block.Data() + Offset)));
        }

        static auto CoreFunction(RC::StringViewType Name) -> RC::Unreal::UFunction*
        {
            RC::StringType Path = STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C:");
            Path += Name;
            auto* Function = static_cast<RC::Unreal::UFunction*>(RC::Sim::Engine::Get().FindByPath(Path));
            EXPECT_NE(Function, nullptr) << Text::Utf16ToUtf8(Path);
            return Function;
        }

        auto CallCore(RC::Sim::ParamBlock& Block) -> void
        {
            RC::Sim::Engine& Engine = RC::Sim::Engine::Get();
            auto* Library = Engine.FindByPath(STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C"));
            Engine.Call(Library, const_cast<RC::Unreal::UFunction*>(Block.Function()), Block);
        }

        auto CallWithPath(RC::StringViewType Function, std::string_view Path) -> std::string
        {
            RC::Sim::ParamBlock Block(CoreFunction(Function));
            SetUtf8(Block, 0, Path);
            CallCore(Block);
            return GetUtf8(Block, 0);
        }
    };
} // namespace BRMB::Test
