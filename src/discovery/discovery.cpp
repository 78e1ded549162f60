// Non-template parts of the discovery mechanism.
#include "discovery/discovery.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include <Unreal/UObjectGlobals.hpp>

namespace BRMB::Discovery
{
    namespace
    {
        struct KeptTick
        {
            const RC::CharType* Callback; // the Config's constant: compared by address
            RC::Unreal::Hook::GlobalCallbackId Id;
        };

        auto Kept() -> std::vector<KeptTick>&
        {
            static std::vector<KeptTick> Ticks;
            return Ticks;
        }
    } // namespace

    auto FindLibrary(RC::Unreal::UObject*& Library, const RC::StringType& LibraryPath) -> bool
    {
        if (Library == nullptr)
        {
            Library = RC::Unreal::UObjectGlobals::FindObject(nullptr, nullptr, LibraryPath.c_str(), false, nullptr);
        }
        return Library != nullptr;
    }

    auto RegisterTick(const RC::CharType* Owner, const RC::CharType* Callback, RC::Unreal::Hook::EngineTickCallbackWithData Tick)
        -> void
    {
        RC::Unreal::Hook::FCallbackOptions Options;
        Options.OwnerModName = Owner;
        Options.HookName = Callback;
        Kept().reserve(Kept().size() + 1); // room first: a registered callback is always kept
        const RC::Unreal::Hook::GlobalCallbackId Id =
            RC::Unreal::Hook::RegisterEngineTickPreCallback(std::move(Tick), std::move(Options));
        if (Id != 0) // the host's error id
        {
            Kept().push_back({Callback, Id});
        }
    }

    auto ForgetTick(const RC::CharType* Callback) -> void
    {
        std::erase_if(Kept(), [Callback](const KeptTick& Tick) { return Tick.Callback == Callback; });
    }

    auto UnregisterTicks() -> void
    {
        const std::vector<KeptTick> Ticks = std::exchange(Kept(), {});
        for (const KeptTick& Tick : Ticks)
        {
            RC::Unreal::Hook::UnregisterCallback(Tick.Id);
        }
    }
} // namespace BRMB::Discovery
