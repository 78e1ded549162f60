// Reads scenario files: JSON (comments allowed), checked against the scenario schema, into a
// Scenario. References to the Blueprint half are checked later, against the
// built world (world.hpp).
#pragma once

#include <string>
#include <string_view>

#include "sim/scenario.hpp"

namespace BRMB::Sim
{
    // Throws InvalidScenario naming File, the step and the field.
    [[nodiscard]] auto ParseScenario(std::string_view Json, const std::string& File) -> Scenario;
    // The format as a JSON Schema, written from the fields the loader reads: what files are checked
    // against, and what docs/scenario.schema.json holds.
    [[nodiscard]] auto ScenarioSchema() -> std::string;
    // Reads the file as well; an unreadable file is an InvalidScenario too.
    [[nodiscard]] auto LoadScenario(const std::string& Utf8Path) -> Scenario;
} // namespace BRMB::Sim
