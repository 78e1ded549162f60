// Library-function lookup and the failure line of the hook bridge.
#include "core/hook_bridge.hpp"

#include <utility>
#include <vector>

#include <Unreal/UObject.hpp>

namespace BRMB
{
    namespace
    {
        struct RecordedHook
        {
            RC::Unreal::UFunction* Function;
            VEXA::HookIds Ids;
        };

        auto Recorded() -> std::vector<RecordedHook>&
        {
            static std::vector<RecordedHook> Hooks;
            return Hooks;
        }
    } // namespace

    auto RecordHook(RC::Unreal::UFunction* Function, VEXA::HookIds Ids) -> void
    {
        try
        {
            Recorded().push_back({Function, Ids});
        }
        catch (...)
        {
            // A hook that could not be kept could not be removed at uninstall either.
            RC::Unreal::UObjectGlobals::UnregisterHook(Function, Ids);
            throw;
        }
    }

    auto RemoveRecordedHooks() -> void
    {
        // Taken out of the list first: a failing removal is not retried on the next uninstall.
        const std::vector<RecordedHook> Hooks = std::exchange(Recorded(), {});
        for (const RecordedHook& Hook : Hooks)
        {
            RC::Unreal::UObjectGlobals::UnregisterHook(Hook.Function, Hook.Ids);
        }
    }

    auto ReportHookFailure(const RC::CharType* Prefix, const RC::CharType* Function, std::string_view What) noexcept
        -> void
    {
        try
        {
            ReportFailure(Prefix, RC::StringType(Function) + STR(" hook"), What);
        }
        catch (...)
        {
            // No memory for the name: nothing safe is left to report with.
        }
    }

    auto FindLibraryFunction(VEXA::HookSlot& Slot, RC::StringViewType LibraryPath, RC::StringViewType Function) -> bool
    {
        RC::StringType Path;
        Path.reserve(LibraryPath.size() + 1 + Function.size());
        Path.append(LibraryPath).push_back(STR(':'));
        Path.append(Function);
        // Only a function lives at "<library>:<name>"; the host's objects are not C++-polymorphic
        // in the real engine, so no dynamic_cast.
        Slot.Function = static_cast<RC::Unreal::UFunction*>(
            RC::Unreal::UObjectGlobals::FindObject(nullptr, nullptr, Path.c_str(), false, nullptr));
        return Slot.Function != nullptr;
    }
} // namespace BRMB
