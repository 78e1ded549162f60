// The host's one seam to the operating system: shared libraries and the file-access identity
// of Blueprint calls. os_posix.cpp and os_windows.cpp implement it.
#pragma once

#include <string>

namespace RC::Sim::Os
{
    // Throws std::runtime_error naming the path and the system's reason.
    auto OpenLibrary(const std::string& Utf8Path) -> void*;
    // Null when the library does not export Name.
    auto FindSymbol(void* Library, const char* Name) -> void*;
    auto CloseLibrary(void* Library) noexcept -> void;

    // While alive, file access runs as an unprivileged user when the process is privileged, so
    // permissions that deny access are honoured. Does nothing where that cannot be done.
    class RestrictedFileAccess
    {
    public:
        RestrictedFileAccess();
        RestrictedFileAccess(const RestrictedFileAccess&) = delete;
        auto operator=(const RestrictedFileAccess&) -> RestrictedFileAccess& = delete;
        ~RestrictedFileAccess();

    private:
        bool Switched = false;
        unsigned PreviousUser = 0;
        unsigned PreviousGroup = 0;
    };
} // namespace RC::Sim::Os
