// The scenario format as a JSON Schema (docs/scenario.schema.json, built into the simulator):
// every file is checked against it before its names and references are.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

namespace BRMB::Sim
{
    // Throws InvalidScenario naming File, the step and the field of the first problem found.
    auto CheckSchema(const nlohmann::json& Document, const std::string& File) -> void;
} // namespace BRMB::Sim
