// The built-in demo: a scenario that exercises every service end to end, run when the
// simulator is given no file.
#pragma once

#include <string_view>

namespace BRMB::Sim
{
    [[nodiscard]] auto DemoScenario() -> std::string_view;
} // namespace BRMB::Sim
