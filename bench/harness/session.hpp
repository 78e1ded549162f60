// A loaded mod as the benchmarks and fuzz targets need it: a fresh simulated engine with the
// Blueprint half, the mod loaded and started, its three discoveries complete, and one world
// actor and one proxy registered, and an empty table of selection rows. Log lines go to a device that discards them. Game thread only.
#pragma once

#include <memory>
#include <string>

#include <Sim/Engine.hpp>

#include "blueprint_half.hpp"

namespace Harness
{
    using BlueprintHalf::Library;
    using RC::Sim::Engine;
    using RC::Sim::ParamBlock;
    using RC::Unreal::UClass;
    using RC::Unreal::UDataTable;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;

    // The hooked functions, looked up once.
    struct Functions
    {
        explicit Functions(const BlueprintHalf::Half& Half);

        UFunction* SendToUE4SSLog;
        UFunction* GetNamesFromDir;
        UFunction* GetFileContents;
        UFunction* SaveFile;
        UFunction* DoesFileExist;
        UFunction* RegisterWorldActor;
        UFunction* DestroyedWorldActor;
        UFunction* GetResponse;
        UFunction* RegisterProxy;
        UFunction* DestroyedProxy;
        UFunction* FindFirstOf;
        UFunction* FindAllOf;
        UFunction* NewObject;
        UFunction* AddObjectSelectionSetID;
        UFunction* TestDT;
    };

    class Session
    {
    public:
        // Throws std::runtime_error when the mod cannot be loaded or its discovery stalls. Choices
        // shape the Blueprint half, for example functions declared with other parameters.
        explicit Session(const std::string& ModPath, const BlueprintHalf::Options& Choices = {});
        Session(const Session&) = delete;
        auto operator=(const Session&) -> Session& = delete;
        // Unloads the mod and resets the engine.
        ~Session();

        [[nodiscard]] auto Sim() -> Engine& { return *SimEngine; }
        [[nodiscard]] auto Half() const -> const BlueprintHalf::Half& { return Blueprint; }
        [[nodiscard]] auto Fn() const -> const Functions& { return Hooked; }
        [[nodiscard]] auto LibraryObject(BlueprintHalf::Library Which) const -> UObject*
        {
            return Blueprint.LibraryClass(Which);
        }
        // An empty table of selection rows.
        [[nodiscard]] auto Table() const -> UDataTable* { return SelectionTable; }
        [[nodiscard]] auto WorldActor() const -> UObject* { return Actor; }
        [[nodiscard]] auto Proxy() const -> UObject* { return ProxyObject; }

        // Calls Function on Context with Params, as a Blueprint would.
        auto Call(UObject* Context, UFunction* Function, ParamBlock& Params) -> void;
        // Call the registry function with Object as its argument; a function redeclared without
        // that object parameter is called with its block zeroed.
        auto RegisterWorldActor(UObject* Object) -> void;
        auto RegisterProxy(UObject* Object) -> void;

    private:
        Engine* SimEngine;
        BlueprintHalf::Half Blueprint;
        Functions Hooked;
        std::unique_ptr<RC::Sim::LoadedMod> Mod;
        UDataTable* SelectionTable{};
        UObject* Actor{};
        UObject* ProxyObject{};
    };
} // namespace Harness
