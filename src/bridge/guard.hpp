// The exception boundary around every hook pre-callback and engine-tick callback: the real
// host lets an exception from a tick callback take the game down, so nothing may leave one.
#pragma once

#include <exception>
#include <string_view>

#include <String/StringType.hpp>

namespace BRMB::Bridge
{
    // The gate every callback of the mod passes before it touches the services' state. The
    // host's event-loop thread closes it (uninstall_mod, the start-up) while the game thread may
    // be inside a hook or discovery pass: closing turns new entries away and waits for the ones
    // inside to leave. No lock is held while waiting, and none while calling into the host, so a
    // host that holds its own lock while it runs a callback cannot deadlock with it.
    class CallbackScope
    {
    public:
        CallbackScope() noexcept;
        CallbackScope(const CallbackScope&) = delete;
        auto operator=(const CallbackScope&) -> CallbackScope& = delete;
        ~CallbackScope();

        // False when the gate is closed: the callback must return without touching anything.
        [[nodiscard]] auto Open() const -> bool { return Entered; }

    private:
        bool Entered;
    };

    // Turns new callbacks away and waits until none is inside (but those of this thread).
    auto CloseCallbacks() noexcept -> void;
    auto OpenCallbacks() noexcept -> void;

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
} // namespace BRMB::Bridge
