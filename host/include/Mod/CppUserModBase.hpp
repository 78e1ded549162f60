// Base class of a native C++ mod, with the host's callbacks in the host's slot order.
#pragma once

#include <HostApi.hpp>
#include <String/StringType.hpp>

namespace RC
{
    class Lua; // opaque: the Lua overloads exist for slot order only

    class RC_HOST_API CppUserModBase
    {
    public:
        StringType ModName;
        StringType ModVersion;
        StringType ModDescription;
        StringType ModAuthors;
        StringType ModIntendedSDKVersion;

        CppUserModBase();
        CppUserModBase(const CppUserModBase&) = delete;
        CppUserModBase& operator=(const CppUserModBase&) = delete;
        virtual ~CppUserModBase();

        virtual auto on_update() -> void {}
        // The engine-initialised callback; nothing in the Unreal namespace may be used before it.
        virtual auto on_unreal_init() -> void {}
        virtual auto on_ui_init() -> void {}
        virtual auto on_program_start() -> void {}
        virtual auto on_lua_start(StringViewType, Lua&, Lua&, Lua&) -> void {}
        virtual auto on_lua_start(Lua&, Lua&, Lua&) -> void {}
        virtual auto on_lua_start(StringViewType, Lua&, Lua&) -> void {}
        virtual auto on_lua_start(Lua&, Lua&) -> void {}
        virtual auto on_lua_stop(StringViewType, Lua&, Lua&, Lua&) -> void {}
        virtual auto on_lua_stop(Lua&, Lua&, Lua&) -> void {}
        virtual auto on_lua_stop(StringViewType, Lua&, Lua&) -> void {}
        virtual auto on_lua_stop(Lua&, Lua&) -> void {}
        virtual auto on_dll_load(StringViewType dll_name) -> void { (void)dll_name; }
        virtual auto render_tab() -> void {}
        virtual auto on_cpp_mods_loaded() -> void {}
    };
} // namespace RC
