// The core services object: construction, the registration operations of its seven library
// functions, its log members and the log hook. The other handlers live with their services.
#include <VEXA_Core.hpp>

#include <log_bridge.hpp>

#include "core/core_hooks.hpp"
#include "core/param_view.hpp"

namespace VEXA
{
    VEXA_Core::VEXA_Core() : LibraryPath(STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C")) {}

    auto VEXA_Core::RegisterHook_VEXA_CPP_GetNamesFromDir(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<Hooks::GetNamesFromDirSpec>(GetNamesFromDirSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_GetFileContents(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<Hooks::GetFileContentsSpec>(GetFileContentsSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_SaveFile(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<Hooks::SaveFileSpec>(SaveFileSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_DoesFileExist(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<Hooks::DoesFileExistSpec>(DoesFileExistSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_SendToUE4SSLog(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<Hooks::SendToUE4SSLogSpec>(SendToUE4SSLogSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_RegisterWorldActor(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<Hooks::RegisterWorldActorSpec>(RegisterWorldActorSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_DestroyedWorldActor(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<Hooks::DestroyedWorldActorSpec>(DestroyedWorldActorSlot, LibraryPath);
    }

    // The log bridge as members, for other native code that holds the core through Get_VEXA_CORE.
    auto VEXA_Core::LogWide(RC::StringType Text, bool Alternate) -> void
    {
        BRMB::Log::Wide(Text, Alternate);
    }

    auto VEXA_Core::LogNarrow(std::string Text, bool Alternate) -> void
    {
        BRMB::Log::Narrow(Text, Alternate);
    }

    auto VEXA_Core::FStringToUtf8(RC::Unreal::FString Text) -> std::string
    {
        return BRMB::Text::Utf16ToUtf8(BRMB::Text::FStringView(Text));
    }

    auto VEXA_Core::NarrowToFString(std::string Text) -> RC::Unreal::FString
    {
        // The engine string ends before the first NUL, as the constructor copies up to it.
        return RC::Unreal::FString(BRMB::Text::Utf8ToUtf16(Text).c_str());
    }

    auto VEXA_Core::WideToFString(RC::StringType Text) -> RC::Unreal::FString
    {
        return RC::Unreal::FString(Text.c_str());
    }
} // namespace VEXA

namespace VEXA::Hooks
{
    // Runs on the game thread, inside the Blueprint call. The text is logged as it came, with no
    // prefix; the block is left untouched.
    auto SendToUE4SSLog(HookContext& Context) -> void
    {
        const BRMB::ParamView Params(Context);
        CoreInstance().LogNarrow(Params.Utf8At(0), false);
    }
} // namespace VEXA::Hooks
