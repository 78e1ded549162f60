// The animation bridge: its one hook logs the request and answers "CPPResponse" in place.
#include <VEXA_Anim_Core.hpp>

#include <utility>

#include <log_bridge.hpp>

#include "core/hook_bridge.hpp"
#include "core/param_view.hpp"

namespace VEXA_Anim
{
    namespace
    {
        // Runs on the game thread, inside the Blueprint call: the Blueprint body sees the reply
        // in place of its request.
        auto GetResponse(BRMB::HookContext& Context) -> void
        {
            const BRMB::ParamView Params(Context);
            LogNarrow(Params.Utf8At(0), false);
            Params.SetWideAt(0, STR("CPPResponse"));
        }

        constexpr BRMB::HookSpec GetResponseSpec{STR("VEXA_Anim"), STR("VEXA_Anim_CPP_GetResponse"), &GetResponse};
    } // namespace

    VEXA_Anim_Core::VEXA_Anim_Core()
        : LibraryPath(STR("/Game/Mods/VEXA_Anim/VEXA_Anim_FunctionLibrary.VEXA_Anim_FunctionLibrary_C"))
    {
    }

    auto VEXA_Anim_Core::RegisterHook_VEXA_Anim_CPP_GetResponse(bool) -> bool
    {
        return BRMB::RegisterLibraryHook<GetResponseSpec>(GetResponseSlot, LibraryPath);
    }

    auto LogWide(RC::StringType Text, bool Alternate) -> void
    {
        BRMB::Log::Wide(Text, Alternate);
    }

    auto LogNarrow(std::string Text, bool Alternate) -> void
    {
        BRMB::Log::Narrow(Text, Alternate);
    }
} // namespace VEXA_Anim
