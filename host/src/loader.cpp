// Loads a mod as the host does: the library by path, its entry points by name; uninstalls it
// and reinstalls it (Ctrl+R) in the host's order.
#include <Mod/CppUserModBase.hpp>

#include <cstdio>
#include <stdexcept>

#include "os.hpp"
#include "sim_state.hpp"

namespace RC::Sim
{
    namespace
    {
        using StartMod = CppUserModBase* (*)();
        using UninstallMod = void (*)(CppUserModBase*);

        template <typename Function>
        auto EntryPoint(void* Library, const char* Name, const std::string& Path) -> Function
        {
            void* Symbol = Os::FindSymbol(Library, Name);
            if (Symbol == nullptr)
            {
                throw std::runtime_error(std::string("mod library ") + Path + " lacks the entry point " + Name);
            }
            return reinterpret_cast<Function>(Symbol);
        }
    } // namespace

    LoadedMod::LoadedMod(const std::string& Utf8Path) : Path(Utf8Path), RegistrationMark(CurrentRegistrationSerial())
    {
        Load();
    }

    auto LoadedMod::Load() -> void
    {
        Library = Os::OpenLibrary(Path);
        try
        {
            const auto Start = EntryPoint<StartMod>(Library, "start_mod", Path);
            EntryPoint<UninstallMod>(Library, "uninstall_mod", Path);
            ModObject = Start();
        }
        catch (...)
        {
            ForgetCallablesSince(Engine::Get(), RegistrationMark);
            Os::CloseLibrary(Library);
            Library = nullptr;
            throw;
        }
    }

    LoadedMod::~LoadedMod()
    {
        try
        {
            Uninstall();
        }
        catch (const std::exception& Error)
        {
            std::fprintf(stderr, "uninstall_mod failed: %s\n", Error.what());
        }
        // The callables' code lives in the library: they must go before it does.
        ForgetCallablesSince(Engine::Get(), RegistrationMark);
        Os::CloseLibrary(Library);
    }

    auto LoadedMod::Mod() const -> CppUserModBase* { return ModObject; }

    auto LoadedMod::UnrealInit() -> void
    {
        if (ModObject == nullptr)
        {
            throw std::logic_error("the mod is not installed");
        }
        if (UnrealInitDone)
        {
            throw std::logic_error("the engine-initialised callback runs once");
        }
        UnrealInitDone = true;
        ModObject->on_unreal_init();
    }

    auto LoadedMod::Uninstall() -> void
    {
        if (ModObject == nullptr)
        {
            return;
        }
        CppUserModBase* Installed = ModObject;
        ModObject = nullptr;
        reinterpret_cast<UninstallMod>(Symbol("uninstall_mod"))(Installed);
        // The real host removes nothing of a C++ mod: whatever is still registered would run
        // unloaded code at the next tick or call.
        const std::vector<std::string> Left = CallablesSince(Engine::Get(), RegistrationMark);
        if (!Left.empty())
        {
            ForgetCallablesSince(Engine::Get(), RegistrationMark);
            std::string Message = "uninstall_mod returned with callbacks of the mod still registered (the real host "
                                  "would call them after the library is unloaded):";
            for (const std::string& Name : Left)
            {
                Message += "\n  " + Name;
            }
            throw std::runtime_error(Message);
        }
    }

    auto LoadedMod::Reinstall() -> void
    {
        if (ModObject == nullptr)
        {
            throw std::logic_error("the mod is not installed");
        }
        Uninstall();
        Os::CloseLibrary(Library);
        Library = nullptr;
        Load();
        if (UnrealInitDone)
        {
            // The engine is already up: the host starts the mod straight away.
            ModObject->on_unreal_init();
            ModObject->on_program_start();
        }
    }

    auto LoadedMod::Symbol(const char* Name) const -> void* { return Os::FindSymbol(Library, Name); }

    LoadedLibrary::LoadedLibrary(const std::string& Utf8Path) : Library(Os::OpenLibrary(Utf8Path)) {}

    LoadedLibrary::~LoadedLibrary() { Os::CloseLibrary(Library); }

    auto LoadedLibrary::Symbol(const char* Name) const -> void* { return Os::FindSymbol(Library, Name); }
} // namespace RC::Sim
