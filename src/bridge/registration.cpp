// Hooking the Blueprint functions of a registered object.
#include "bridge/registration.hpp"

#include <Unreal/UObject.hpp>

#include "bridge/log.hpp"

namespace BRMB::Bridge
{
    auto HookRegisteredObject(RC::Unreal::UObject& Object, std::span<const RegisteredObjectFunction> Functions)
        -> void
    {
        constexpr VEXA::HookIds NotHooked{0, 0};
        for (const RegisteredObjectFunction& Entry : Functions)
        {
            if (*Entry.Ids != NotHooked)
            {
                continue;
            }
            RC::Unreal::UFunction* const Function = Object.GetFunctionByName(Entry.Name);
            if (Function == nullptr)
            {
                LogLine(Entry.MissingLine);
                continue;
            }
            *Entry.Ids = Entry.Hook(Function);
            if (*Entry.Ids == NotHooked && !Entry.HookFailedLine.empty())
            {
                LogLine(Entry.HookFailedLine);
            }
        }
    }
} // namespace BRMB::Bridge
