// The core services object: construction, the registration operations of its seven library
// functions and the log hook. The handlers of the other six live with their services.
#include <VEXA_Core.hpp>

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
