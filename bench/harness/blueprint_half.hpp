// The Blueprint half as the benchmarks and fuzz targets need it: the three libraries, the world
// actor's and the proxy's classes, a data table of selection rows, and a mod loaded into a fresh
// simulated engine whose three discoveries have completed. Game thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <Sim/Engine.hpp>

namespace Harness
{
    using RC::Sim::Engine;
    using RC::Sim::ParamBlock;
    using RC::Unreal::UClass;
    using RC::Unreal::UDataTable;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;
    using RC::Unreal::UScriptStruct;

    // Row layout the proxy's hooks patch: ID at 8, SelectionSet at 32; an item's Entries at 16.
    inline constexpr size_t RowIdOffset = 8;
    inline constexpr size_t RowSelectionSetOffset = 32;
    inline constexpr size_t ItemEntriesOffset = 16;
    inline constexpr size_t ItemSize = 32;

    struct BlueprintHalf
    {
        UClass* CoreLibrary{};
        UFunction* SendToUE4SSLog{};
        UFunction* GetNamesFromDir{};
        UFunction* GetFileContents{};
        UFunction* SaveFile{};
        UFunction* DoesFileExist{};
        UFunction* RegisterWorldActor{};
        UFunction* DestroyedWorldActor{};

        UClass* AnimLibrary{};
        UFunction* GetResponse{};

        UClass* ProxyLibrary{};
        UFunction* RegisterProxy{};
        UFunction* DestroyedProxy{};

        UClass* WorldActorClass{};
        UFunction* FindFirstOf{};
        UFunction* FindAllOf{};
        UFunction* NewObject{};

        UClass* ProxyClass{};
        UFunction* AddObjectSelectionSetID{};
        UFunction* TestDT{};

        UScriptStruct* SelectionSetItem{};
        UScriptStruct* ObjectSelectionRow{};
        UDataTable* Table{};
    };

    // Declares every class, function, variable and the data table in Sim.
    auto BuildBlueprintHalf(Engine& Sim) -> BlueprintHalf;

    // A fresh engine with the Blueprint half, the mod loaded from Path, started, its three
    // discoveries completed, and one world actor and one proxy registered. Log lines go to a
    // device that discards them.
    class Session
    {
    public:
        explicit Session(const std::string& ModPath);
        Session(const Session&) = delete;
        auto operator=(const Session&) -> Session& = delete;
        ~Session();

        [[nodiscard]] auto Sim() -> Engine& { return *SimEngine; }
        [[nodiscard]] auto Half() const -> const BlueprintHalf& { return Blueprint; }
        [[nodiscard]] auto WorldActor() const -> UObject* { return Actor; }
        [[nodiscard]] auto Proxy() const -> UObject* { return ProxyObject; }

        // Calls Function on Context with Params as a Blueprint would.
        auto Call(UObject* Context, UFunction* Function, ParamBlock& Params) -> void;
        auto RegisterWorldActor(UObject* Object) -> void;
        auto RegisterProxy(UObject* Object) -> void;

    private:
        Engine* SimEngine;
        BlueprintHalf Blueprint;
        std::unique_ptr<RC::Sim::LoadedMod> Mod;
        UObject* Actor{};
        UObject* ProxyObject{};
    };
} // namespace Harness
