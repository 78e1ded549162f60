// The library's entry points, found by the host (and other native code) by their plain names.
#include <memory>

#include <BRMB_UE4SSMOD.hpp>
#include <DynamicOutput/DynamicOutput.hpp>
#include <VEXA_Anim_Core.hpp>
#include <VEXA_Core.hpp>

#include "bridge/guard.hpp"
#include "mod/export.hpp"
#include "mod/lifecycle.hpp"

BRMB_EXPORT auto start_mod() -> RC::CppUserModBase*
{
    // A reinstall loads this same pinned module again: the mod object starts from a clean state.
    BRMB::PinModule();
    // The host owns the object from here on and hands it back to uninstall_mod.
    return std::make_unique<BRMB::BRMB_UE4SSMOD>().release();
}

BRMB_EXPORT auto uninstall_mod(RC::CppUserModBase* Mod) -> void
{
    const std::unique_ptr<RC::CppUserModBase> Owned(Mod);
}

BRMB_EXPORT auto Get_VEXA_CORE() -> VEXA::VEXA_Core*
{
    return &VEXA::CoreInstance();
}

BRMB_EXPORT auto Get_VEXA_Anim_CORE() -> VEXA_Anim::VEXA_Anim_Core*
{
    return &VEXA_Anim::AnimInstance();
}

BRMB_EXPORT auto VEXA_FunctionYo() -> void
{
    BRMB::Bridge::Guarded(STR("VEXA"), STR("VEXA_FunctionYo"),
                          [] { RC::Output::send<RC::LogLevel::Verbose>(STR("VEXA_FunctionYo Was Called!")); });
}

BRMB_EXPORT auto VEXA_Anim_FunctionYo() -> void
{
    BRMB::Bridge::Guarded(STR("VEXA_Anim"), STR("VEXA_Anim_FunctionYo"),
                          [] { RC::Output::send<RC::LogLevel::Verbose>(STR("VEXA_Anim_FunctionYo Was Called!")); });
}
