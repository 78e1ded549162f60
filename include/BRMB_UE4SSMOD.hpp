// The mod object the host creates through start_mod; it starts the three services once the
// engine is up and stops them (every callback and hook removed) when the host destroys it.
#pragma once

#include <Mod/CppUserModBase.hpp>

namespace BRMB
{
    class BRMB_UE4SSMOD : public RC::CppUserModBase
    {
    public:
        BRMB_UE4SSMOD();
        ~BRMB_UE4SSMOD() override;

        auto on_unreal_init() -> void override;
    };
} // namespace BRMB
