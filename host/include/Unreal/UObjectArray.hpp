// The engine's object array as the host exposes it: listeners told of every object that gets an
// index (constructed or loaded from a package) and of every object the engine destroys. The
// engine calls them on whichever thread creates or destroys the object (loading threads too),
// while it holds its object-array lock.
#pragma once

#include <cstdint>

#include <HostApi.hpp>

namespace RC::Unreal
{
    class UObjectBase;

    class FUObjectCreateListener
    {
    public:
        virtual ~FUObjectCreateListener() = default;
        // The object's name, outer and class are set by now.
        virtual void NotifyUObjectCreated(const UObjectBase* Object, int32_t Index) = 0;
        virtual void OnUObjectArrayShutdown() = 0;
    };

    class FUObjectDeleteListener
    {
    public:
        virtual ~FUObjectDeleteListener() = default;
        virtual void NotifyUObjectDeleted(const UObjectBase* Object, int32_t Index) = 0;
        virtual void OnUObjectArrayShutdown() = 0;
    };

    class RC_HOST_API UObjectArray
    {
    public:
        static auto AddUObjectCreateListener(FUObjectCreateListener* Listener) -> void;
        static auto RemoveUObjectCreateListener(FUObjectCreateListener* Listener) -> void;
        static auto AddUObjectDeleteListener(FUObjectDeleteListener* Listener) -> void;
        static auto RemoveUObjectDeleteListener(FUObjectDeleteListener* Listener) -> void;
    };
} // namespace RC::Unreal
