// A log device of the host: receives each line, with its level when it asks for it.
#pragma once

#include <cstdint>

#include <String/StringType.hpp>

namespace RC::Output
{
    class OutputDevice
    {
    public:
        virtual ~OutputDevice() = default;

        // True when the device wants the log level passed with each line.
        [[nodiscard]] virtual auto has_optional_arg() const -> bool { return false; }
        virtual auto receive(StringViewType text) const -> void = 0;
        virtual auto receive_with_optional_arg(StringViewType text, int32_t level = 0) const -> void
        {
            (void)level;
            receive(text);
        }
    };
} // namespace RC::Output
