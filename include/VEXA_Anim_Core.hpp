// The animation bridge: logs a request text and answers it with "CPPResponse".
// One global instance, used on the game thread (reset at uninstall and start-up behind the
// callback gate).
#pragma once

#include <string>

#include <HookSlot.hpp>
#include <String/StringType.hpp>

namespace RC::Unreal
{
    class UObject;
}

namespace VEXA
{
    class VEXA_Core;
}

namespace VEXA_Anim
{
    class VEXA_Anim_Core
    {
    public:
        VEXA_Anim_Core();

        // Keeps Core, registers the discovery tick callback and logs the start line.
        auto initialize(VEXA::VEXA_Core* CoreServices) -> void;
        auto RegisterHook_VEXA_Anim_CPP_GetResponse(bool Unused = false) -> bool;

        RC::StringType LibraryPath;
        RC::Unreal::UObject* Library = nullptr;
        VEXA::HookSlot GetResponseSlot;
        VEXA::VEXA_Core* Core = nullptr;
        bool ScanComplete = false;
        float PollElapsed = 0.0f;
    };

    // The animation bridge's log operations; they behave exactly as the core's.
    auto LogWide(RC::StringType Text, bool Alternate) -> void;
    auto LogNarrow(std::string Text, bool Alternate) -> void;

    auto AnimInstance() -> VEXA_Anim_Core&;
} // namespace VEXA_Anim
