#include "sim/paths.hpp"

#include <algorithm>

namespace BRMB::Sim
{
    auto PathFromUtf8(const std::string& Text) -> std::filesystem::path
    {
        return std::filesystem::path(std::u8string(Text.begin(), Text.end()));
    }

    auto PathToUtf8(const std::filesystem::path& Path) -> std::string
    {
        const auto Text = Path.u8string();
        return {Text.begin(), Text.end()};
    }

    auto PathStem(const std::string& Utf8Path) -> std::string
    {
        return PathToUtf8(PathFromUtf8(Utf8Path).stem());
    }

    auto IsInsideWorkdir(const std::string& Utf8Path) -> bool
    {
        // Both separators count, as on Windows, wherever the scenario runs.
        std::string Text = Utf8Path;
        for (char& Char : Text)
        {
            if (Char == '\\')
            {
                Char = '/';
            }
        }
        if (Text.empty() || Text.front() == '/' || Text.find(':') != std::string::npos)
        {
            return false;
        }
        size_t Start = 0;
        while (Start <= Text.size())
        {
            const auto End = std::min(Text.find('/', Start), Text.size());
            if (Text.compare(Start, End - Start, "..") == 0)
            {
                return false;
            }
            Start = End + 1;
        }
        return true;
    }
} // namespace BRMB::Sim
