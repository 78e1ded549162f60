// Library-function lookup of the hook bridge.
#include "core/hook_bridge.hpp"

#include <Unreal/UObject.hpp>

namespace BRMB
{
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
