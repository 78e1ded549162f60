// The simulator runs each scenario in a child process, a second run of its own executable, so
// a mod that crashes takes down only the scenario it crashed in. POSIX and Windows each have
// their own way to start a program and to tell a crash from an exit.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace BRMB::Sim
{
    struct ChildEnd
    {
        int ExitCode = 0;                  // when the child exited
        std::optional<std::string> Crash;  // "signal 11 (Segmentation fault)", "exception 0xc0000005"
    };

    // This executable's own path, UTF-8.
    [[nodiscard]] auto OwnExecutable() -> std::string;

    // Runs Program with Arguments (UTF-8, passed through unchanged), sharing this process's
    // standard streams, and waits for it. Throws std::runtime_error when it cannot start.
    [[nodiscard]] auto RunChild(const std::string& Program, const std::vector<std::string>& Arguments) -> ChildEnd;

    // In a child: a crash ends the process at once, with no dialog waiting for a user.
    auto QuietCrashes() -> void;
} // namespace BRMB::Sim
