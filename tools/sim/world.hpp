// The world builder: lays a scenario's Blueprint half out in the simulated engine (the three
// libraries, classes, live objects, data tables) and checks every reference the steps make
// against what was built, so an invalid scenario is refused before the mod is loaded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <Sim/Engine.hpp>

#include "blueprint_half.hpp"
#include "sim/scenario.hpp"

namespace BRMB::Sim
{
    struct LibraryState
    {
        BlueprintHalf::Library Which = BlueprintHalf::Library::Core;
        RC::Unreal::UClass* Class = nullptr;
        double LoadAt = 0.0;
        bool Loaded = true;
    };

    struct World
    {
        RC::Sim::Engine* Engine = nullptr;
        BlueprintHalf::Half Half;
        std::map<std::string, LibraryState> Libraries;                    // by key: "VEXA", "VEXA_Anim", "BRMB"
        std::map<std::string, RC::Unreal::UClass*> Classes;          // by short name
        std::map<std::string, RC::Unreal::UObject*> Objects;         // live objects and data tables, by name
        std::map<std::string, RC::Unreal::UDataTable*> Tables;       // by name
        std::map<std::string, RC::Unreal::UScriptStruct*> Structs;   // by name, the row structures included
    };

    // Resets the engine and builds the Blueprint half in it. Throws InvalidScenario for a
    // reference that names nothing.
    [[nodiscard]] auto BuildWorld(const Scenario& Plan) -> World;

    // Checks every step against the built world: functions, parameter names and types, objects,
    // variables, tables and rows. Throws InvalidScenario.
    auto CheckSteps(const Scenario& Plan, const World& Built) -> void;

    // Loads the libraries whose moment has come.
    auto LoadDueLibraries(World& Built, double Now) -> void;

    // The object a call runs on: a library's class object or a named object.
    [[nodiscard]] auto CallTarget(const World& Built, const std::string& On) -> RC::Unreal::UObject*;
    [[nodiscard]] auto FindFunction(const World& Built, const std::string& On, const std::string& Function)
        -> RC::Unreal::UFunction*;
    // A function that a library (by key) or a class (by short name) declares; null when none.
    [[nodiscard]] auto FindDeclaredFunction(const World& Built, const std::string& Owner, const std::string& Function)
        -> RC::Unreal::UFunction*;
    // A class by short name or object path.
    [[nodiscard]] auto FindClass(const World& Built, const std::string& NameOrPath) -> RC::Unreal::UClass*;
    [[nodiscard]] auto FindParam(const RC::Unreal::UFunction* Function, const std::string& Name)
        -> RC::Unreal::FProperty*;
    [[nodiscard]] auto TypeOf(RC::Unreal::FProperty* Property) -> Type;
} // namespace BRMB::Sim
