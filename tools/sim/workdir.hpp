// A fresh temporary working folder that a scenario runs in as the process's current directory;
// the files a scenario lays out are created inside it, and nothing outside it is touched.
#pragma once

#include <filesystem>
#include <vector>

#include "sim/scenario.hpp"

namespace BRMB::Sim
{
    class Workdir
    {
    public:
        // Creates the folder and makes it the current directory. Throws std::runtime_error.
        explicit Workdir(bool Keep);
        Workdir(const Workdir&) = delete;
        auto operator=(const Workdir&) -> Workdir& = delete;
        // Returns to the previous directory and removes the folder unless it is kept.
        ~Workdir();

        [[nodiscard]] auto Path() const -> const std::filesystem::path& { return Folder; }
        // Creates folders and files (missing parents too), then applies their modes. With
        // ForOthers, what is normal is open to every user, because the host then runs Blueprint
        // calls as an unprivileged one.
        auto LayOut(const std::vector<FileDecl>& Files, bool ForOthers) const -> void;

        // Removes a working folder that a crashed scenario's process left, locked parts too.
        static auto Remove(const std::filesystem::path& Folder) -> void;

    private:
        std::filesystem::path Previous;
        std::filesystem::path Folder;
        bool Keep;
    };
} // namespace BRMB::Sim
