// The mod object: its texts, and the start-up of the three services once the engine is up.
#include <BRMB_UE4SSMOD.hpp>

#include <Brambleon.hpp>
#include <VEXA_Anim_Core.hpp>
#include <VEXA_Core.hpp>

#include "bridge/guard.hpp"
#include "bridge/log.hpp"
#include "mod/lifecycle.hpp"

namespace BRMB
{
    namespace
    {
        // The mod object that started the services: only its destruction stops them, so a
        // second object that other code makes through start_mod leaves them running.
        const BRMB_UE4SSMOD* Starter = nullptr;
    } // namespace

    // The module may be one the host loaded and uninstalled before (it is pinned): unless a
    // living mod object runs them, the services start from their constructed state.
    BRMB_UE4SSMOD::BRMB_UE4SSMOD()
    {
        if (Starter == nullptr)
        {
            StopServices();
        }
        ModName = STR("Brambleon");
        ModVersion = STR("0.0.5 TEST");
        ModDescription = STR("Gives Blueprint mods files, the log, object search and data-table patching.");
        ModAuthors = STR("The Brambleon developers");
    }

    // uninstall_mod: the host removes nothing of a native mod, so every callback and hook goes
    // here, before the host unloads the module.
    BRMB_UE4SSMOD::~BRMB_UE4SSMOD()
    {
        if (Starter == this)
        {
            StopServices();
            Starter = nullptr;
        }
    }

    // Each step relies on the one before: the proxy and the animation bridge are handed the core
    // before their discovery can run.
    auto BRMB_UE4SSMOD::on_unreal_init() -> void
    {
        Starter = this;
        // Closed while the services are set up: a discovery pass on the game thread may start as
        // soon as its callback is registered.
        Bridge::CloseCallbacks();
        Bridge::Guarded(STR("BRMB"), STR("on_unreal_init"), [] {
            VEXA::VEXA_Core& Core = VEXA::CoreInstance();
            Core.initialize();
            ProxyInstance().Core = &Core;
            VEXA_Anim::AnimInstance().initialize(&Core);
            ProxyInstance().RegisterDiscovery();
            Bridge::LogLine(STR("Brambleon C++ Side Initiated!"));
        });
        Bridge::OpenCallbacks();
    }
} // namespace BRMB
