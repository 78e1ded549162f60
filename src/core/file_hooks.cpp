// Placeholder until the file services land: the handlers exist so the mod links.
#include "core/core_hooks.hpp"

namespace VEXA::Hooks
{
    auto GetNamesFromDir(HookContext&) -> void {}
    auto DoesFileExist(HookContext&) -> void {}
    auto GetFileContents(HookContext&) -> void {}
    auto SaveFile(HookContext&) -> void {}
} // namespace VEXA::Hooks
