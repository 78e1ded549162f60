// Placeholder until the content proxy lands: construction only, so start-up can set Core.
#include <Brambleon.hpp>

namespace BRMB
{
    Brambleon::Brambleon() : LibraryPath(STR("/Game/Mods/Brambleon/BRMB_BlueprintLibrary.BRMB_BlueprintLibrary_C")) {}
    auto Brambleon::RegisterDiscovery() -> void {}
    auto Brambleon::RegisterHook_BRMB_CPP_RegisterProxy(bool) -> bool { return false; }
    auto Brambleon::RegisterHook_BRMB_CPP_DestroyedProxy(bool) -> bool { return false; }
    auto Brambleon::SetNewProxy(RC::Unreal::UObject*) -> bool { return false; }
} // namespace BRMB
