// Linux side of the OS seam: dlopen for mods, the file-system identity for restricted calls.
#if !defined(_WIN32)

#include "os.hpp"

#include <dlfcn.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <stdexcept>

namespace RC::Sim::Os
{
    auto OpenLibrary(const std::string& Utf8Path) -> void*
    {
        void* Library = ::dlopen(Utf8Path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (Library == nullptr)
        {
            const char* Reason = ::dlerror();
            throw std::runtime_error("cannot load library " + Utf8Path + ": " +
                                     (Reason != nullptr ? Reason : "unknown error"));
        }
        return Library;
    }

    auto FindSymbol(void* Library, const char* Name) -> void* { return ::dlsym(Library, Name); }

    auto CloseLibrary(void* Library) noexcept -> void
    {
        if (Library != nullptr)
        {
            ::dlclose(Library);
        }
    }

    namespace
    {
        constexpr unsigned Nobody = 65534;
    }

    // Moving the fs uid away from 0 drops the capabilities that bypass file permissions;
    // moving it back restores them.
    RestrictedFileAccess::RestrictedFileAccess()
    {
        if (::geteuid() != 0)
        {
            return;
        }
        PreviousGroup = static_cast<unsigned>(::setfsgid(Nobody));
        PreviousUser = static_cast<unsigned>(::setfsuid(Nobody));
        Switched = true;
    }

    RestrictedFileAccess::~RestrictedFileAccess()
    {
        if (Switched)
        {
            ::setfsuid(PreviousUser);
            ::setfsgid(PreviousGroup);
        }
    }
} // namespace RC::Sim::Os

#endif
