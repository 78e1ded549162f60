// Hooking the Blueprint functions of a registered object (the world actor, the content proxy).
// A function is looked up and hooked only while its ids are (0, 0): the hook sits on the
// class's function and serves every later instance, so it is installed at most once.
// Runs on the game thread, inside the registration call.
#pragma once

#include <span>
#include <string_view>

#include <HookSlot.hpp>
#include <String/StringType.hpp>

namespace RC::Unreal
{
    class UFunction;
    class UObject;
} // namespace RC::Unreal

namespace BRMB::Bridge
{
    // One function of the registered object's class and how to report on it.
    struct RegisteredObjectFunction
    {
        const RC::CharType* Name;                               // looked up with GetFunctionByName
        VEXA::HookIds* Ids;                                     // the service's pair for this function
        VEXA::HookIds (*Hook)(RC::Unreal::UFunction* Function); // HookFunction<Hook>
        std::string_view MissingLine;                           // logged when the class lacks it
        std::string_view HookFailedLine = {};                   // logged on (0, 0) from the host; empty: not tested
    };

    // Looks up and hooks, in order, each function whose ids are still (0, 0), logging the
    // failure lines (UTF-8).
    auto HookRegisteredObject(RC::Unreal::UObject& Object, std::span<const RegisteredObjectFunction> Functions)
        -> void;
} // namespace BRMB::Bridge
