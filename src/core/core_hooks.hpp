// Handlers of the core library's hooks and of the world actor's object functions.
// Each runs on the game thread inside the Blueprint call, within the exception boundary.
#pragma once

#include "bridge/hook_bridge.hpp"
#include "core/contract.hpp"

namespace VEXA::Hooks
{
    using BRMB::Bridge::HookContext;
    using BRMB::Bridge::HookedFunction;
    using BRMB::Contract::Hook;

    auto SendToUE4SSLog(HookContext& Context) -> void;
    auto GetNamesFromDir(HookContext& Context) -> void;
    auto DoesFileExist(HookContext& Context) -> void;
    auto GetFileContents(HookContext& Context) -> void;
    auto SaveFile(HookContext& Context) -> void;
    auto RegisterWorldActor(HookContext& Context) -> void;
    auto DestroyedWorldActor(HookContext& Context) -> void;
    auto FindFirstOf(HookContext& Context) -> void;
    auto FindAllOf(HookContext& Context) -> void;
    auto NewObject(HookContext& Context) -> void;

    inline constexpr HookedFunction SendToUE4SSLogHook =
        Hook(STR("VEXA"), STR("VEXA_CPP_SendToUE4SSLog"), &SendToUE4SSLog);
    inline constexpr HookedFunction GetNamesFromDirHook =
        Hook(STR("VEXA"), STR("VEXA_CPP_GetNamesFromDir"), &GetNamesFromDir);
    inline constexpr HookedFunction DoesFileExistHook =
        Hook(STR("VEXA"), STR("VEXA_CPP_DoesFileExist"), &DoesFileExist);
    inline constexpr HookedFunction GetFileContentsHook =
        Hook(STR("VEXA"), STR("VEXA_CPP_GetFileContents"), &GetFileContents);
    inline constexpr HookedFunction SaveFileHook = Hook(STR("VEXA"), STR("VEXA_CPP_SaveFile"), &SaveFile);
    inline constexpr HookedFunction RegisterWorldActorHook =
        Hook(STR("VEXA"), STR("VEXA_CPP_RegisterWorldActor"), &RegisterWorldActor);
    inline constexpr HookedFunction DestroyedWorldActorHook =
        Hook(STR("VEXA"), STR("VEXA_CPP_DestroyedWorldActor"), &DestroyedWorldActor);
    inline constexpr HookedFunction FindFirstOfHook = Hook(STR("VEXA"), STR("VEXA_CPP_FindFirstOf"), &FindFirstOf);
    inline constexpr HookedFunction FindAllOfHook = Hook(STR("VEXA"), STR("VEXA_CPP_FindAllOf"), &FindAllOf);
    inline constexpr HookedFunction NewObjectHook = Hook(STR("VEXA"), STR("VEXA_CPP_NewObject"), &NewObject);
} // namespace VEXA::Hooks
