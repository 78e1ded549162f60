// The mod object the host creates through start_mod; it starts the three services once the
// engine is up. The services themselves are process-wide and outlive it.
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
