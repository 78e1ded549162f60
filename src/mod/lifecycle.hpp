// The mod's one uninstall path and the pin that keeps its module mapped. The host removes
// nothing of a native mod, and Ctrl+R unloads and reloads it while the game runs on.
#pragma once

namespace BRMB
{
    // Removes every engine callback and Blueprint hook the services registered with the host and
    // puts the services back as constructed. Called when the mod object is made and destroyed
    // (start_mod, uninstall_mod). Never from inside a callback or hook of the mod.
    auto StopServices() noexcept -> void;

    // Keeps the mod's module loaded for the life of the process: a host may destroy stored
    // callables, or still be inside one on the game thread, after uninstall_mod returns. The
    // host's next load of the same path then returns this module, statics and all.
    auto PinModule() noexcept -> bool;
} // namespace BRMB
