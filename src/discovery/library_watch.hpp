// Finds the Blueprint libraries without searching the whole object array on a pass. A listener
// on the engine's object array notes every object that enters it under a watched library's name
// (the engine calls it on loading threads too, so it only compares names and hands matches over
// under a short lock); the array as it stood before the listener came is walked in bounded
// slices, one per pass that still waits. A library's functions come from its own class, through
// its class-default object, never from the array. Game thread, except the listener.
#pragma once

#include <cstdint>

#include <String/StringType.hpp>

namespace RC::Unreal
{
    class UFunction;
    class UObject;
} // namespace RC::Unreal

namespace BRMB::Discovery
{
    // Objects one lookup walks at most: the bound of what a pass costs the frame.
    inline constexpr int32_t SliceObjects = 2048;

    // The library class at LibraryPath ("<package>.<class>") once it and its class-default object
    // have been seen; null before. While it is unknown, a call takes the listener's notes and
    // walks at most one slice of the array.
    auto SeekLibrary(RC::StringViewType LibraryPath) -> RC::Unreal::UObject*;

    // A function that the library's own class declares; null while the library is unknown (a
    // call then seeks the library as above) or lacks it.
    auto SeekLibraryFunction(RC::StringViewType LibraryPath, const RC::StringType& Function) -> RC::Unreal::UFunction*;

    // Removes the listeners and forgets every library seen; the next lookup starts afresh. The
    // mod's uninstall calls it, so no listener outlives the mod's code.
    auto StopWatching() -> void;
} // namespace BRMB::Discovery
