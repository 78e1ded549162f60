// The mod object: its texts, and the start-up of the three services once the engine is up.
#include <BRMB_UE4SSMOD.hpp>

#include <Brambleon.hpp>
#include <VEXA_Anim_Core.hpp>
#include <VEXA_Core.hpp>

#include "core/guard.hpp"

namespace BRMB
{
    BRMB_UE4SSMOD::BRMB_UE4SSMOD()
    {
        ModName = STR("Brambleon");
        ModVersion = STR("0.0.5 TEST");
        ModDescription = STR("Gives Blueprint mods files, the log, object search and data-table patching.");
        ModAuthors = STR("The Brambleon developers");
    }

    // Only the mod object goes: the services, their hooks and unfinished discovery stay.
    BRMB_UE4SSMOD::~BRMB_UE4SSMOD() = default;

    // Each step relies on the one before: the proxy logs through the core, and the animation
    // bridge is handed the core before its discovery can run.
    auto BRMB_UE4SSMOD::on_unreal_init() -> void
    {
        Guarded(STR("BRMB"), STR("on_unreal_init"), [] {
            VEXA::VEXA_Core& Core = VEXA::CoreInstance();
            Core.initialize();
            ProxyInstance().Core = &Core;
            VEXA_Anim::AnimInstance().initialize(&Core);
            ProxyInstance().RegisterDiscovery();
            VEXA_Anim::LogWide(STR("Brambleon C++ Side Initiated!"), false);
        });
    }
} // namespace BRMB
