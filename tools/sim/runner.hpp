// The step runner: one scenario in a fresh engine, a fresh working folder and a freshly loaded
// mod, loaded exactly as the host loads it; plays the steps and checks their expectations.
#pragma once

#include <stdexcept>

#include "sim/report.hpp"
#include "sim/scenario.hpp"

namespace BRMB::Sim
{
    // The simulator itself could not run a scenario (mod not loadable, no working folder).
    class RunError : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // Checks the scenario against its Blueprint half in a fresh engine; throws InvalidScenario.
    auto Validate(const Scenario& Plan) -> void;

    // True when every expectation held; stops the scenario at its first failing step.
    auto RunScenario(const Scenario& Plan, const Options& Settings, Reporter& Report) -> bool;
} // namespace BRMB::Sim
