// Stopping the services (uninstall_mod, and start_mod on a module the host loaded before) and
// pinning the module.
#include "mod/lifecycle.hpp"

#if defined(_WIN32)
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

#include <Brambleon.hpp>
#include <VEXA_Anim_Core.hpp>
#include <VEXA_Core.hpp>

#include "bridge/guard.hpp"
#include "bridge/hook_bridge.hpp"
#include "discovery/discovery.hpp"
#include "discovery/library_watch.hpp"

namespace BRMB
{
    auto StopServices() noexcept -> void
    {
        // Runs on the host's event-loop thread while the game thread may be inside a hook or a
        // discovery pass: nothing that they touch changes until they are out, and no later one
        // gets in. The host's removals come after, with no lock of the mod held.
        Bridge::CloseCallbacks();
        Bridge::Guarded(STR("BRMB"), STR("uninstall"), [] {
            Discovery::UnregisterTicks();
            Discovery::StopProcessEventDriver();
            Bridge::RemoveRecordedHooks();
            Discovery::StopWatching();
            // Once the host has removed every callback: discovery progress (an idle tick's
            // Elapsed too), the registered world actor and proxy, every slot and id.
            VEXA::CoreInstance() = VEXA::VEXA_Core();
            VEXA_Anim::AnimInstance() = VEXA_Anim::VEXA_Anim_Core();
            ProxyInstance() = Brambleon();
        });
    }

    auto PinModule() noexcept -> bool
    {
#if defined(_WIN32)
        HMODULE Module = nullptr;
        return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                    reinterpret_cast<LPCWSTR>(&PinModule), &Module) != 0;
#else
        Dl_info Info{};
        if (::dladdr(reinterpret_cast<void*>(&PinModule), &Info) == 0 || Info.dli_fname == nullptr)
        {
            return false;
        }
        // One more reference that is never dropped, and no unloading at the last dlclose.
        return ::dlopen(Info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
#endif
    }
} // namespace BRMB
