// Placeholder until the world-actor registry lands: the handlers exist so the mod links.
#include <VEXA_Core.hpp>

#include "core/core_hooks.hpp"

namespace VEXA
{
    auto VEXA_Core::SetNewWorldActor(RC::Unreal::UObject*) -> bool { return false; }
    auto VEXA_Core::ClearWorldActor() -> void { WorldActor = nullptr; }
} // namespace VEXA

namespace VEXA::Hooks
{
    auto RegisterWorldActor(HookContext&) -> void {}
    auto DestroyedWorldActor(HookContext&) -> void {}
    auto FindFirstOf(HookContext&) -> void {}
    auto FindAllOf(HookContext&) -> void {}
    auto NewObject(HookContext&) -> void {}
} // namespace VEXA::Hooks
