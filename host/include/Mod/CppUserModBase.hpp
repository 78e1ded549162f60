// Base class of a native C++ mod, with the host's members and virtual functions in the host's
// order, so that a mod object has the host's layout.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <HostApi.hpp>
#include <String/StringType.hpp>

namespace RC
{
    class CppUserModBase;

    namespace LuaMadeSimple
    {
        class Lua; // opaque: the Lua overloads exist for their slots only
    }

    namespace GUI
    {
        // A tab of the host's GUI; the simulated engine has no GUI and never renders one.
        class GUITab
        {
        public:
            using RenderFunctionType = std::function<void(CppUserModBase*)>;

            GUITab(StringViewType InTabName, RenderFunctionType InRender, CppUserModBase* InOwner)
                : TabName(InTabName), Render(std::move(InRender)), Owner(InOwner)
            {
            }

            StringType TabName;
            RenderFunctionType Render;
            CppUserModBase* Owner;
        };
    } // namespace GUI

    namespace Input
    {
        enum class Key : uint8_t; // virtual-key codes
        enum class ModifierKey : uint8_t;
        using EventCallbackCallable = std::function<void()>;
    } // namespace Input

    class RC_HOST_API CppUserModBase
    {
    protected:
        std::vector<std::shared_ptr<GUI::GUITab>> GUITabs;

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
        // Deprecated Lua overloads.
        virtual auto on_lua_start(StringViewType mod_name, LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua,
                                  LuaMadeSimple::Lua& async_lua, std::vector<LuaMadeSimple::Lua*>& hook_luas) -> void
        {
            (void)mod_name, (void)lua, (void)main_lua, (void)async_lua, (void)hook_luas;
        }
        virtual auto on_lua_start(LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua, LuaMadeSimple::Lua& async_lua,
                                  std::vector<LuaMadeSimple::Lua*>& hook_luas) -> void
        {
            (void)lua, (void)main_lua, (void)async_lua, (void)hook_luas;
        }
        virtual auto on_lua_stop(StringViewType mod_name, LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua,
                                 LuaMadeSimple::Lua& async_lua, std::vector<LuaMadeSimple::Lua*>& hook_luas) -> void
        {
            (void)mod_name, (void)lua, (void)main_lua, (void)async_lua, (void)hook_luas;
        }
        virtual auto on_lua_stop(LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua, LuaMadeSimple::Lua& async_lua,
                                 std::vector<LuaMadeSimple::Lua*>& hook_luas) -> void
        {
            (void)lua, (void)main_lua, (void)async_lua, (void)hook_luas;
        }
        virtual auto on_dll_load(StringViewType dll_name) -> void { (void)dll_name; }
        virtual auto render_tab() -> void {}
        // Current Lua overloads.
        virtual auto on_lua_start(StringViewType mod_name, LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua,
                                  LuaMadeSimple::Lua& async_lua, LuaMadeSimple::Lua* hook_lua) -> void
        {
            (void)mod_name, (void)lua, (void)main_lua, (void)async_lua, (void)hook_lua;
        }
        virtual auto on_lua_start(LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua, LuaMadeSimple::Lua& async_lua,
                                  LuaMadeSimple::Lua* hook_lua) -> void
        {
            (void)lua, (void)main_lua, (void)async_lua, (void)hook_lua;
        }
        virtual auto on_lua_stop(StringViewType mod_name, LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua,
                                 LuaMadeSimple::Lua& async_lua, LuaMadeSimple::Lua* hook_lua) -> void
        {
            (void)mod_name, (void)lua, (void)main_lua, (void)async_lua, (void)hook_lua;
        }
        virtual auto on_lua_stop(LuaMadeSimple::Lua& lua, LuaMadeSimple::Lua& main_lua, LuaMadeSimple::Lua& async_lua,
                                 LuaMadeSimple::Lua* hook_lua) -> void
        {
            (void)lua, (void)main_lua, (void)async_lua, (void)hook_lua;
        }
        // Virtual since hosts of 2025-12-18.
        virtual auto on_cpp_mods_loaded() -> void {}

    protected:
        auto register_tab(StringViewType tab_name, GUI::GUITab::RenderFunctionType render_function) -> void;
        // The simulated engine has no keyboard: the registration is accepted and never fires.
        auto register_keydown_event(Input::Key key, const Input::EventCallbackCallable& callback,
                                    uint8_t custom_data = 0) -> void;
        auto register_keydown_event(Input::Key key, const std::vector<Input::ModifierKey>& modifier_keys,
                                    const Input::EventCallbackCallable& callback, uint8_t custom_data = 0) -> void;
    };

    // The mod's texts as the host keeps them.
    struct ModMetadata
    {
        const StringType ModName;
        const StringType ModVersion;
        const StringType ModDescription;
        const StringType ModAuthors;
        const StringType ModIntendedSDKVersion;
    };
} // namespace RC
