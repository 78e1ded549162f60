// The failure line of the exception boundary, and the callback gate.
#include "bridge/guard.hpp"

#include <atomic>
#include <thread>

#include "bridge/log.hpp"
#include "bridge/text.hpp"

namespace BRMB::Bridge
{
    namespace
    {
        // Sequentially consistent on both sides: a callback counts itself in before it looks at
        // Closed, and the closer sets Closed before it looks at the count, so one of them always
        // sees the other.
        std::atomic<int> Inside{0};
        std::atomic<bool> Closed{false};
        // This thread's own callbacks in progress: closing from inside one must not wait for it.
        thread_local int InsideHere = 0;
    } // namespace

    CallbackScope::CallbackScope() noexcept
    {
        Inside.fetch_add(1);
        ++InsideHere;
        Entered = !Closed.load();
    }

    CallbackScope::~CallbackScope()
    {
        --InsideHere;
        Inside.fetch_sub(1);
    }

    auto CloseCallbacks() noexcept -> void
    {
        Closed.store(true);
        while (Inside.load() != InsideHere)
        {
            std::this_thread::yield();
        }
    }

    auto OpenCallbacks() noexcept -> void
    {
        Closed.store(false);
    }

    auto ReportFailure(RC::StringViewType Prefix, RC::StringViewType Name, std::string_view What) noexcept -> void
    {
        try
        {
            RC::StringType Line;
            Line.append(Prefix).append(STR(" : ")).append(Name).append(STR(" failed : "));
            Line.append(Text::Utf8ToUtf16(What));
            LogLine(Line);
        }
        catch (...)
        {
            // Nowhere left to report to (no log devices, or no memory): dropping is all that is safe.
        }
    }
} // namespace BRMB::Bridge
