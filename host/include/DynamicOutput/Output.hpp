// The host's log output: format a line and hand it to every default device.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <DynamicOutput/OutputDevice.hpp>
#include <HostApi.hpp>
#include <String/StringType.hpp>

namespace RC::LogLevel
{
    enum LogLevel : int32_t
    {
        Default = 0,
        Normal = 1,
        Verbose = 2,
        Warning = 3,
        Error = 4,
    };
} // namespace RC::LogLevel

namespace RC::Output
{
    inline constexpr auto NoDevicesError =
        "[Output::send] Attempted to send but there were no default devices. Please specify at least one default "
        "device or construct a Targets object and supply your own devices.";

    class RC_HOST_API DefaultTargets
    {
    public:
        static auto get_default_devices_ref() -> std::vector<std::unique_ptr<OutputDevice>>&;
    };

    // Delivers an already formatted line. An empty device list drops the line; a list that
    // becomes empty or holds a null entry during delivery raises NoDevicesError.
    RC_HOST_API auto deliver_to_default_devices(StringViewType text, int32_t level) -> void;

    namespace detail
    {
#if FMT_VERSION >= 110000
        using Context = fmt::buffered_context<CharType>;
#else
        using Context = fmt::buffer_context<CharType>;
#endif
    } // namespace detail

    // Without arguments the content goes out as it stands: a "{" in it is just a character.
    template <LogLevel::LogLevel Level = LogLevel::Default>
    auto send(StringViewType content) -> void
    {
        deliver_to_default_devices(content, static_cast<int32_t>(Level));
    }

    // With arguments the content is a format string with "{}" placeholders.
    template <LogLevel::LogLevel Level = LogLevel::Default, typename Arg, typename... Args>
    auto send(StringViewType content, const Arg& arg, const Args&... args) -> void
    {
        const auto text = fmt::vformat(fmt::basic_string_view<CharType>(content.data(), content.size()),
                                       fmt::make_format_args<detail::Context>(arg, args...));
        deliver_to_default_devices(StringViewType(text), static_cast<int32_t>(Level));
    }
} // namespace RC::Output
