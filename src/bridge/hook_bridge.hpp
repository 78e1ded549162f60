// The one mechanism behind every Blueprint hook of the three services: a hook description names
// the function, the parameters it must declare and its handler; the pre-callback runs the
// handler inside the exception boundary, the post-callback is empty and the custom data is
// null. Game thread only.
#pragma once

#include <cstdint>
#include <exception>
#include <span>
#include <string_view>

#include <HookSlot.hpp>
#include <String/StringType.hpp>
#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/UFunctionStructs.hpp>
#include <Unreal/UObjectGlobals.hpp>

#include "bridge/guard.hpp"

namespace BRMB::Bridge
{
    using HookContext = RC::Unreal::UnrealScriptFunctionCallableContext;
    using HookHandler = void (*)(HookContext&);

    enum class ParamType
    {
        String,          // FString, 16 bytes
        Name,            // FName, 8 bytes
        ObjectReference, // UObject*, 8 bytes; not a class reference
        ClassReference,  // UClass*, 8 bytes
        Value8,          // any 8-byte value: the game's entry type, or bytes the hook never reads
    };

    enum class Direction
    {
        In,  // an input pin; a hook may write its answer over it in the block
        Out, // an output pin
    };

    // One parameter a hooked function must declare: the handler reads and writes the block at
    // Offset.
    struct Param
    {
        const RC::CharType* Name; // as the simulator declares it; the engine's names are not compared
        ParamType Type;
        int32_t Offset;
        int32_t Size;
        Direction Dir;
    };

    struct HookedFunction
    {
        const RC::CharType* Prefix;   // of the failure lines: the service's log prefix
        const RC::CharType* Function; // the Blueprint function's name
        HookHandler Handler;
        std::span<const Param> Params; // in declaration order
    };

    // The handler wrapped in the boundary, as a capture-free callable: the description is a constant.
    template <const HookedFunction& Hook>
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

    // True when Function declares exactly Hook's parameters (types, offsets, sizes and
    // directions, in order); otherwise logs "<Prefix> : <name> parameters differ : expected ... :
    // found ..." at level 1. The handler reads and writes the block at these offsets, so a
    // function declared otherwise must never be hooked.
    auto CheckParameters(RC::Unreal::UFunction& Function, const HookedFunction& Hook) -> bool;

    // Keeps a hook the host installed, so that RemoveRecordedHooks can take it out again; a
    // hook that cannot be kept is removed at once and the failure thrown.
    auto RecordHook(RC::Unreal::UFunction* Function, VEXA::HookIds Ids) -> void;
    // Removes every kept hook from the host and forgets them. Never from inside a hook.
    auto RemoveRecordedHooks() -> void;

    // Hooks Function with Hook's handler once its parameters match Hook's; returns the host's
    // ids. A host throws when it cannot hook a function, or answers (0, 0) in some versions: both
    // are reported alike and answered as (0, 0), so every caller has one failure to handle and
    // the exception goes no further. A mismatch is answered as (0, 0) too. Every hook
    // installed is kept for its removal at uninstall.
    template <const HookedFunction& Hook>
    auto HookFunction(RC::Unreal::UFunction* Function) noexcept -> VEXA::HookIds
    {
        try
        {
            if (!CheckParameters(*Function, Hook))
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
} // namespace BRMB::Bridge
