// Scenario files checked against the format's JSON Schema (loader.hpp writes it) before their
// names and references are.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

namespace BRMB::Sim
{
    // Throws InvalidScenario naming File, the step and the field of the first problem found.
    auto CheckSchema(const nlohmann::json& Document, const std::string& File) -> void;
} // namespace BRMB::Sim
