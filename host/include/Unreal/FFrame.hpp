// The Blueprint stack frame of a call; Locals() is the call's parameter block.
#pragma once

#include <cstdint>

#include <HostApi.hpp>

namespace RC::Unreal
{
    class UFunction;
    class UObject;

    class RC_HOST_API FFrame
    {
    public:
        FFrame(UFunction* InNode, UObject* InObject, uint8_t* InLocals) : Node(InNode), Object(InObject), LocalsPtr(InLocals) {}

        // The call's parameter block.
        [[nodiscard]] auto Locals() -> uint8_t* { return LocalsPtr; }
        [[nodiscard]] auto GetNode() const -> UFunction* { return Node; }
        [[nodiscard]] auto GetObject() const -> UObject* { return Object; }

    private:
        UFunction* Node;
        UObject* Object;
        uint8_t* LocalsPtr;
    };
} // namespace RC::Unreal
