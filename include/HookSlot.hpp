// A hooked library function and the ids of its hook.
#pragma once

#include <utility>

namespace RC::Unreal
{
    class UFunction;
}

namespace VEXA
{
    // (pre-callback id, post-callback id) as the host returns them; (0, 0) means not hooked.
    using HookIds = std::pair<int, int>;

    struct HookSlot
    {
        RC::Unreal::UFunction* Function = nullptr;
        HookIds Ids{0, 0};
    };
} // namespace VEXA
