// Handlers of the core library's hooks and of the world actor's object functions.
// Each runs on the game thread inside the Blueprint call, within the exception boundary.
#pragma once

#include "core/hook_bridge.hpp"

namespace VEXA::Hooks
{
    using BRMB::HookContext;

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

    inline constexpr BRMB::HookSpec SendToUE4SSLogSpec{STR("VEXA"), STR("VEXA_CPP_SendToUE4SSLog"), &SendToUE4SSLog};
    inline constexpr BRMB::HookSpec GetNamesFromDirSpec{STR("VEXA"), STR("VEXA_CPP_GetNamesFromDir"), &GetNamesFromDir};
    inline constexpr BRMB::HookSpec DoesFileExistSpec{STR("VEXA"), STR("VEXA_CPP_DoesFileExist"), &DoesFileExist};
    inline constexpr BRMB::HookSpec GetFileContentsSpec{STR("VEXA"), STR("VEXA_CPP_GetFileContents"), &GetFileContents};
    inline constexpr BRMB::HookSpec SaveFileSpec{STR("VEXA"), STR("VEXA_CPP_SaveFile"), &SaveFile};
    inline constexpr BRMB::HookSpec RegisterWorldActorSpec{STR("VEXA"), STR("VEXA_CPP_RegisterWorldActor"),
                                                           &RegisterWorldActor};
    inline constexpr BRMB::HookSpec DestroyedWorldActorSpec{STR("VEXA"), STR("VEXA_CPP_DestroyedWorldActor"),
                                                            &DestroyedWorldActor};
    inline constexpr BRMB::HookSpec FindFirstOfSpec{STR("VEXA"), STR("VEXA_CPP_FindFirstOf"), &FindFirstOf};
    inline constexpr BRMB::HookSpec FindAllOfSpec{STR("VEXA"), STR("VEXA_CPP_FindAllOf"), &FindAllOf};
    inline constexpr BRMB::HookSpec NewObjectSpec{STR("VEXA"), STR("VEXA_CPP_NewObject"), &NewObject};
} // namespace VEXA::Hooks
