// The three process-wide services, defined together so that they are constructed in this order
// at load (and destroyed in reverse at unload): core, animation bridge, content proxy.
#include <Brambleon.hpp>
#include <VEXA_Anim_Core.hpp>
#include <VEXA_Core.hpp>

namespace
{
    VEXA::VEXA_Core CoreServices;
    VEXA_Anim::VEXA_Anim_Core AnimBridge;
    BRMB::Brambleon ContentProxy;
} // namespace

auto VEXA::CoreInstance() -> VEXA_Core&
{
    return CoreServices;
}

auto VEXA_Anim::AnimInstance() -> VEXA_Anim_Core&
{
    return AnimBridge;
}

auto BRMB::ProxyInstance() -> Brambleon&
{
    return ContentProxy;
}
