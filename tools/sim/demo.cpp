#include "sim/demo.hpp"

namespace BRMB::Sim
{
    auto DemoScenario() -> std::string_view
    {
        return R"json({
  "name": "Brambleon demo",
  "steps": [
    { "section": "start-up", "tick": 1.0 }
  ]
})json";
    }
} // namespace BRMB::Sim
