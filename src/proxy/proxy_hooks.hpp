// Handlers of the content proxy's hooks: the library's two registry functions and the proxy
// class's two table functions. Each runs on the game thread inside the Blueprint call, within
// the exception boundary, and logs through the service's Core.
#pragma once

#include <string_view>

#include <String/StringType.hpp>

#include "core/hook_bridge.hpp"

namespace BRMB::ProxyHooks
{
    auto RegisterProxy(HookContext& Context) -> void;
    auto DestroyedProxy(HookContext& Context) -> void;
    auto AddObjectSelectionSetID(HookContext& Context) -> void;
    auto TestDT(HookContext& Context) -> void;

    inline constexpr HookSpec RegisterProxySpec{STR("BRMB"), STR("BRMB_CPP_RegisterProxy"), &RegisterProxy};
    inline constexpr HookSpec DestroyedProxySpec{STR("BRMB"), STR("BRMB_CPP_DestroyedProxy"), &DestroyedProxy};
    inline constexpr HookSpec AddObjectSelectionSetIDSpec{STR("BRMB"), STR("BRMB_CPP_AddObjectSelectionSetID"),
                                                          &AddObjectSelectionSetID};
    inline constexpr HookSpec TestDTSpec{STR("BRMB"), STR("BRMB_CPP_TestDT"), &TestDT};

    // A line at level 1 through the service's Core (wide text, or narrow UTF-8 text).
    auto SayWide(RC::StringViewType Text) -> void;
    auto SayNarrow(std::string_view Text) -> void;
} // namespace BRMB::ProxyHooks
