// Paths of the simulator's own files: UTF-8 text to the platform's path type and back, so that a
// scenario under a non-ASCII folder works on Windows as well.
#pragma once

#include <filesystem>
#include <string>

namespace BRMB::Sim
{
    [[nodiscard]] auto PathFromUtf8(const std::string& Text) -> std::filesystem::path;
    [[nodiscard]] auto PathToUtf8(const std::filesystem::path& Path) -> std::string;
    // The file name without its folder and extension.
    [[nodiscard]] auto PathStem(const std::string& Utf8Path) -> std::string;
    // True for a relative path that stays inside the folder it is relative to.
    [[nodiscard]] auto IsInsideWorkdir(const std::string& Utf8Path) -> bool;
} // namespace BRMB::Sim
