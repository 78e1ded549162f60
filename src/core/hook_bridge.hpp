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

#include "core/contract.hpp"
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
        return [](HookContext& Context, void*) {
            const CallbackScope Scope;
            if (Scope.Open())
            {
                Guarded(Hook.Prefix, Hook.Function, [&] { Hook.Handler(Context); });
            }
        };
    }

    inline auto EmptyCallback() -> RC::Unreal::UnrealScriptFunctionCallable
    {
        return [](HookContext&, void*) {};
    }

    // Logs "<Prefix> : <Function> hook failed : <What>" at level 1.
    auto ReportHookFailure(const RC::CharType* Prefix, const RC::CharType* Function, std::string_view What) noexcept
        -> void;

    // True when Function declares exactly Expected's parameters (types, offsets, sizes and
    // directions, in order); otherwise logs "<Prefix> : <name> parameters differ : expected ... :
    // found ..." at level 1. The handler reads and writes the block at the contract's offsets,
    // so a function declared otherwise must never be hooked.
    auto CheckParameters(const RC::CharType* Prefix, RC::Unreal::UFunction& Function,
                         const Contract::Function& Expected) -> bool;

    // Keeps a hook the host installed, so that RemoveRecordedHooks can take it out again; a
    // hook that cannot be kept is removed at once and the failure thrown.
    auto RecordHook(RC::Unreal::UFunction* Function, VEXA::HookIds Ids) -> void;
    // Removes every kept hook from the host and forgets them. Never from inside a hook.
    auto RemoveRecordedHooks() -> void;

    // Hooks Function with Hook's handler once its parameters match the contract; returns the
    // host's ids. Current hosts throw when they cannot hook a function, older ones answer (0, 0):
    // both are reported alike and answered as (0, 0), so every caller has one failure to handle
    // and the exception goes no further. A mismatch is answered as (0, 0) too. Every hook
    // installed is kept for its removal at uninstall.
    template <const HookSpec& Hook>
    auto HookFunction(RC::Unreal::UFunction* Function) noexcept -> VEXA::HookIds
    {
        constexpr size_t ContractEntry = Contract::IndexOf(Hook.Function);
        static_assert(ContractEntry < std::size(Contract::Functions), "every hooked function has a contract");
        try
        {
            if (!CheckParameters(Hook.Prefix, *Function, Contract::Functions[ContractEntry]))
            {
                return {0, 0};
            }
            const VEXA::HookIds Ids =
                RC::Unreal::UObjectGlobals::RegisterHook(Function, PreCallback<Hook>(), EmptyCallback(), nullptr);
            if (Ids == VEXA::HookIds{0, 0})
            {
                ReportHookFailure(Hook.Prefix, Hook.Function, "the host answered no ids");
            }
            else
            {
                RecordHook(Function, Ids);
            }
            return Ids;
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
