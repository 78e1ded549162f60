// The one mechanism behind every Blueprint hook of the three services: a hook description names the
// function and its handler; the pre-callback runs the handler inside the exception boundary,
// the post-callback is empty and the custom data is null. Game thread only.
#pragma once

#include <exception>
#include <string_view>

#include <HookSlot.hpp>
#include <String/StringType.hpp>
#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/UFunctionStructs.hpp>
#include <Unreal/UObjectGlobals.hpp>

#include "core/guard.hpp"

namespace BRMB
{
    using HookContext = RC::Unreal::UnrealScriptFunctionCallableContext;
    using HookHandler = void (*)(HookContext&);

    struct HookSpec
    {
        const RC::CharType* Prefix;   // "VEXA", "VEXA_Anim" or "BRMB"
        const RC::CharType* Function; // the Blueprint function's name
        HookHandler Handler;
    };

    // The handler wrapped in the boundary, as a capture-free callable: the description is a constant.
    template <const HookSpec& Hook>
    auto PreCallback() -> RC::Unreal::UnrealScriptFunctionCallable
    {
        return [](HookContext& Context, void*) { Guarded(Hook.Prefix, Hook.Function, [&] { Hook.Handler(Context); }); };
    }

    inline auto EmptyCallback() -> RC::Unreal::UnrealScriptFunctionCallable
    {
        return [](HookContext&, void*) {};
    }

    // Logs "<Prefix> : <Function> hook failed : <What>" at level 1.
    auto ReportHookFailure(const RC::CharType* Prefix, const RC::CharType* Function, std::string_view What) noexcept
        -> void;

    // Hooks Function with Hook's handler; returns the host's ids. Current hosts throw when they
    // cannot hook a function, older ones answer (0, 0): a throw is reported and then answered
    // as (0, 0), so every caller has one failure to handle and the exception goes no further.
    template <const HookSpec& Hook>
    auto HookFunction(RC::Unreal::UFunction* Function) noexcept -> VEXA::HookIds
    {
        try
        {
            return RC::Unreal::UObjectGlobals::RegisterHook(Function, PreCallback<Hook>(), EmptyCallback(), nullptr);
        }
        catch (const std::exception& Error)
        {
            ReportHookFailure(Hook.Prefix, Hook.Function, Error.what());
        }
        catch (...)
        {
            ReportHookFailure(Hook.Prefix, Hook.Function, "unknown error");
        }
        return {0, 0};
    }

    // Looks the library function up in the library's own class (until found once) and hooks it
    // while its ids are (0, 0). True when the function is known.
    auto FindLibraryFunction(VEXA::HookSlot& Slot, RC::StringViewType LibraryPath, RC::StringViewType Function) -> bool;

    template <const HookSpec& Hook>
    auto RegisterLibraryHook(VEXA::HookSlot& Slot, RC::StringViewType LibraryPath) -> bool
    {
        if (Slot.Function != nullptr)
        {
            return true;
        }
        if (FindLibraryFunction(Slot, LibraryPath, Hook.Function) && Slot.Ids == VEXA::HookIds{0, 0})
        {
            Slot.Ids = HookFunction<Hook>(Slot.Function);
        }
        return Slot.Function != nullptr;
    }
} // namespace BRMB
