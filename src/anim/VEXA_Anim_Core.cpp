// The animation bridge: its one hook logs the request and answers "CPPResponse" in place.
#include <VEXA_Anim_Core.hpp>

#include "bridge/hook_bridge.hpp"
#include "bridge/log.hpp"
#include "bridge/param_view.hpp"
#include "core/contract.hpp"
#include "discovery/discovery.hpp"

namespace VEXA_Anim
{
    namespace
    {
        // Runs on the game thread, inside the Blueprint call: the Blueprint body sees the reply
        // in place of its request.
        auto GetResponse(BRMB::Bridge::HookContext& Context) -> void
        {
            const BRMB::Bridge::ParamView Params(Context);
            BRMB::Bridge::LogLine(Params.Utf8At(0));
            Params.SetWideAt(0, STR("CPPResponse"));
        }

        constexpr BRMB::Bridge::HookedFunction GetResponseHook =
            BRMB::Contract::Hook(STR("VEXA_Anim"), STR("VEXA_Anim_CPP_GetResponse"), &GetResponse);
    } // namespace

    VEXA_Anim_Core::VEXA_Anim_Core()
        : LibraryPath(STR("/Game/Mods/VEXA_Anim/VEXA_Anim_FunctionLibrary.VEXA_Anim_FunctionLibrary_C"))
    {
    }

    auto VEXA_Anim_Core::RegisterHook_VEXA_Anim_CPP_GetResponse(bool) -> bool
    {
        return BRMB::Discovery::RegisterLibraryHook<GetResponseHook>(GetResponseSlot, LibraryPath);
    }

    auto LogWide(RC::StringType Text, bool Alternate) -> void
    {
        BRMB::Bridge::LogLine(Text, Alternate);
    }

    auto LogNarrow(std::string Text, bool Alternate) -> void
    {
        BRMB::Bridge::LogLine(Text, Alternate);
    }
} // namespace VEXA_Anim
