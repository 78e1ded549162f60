// The exception boundary around every hook pre-callback and engine-tick callback: the real
// host lets an exception from a tick callback take the game down, so nothing may leave one.
#pragma once

#include <exception>
#include <string_view>

#include <String/StringType.hpp>

namespace BRMB
{
    // Logs "<Prefix> : <Name> failed : <What>" at level 1; drops the line silently when even
    // that cannot be sent.
    auto ReportFailure(RC::StringViewType Prefix, RC::StringViewType Name, std::string_view What) noexcept -> void;

    // Prefix and Name are NUL-terminated constants, measured only when a failure is reported:
    // an idle engine tick runs through here and must cost next to nothing.
    template <typename Body>
    auto Guarded(const RC::CharType* Prefix, const RC::CharType* Name, Body&& Run) noexcept -> void
    {
        try
        {
            Run();
        }
        catch (const std::exception& Error)
        {
            ReportFailure(Prefix, Name, Error.what());
        }
        catch (...)
        {
            ReportFailure(Prefix, Name, "unknown error");
        }
    }
} // namespace BRMB
