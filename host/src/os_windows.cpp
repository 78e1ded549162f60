// Windows side of the OS seam: LoadLibraryW for mods. File access needs no identity switch:
// tests there deny access with read-only attributes, which bind every user.
#if defined(_WIN32)

#include "os.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace RC::Sim::Os
{
    namespace
    {
        auto Widen(const std::string& Utf8) -> std::wstring
        {
            if (Utf8.empty())
            {
                return {};
            }
            const int Length = ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), nullptr, 0);
            std::wstring Wide(static_cast<size_t>(Length), L'\0');
            ::MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), Wide.data(), Length);
            return Wide;
        }
    } // namespace

    auto OpenLibrary(const std::string& Utf8Path) -> void*
    {
        HMODULE Library = ::LoadLibraryW(Widen(Utf8Path).c_str());
        if (Library == nullptr)
        {
            throw std::runtime_error("cannot load library " + Utf8Path + ": error " +
                                     std::to_string(::GetLastError()));
        }
        return static_cast<void*>(Library);
    }

    auto FindSymbol(void* Library, const char* Name) -> void*
    {
        const FARPROC Address = ::GetProcAddress(static_cast<HMODULE>(Library), Name);
        void* Symbol = nullptr;
        static_assert(sizeof(Symbol) == sizeof(Address));
        std::memcpy(&Symbol, &Address, sizeof(Symbol));
        return Symbol;
    }

    auto CloseLibrary(void* Library) noexcept -> void
    {
        if (Library != nullptr)
        {
            ::FreeLibrary(static_cast<HMODULE>(Library));
        }
    }

    RestrictedFileAccess::RestrictedFileAccess() = default;
    RestrictedFileAccess::~RestrictedFileAccess() = default;
} // namespace RC::Sim::Os

#endif
