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

#include "support/mod_fixture.hpp"
#include "support/scratch_folder.hpp"

namespace BrambleonTest
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

    class FileServicesTest : public ModTest
    {
    protected:
        auto SetUp() -> void override
        {
            ModTest::SetUp();
            StartAndDiscover();
            ClearLog();
        }

        // The answer a path function leaves in its one parameter.
        auto List(std::string_view Path) -> std::string { return CallWithPath(STR("VEXA_CPP_GetNamesFromDir"), Path); }
        auto Exists(std::string_view Path) -> std::string { return CallWithPath(STR("VEXA_CPP_DoesFileExist"), Path); }
        auto Read(std::string_view Path) -> std::string { return CallWithPath(STR("VEXA_CPP_GetFileContents"), Path); }

        auto Save(std::string_view Folder, std::string_view FileName, std::string_view Text) -> SaveAnswer
        {
            const auto Block = Params(Library::Core, STR("VEXA_CPP_SaveFile"));
            SetUtf8(*Block, 0, Folder);
            SetUtf8(*Block, 16, FileName);
            SetUtf8(*Block, 32, Text);
            CallLibrary(Library::Core, *Block);
            return {GetUtf8(*Block, 0), GetUtf8(*Block, 16), GetUtf8(*Block, 32)};
        }

        // The log since the last clear; every line the file services write is a level-1 line
        // with its newline.
        auto LogLines() -> std::vector<std::string>
        {
            std::vector<std::string> Texts;
            for (const Line& Each : Lines())
            {
                EXPECT_EQ(Each, Normal(Each.Text));
                Texts.push_back(Each.Text);
            }
            return Texts;
        }

        [[nodiscard]] auto EscapedExceptions() const -> int { return Sim().EscapedExceptions(); }

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
        auto RestrictFileAccess() -> void { Sim().GetFaults().RestrictFileAccess = true; }

        ScratchFolder Scratch;

    private:
        // Strings are placed at the agreed offsets, not by parameter name: the offsets are the
        // contract with the Blueprint half.
        static auto SetUtf8(ParamBlock& Block, size_t Offset, std::string_view Utf8) -> void
        {
            const RC::StringType Wide = FromUtf8(Utf8);
            *reinterpret_cast<RC::Unreal::FString*>(Block.Data() + Offset) = RC::Unreal::FString(Wide.c_str());
        }
        static auto GetUtf8(ParamBlock& Block, size_t Offset) -> std::string
        {
            const auto& Text = *reinterpret_cast<const RC::Unreal::FString*>(Block.Data() + Offset);
            return ToUtf8(RC::StringViewType(*Text));
        }

        auto CallWithPath(RC::StringViewType Function, std::string_view Path) -> std::string
        {
            const auto Block = Params(Library::Core, Function);
            SetUtf8(*Block, 0, Path);
            CallLibrary(Library::Core, *Block);
            return GetUtf8(*Block, 0);
        }
    };
} // namespace BrambleonTest
