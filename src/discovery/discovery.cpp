// Non-template parts of the discovery mechanism.
#include "discovery/discovery.hpp"

#include <utility>

#include "discovery/library_watch.hpp"

namespace BRMB::Discovery
{
    auto FindLibrary(RC::Unreal::UObject*& Library, const RC::StringType& LibraryPath) -> bool
    {
        if (Library == nullptr)
        {
            Library = SeekLibrary(LibraryPath);
        }
        return Library != nullptr;
    }

    auto RegisterTick(const RC::CharType* Owner, const RC::CharType* Callback, RC::Unreal::Hook::EngineTickCallbackWithData Tick)
        -> void
    {
        RC::Unreal::Hook::FCallbackOptions Options;
        Options.OwnerModName = Owner;
        Options.HookName = Callback;
        RC::Unreal::Hook::RegisterEngineTickPreCallback(std::move(Tick), std::move(Options));
    }
} // namespace BRMB::Discovery
