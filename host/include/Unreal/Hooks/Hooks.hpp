// Engine callbacks: engine-tick and ProcessEvent pre-callbacks. They run on the game thread.
#pragma once

#include <cstdint>
#include <functional>

#include <HostApi.hpp>
#include <String/StringType.hpp>

namespace RC::Unreal
{
    class UEngine;
    class UFunction;
    class UObject;
}

namespace RC::Unreal::Hook
{
    struct FCallbackOptions
    {
        bool bOnce = false;
        bool bReadonly = false;
        StringType OwnerModName;
        StringType HookName;
    };

    using GlobalCallbackId = uint64_t;
    inline constexpr GlobalCallbackId ERROR_ID = 0;

    template <typename T>
    class TCallbackIterationData
    {
    public:
        TCallbackIterationData() = default;
        TCallbackIterationData(const TCallbackIterationData&) = delete;
        TCallbackIterationData(TCallbackIterationData&&) = delete;
        auto operator=(const TCallbackIterationData&) -> TCallbackIterationData& = delete;
        auto operator=(TCallbackIterationData&&) -> TCallbackIterationData& = delete;

        // Ends the callback after this call; it is not called again.
        auto RemoveSelf() -> void { bRemoveSelf = true; }
        [[nodiscard]] auto IsRemovingSelf() const -> bool { return bRemoveSelf; }

    private:
        bool bRemoveSelf = false;
    };

    // The hooked engine tick's signature with the iteration data put first.
    using EngineTickCallbackWithData =
        std::function<void(TCallbackIterationData<void>& Data, UEngine* Engine, float DeltaSeconds, bool bIdleMode)>;

    // The hooked ProcessEvent's signature with the iteration data put first.
    using ProcessEventCallbackWithData =
        std::function<void(TCallbackIterationData<void>& Data, UObject* Context, UFunction* Function, void* Parms)>;

    // Runs Callback before every engine tick; ERROR_ID when it cannot be registered.
    RC_HOST_API auto RegisterEngineTickPreCallback(EngineTickCallbackWithData Callback, FCallbackOptions Options)
        -> GlobalCallbackId;
    // Runs Callback before every ProcessEvent call (thousands a frame); ERROR_ID when it cannot
    // be registered.
    RC_HOST_API auto RegisterProcessEventPreCallback(ProcessEventCallbackWithData Callback, FCallbackOptions Options)
        -> GlobalCallbackId;
    // Removes a callback registered by either function above; false when the id is unknown.
    // Never from inside the callback being removed (the real host deadlocks; the stand-in throws
    // std::logic_error): a running callback ends itself with RemoveSelf().
    RC_HOST_API auto UnregisterCallback(GlobalCallbackId Id) -> bool;
} // namespace RC::Unreal::Hook
