// Engine-tick callbacks. They run on the game thread before each engine tick.
#pragma once

#include <cstdint>
#include <functional>

#include <HostApi.hpp>
#include <String/StringType.hpp>

namespace RC::Unreal
{
    class UEngine;
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

    // Runs Callback before every engine tick; ERROR_ID when it cannot be registered.
    RC_HOST_API auto RegisterEngineTickPreCallback(EngineTickCallbackWithData Callback, FCallbackOptions Options)
        -> GlobalCallbackId;
} // namespace RC::Unreal::Hook
