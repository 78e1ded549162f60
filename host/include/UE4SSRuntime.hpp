// What the host could hook in this game: the engine tick is found by a signature scan that
// fails on some games, and players can turn it off.
#pragma once

#include <HostApi.hpp>

namespace RC::UE4SSRuntime
{
    // False when engine-tick callbacks never run.
    RC_HOST_API auto IsEngineTickAvailable() -> bool;
    // False when ProcessEvent callbacks never run.
    RC_HOST_API auto IsProcessEventAvailable() -> bool;
} // namespace RC::UE4SSRuntime
