// Library-function lookup and the failure line of the hook bridge.
#include "core/hook_bridge.hpp"

#include "discovery/library_watch.hpp"

namespace BRMB
{
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
        Slot.Function = Discovery::SeekLibraryFunction(LibraryPath, RC::StringType(Function));
        return Slot.Function != nullptr;
    }
} // namespace BRMB
