// The core services object: construction, the registration operations of its seven library
// functions, its log and conversion members and the log hook. The other handlers are in
// file_hooks.cpp and world_actor.cpp.
#include <VEXA_Core.hpp>

#include "bridge/log.hpp"
#include "bridge/param_view.hpp"
#include "bridge/text.hpp"
#include "core/core_hooks.hpp"
#include "discovery/discovery.hpp"

namespace VEXA
{
    VEXA_Core::VEXA_Core() : LibraryPath(STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C")) {}

    auto VEXA_Core::RegisterHook_VEXA_CPP_GetNamesFromDir(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<Hooks::GetNamesFromDirHook>(GetNamesFromDirSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_GetFileContents(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<Hooks::GetFileContentsHook>(GetFileContentsSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_SaveFile(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<Hooks::SaveFileHook>(SaveFileSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_DoesFileExist(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<Hooks::DoesFileExistHook>(DoesFileExistSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_SendToUE4SSLog(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<Hooks::SendToUE4SSLogHook>(SendToUE4SSLogSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_RegisterWorldActor(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<Hooks::RegisterWorldActorHook>(RegisterWorldActorSlot, LibraryPath);
    }

    auto VEXA_Core::RegisterHook_VEXA_CPP_DestroyedWorldActor(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<Hooks::DestroyedWorldActorHook>(DestroyedWorldActorSlot,
                                                                                    LibraryPath);
    }

    // The log line and the conversions as members, for other native code that holds the core
    // through Get_VEXA_CORE.
    auto VEXA_Core::LogWide(RC::StringType Text, bool Alternate) -> void
    {
        BRMB::Bridge::LogLine(Text, Alternate);
    }

    auto VEXA_Core::LogNarrow(std::string Text, bool Alternate) -> void
    {
        BRMB::Bridge::LogLine(Text, Alternate);
    }

    auto VEXA_Core::FStringToUtf8(RC::Unreal::FString Text) -> std::string
    {
        return BRMB::Bridge::Text::Utf16ToUtf8(BRMB::Bridge::Text::FStringView(Text));
    }

    auto VEXA_Core::NarrowToFString(std::string Text) -> RC::Unreal::FString
    {
        // The engine string ends before the first NUL, as the constructor copies up to it.
        return BRMB::Bridge::Text::Utf8ToFString(Text);
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
        const BRMB::Bridge::ParamView Params(Context);
        BRMB::Bridge::LogLine(Params.Utf8At(0));
    }
} // namespace VEXA::Hooks
