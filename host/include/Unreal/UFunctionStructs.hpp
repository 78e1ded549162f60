// What a Blueprint-function hook receives.
#pragma once

#include <functional>

#include <Unreal/FFrame.hpp>

namespace RC::Unreal
{
    class UObject;

    struct UnrealScriptFunctionCallableContext
    {
        UObject* Context;
        FFrame& TheStack;
        void* RESULT_DECL;
    };

    using UnrealScriptFunctionCallable = std::function<void(UnrealScriptFunctionCallableContext&, void*)>;
} // namespace RC::Unreal
