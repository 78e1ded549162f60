// Hooking the Blueprint functions of an adopted object (the world actor, the content proxy).
// A function is looked up and hooked only while its ids are (0, 0): the hook sits on the
// class's function and serves every later instance, so it is installed at most once.
// Runs on the game thread, inside the registration call.
#pragma once

#include <span>
#include <string_view>

#include <HookSlot.hpp>
#include <String/StringType.hpp>
#include <Unreal/UObject.hpp>

namespace RC::Unreal
{
    class UFunction;
}

namespace BRMB
{
    // One function of the adopted object's class and how to report on it.
    struct AdoptedFunction
    {
        const RC::CharType* Name;                               // looked up with GetFunctionByName
        VEXA::HookIds* Ids;                                     // the service's pair for this function
        VEXA::HookIds (*Hook)(RC::Unreal::UFunction* Function); // HookFunction<Hook>
        std::string_view MissingLine;                           // logged when the class lacks it
        std::string_view HookFailedLine = {};                   // logged on (0, 0) from the host; empty: not tested
    };

    // Looks up and hooks, in order, each function whose ids are still (0, 0); LogNarrow receives
    // the failure lines (UTF-8).
    template <typename NarrowLog>
    auto HookAdoptedFunctions(RC::Unreal::UObject& Object, std::span<const AdoptedFunction> Functions,
                              NarrowLog&& LogNarrow) -> void
    {
        constexpr VEXA::HookIds NotHooked{0, 0};
        for (const AdoptedFunction& Entry : Functions)
        {
            if (*Entry.Ids != NotHooked)
            {
                continue;
            }
            RC::Unreal::UFunction* const Function = Object.GetFunctionByName(Entry.Name);
            if (Function == nullptr)
            {
                LogNarrow(Entry.MissingLine);
                continue;
            }
            *Entry.Ids = Entry.Hook(Function);
            if (*Entry.Ids == NotHooked && !Entry.HookFailedLine.empty())
            {
                LogNarrow(Entry.HookFailedLine);
            }
        }
    }
} // namespace BRMB
