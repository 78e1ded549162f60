#include "harness/session.hpp"

#include <stdexcept>

#include <DynamicOutput/Output.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>

namespace Harness
{
    namespace
    {
        auto Require(UFunction* Function) -> UFunction*
        {
            if (Function == nullptr)
            {
                throw std::runtime_error("the Blueprint half lacks a hooked function");
            }
            return Function;
        }

        // Object as the function's parameter Name when it declares one of that kind at all.
        auto SetObjectIfDeclared(ParamBlock& Params, RC::StringViewType Name, UObject* Object) -> void
        {
            auto* const Declared = Params.Function()->FindProperty(RC::Unreal::FName(Name, RC::Unreal::FNAME_Find));
            if (RC::Unreal::CastField<RC::Unreal::FObjectProperty>(Declared) != nullptr &&
                RC::Unreal::CastField<RC::Unreal::FClassProperty>(Declared) == nullptr)
            {
                Params.SetObject(Name, Object);
            }
        }
    } // namespace

    Functions::Functions(const BlueprintHalf::Half& Half)
        : SendToUE4SSLog(Require(Half.Function(Library::Core, STR("VEXA_CPP_SendToUE4SSLog")))),
          GetNamesFromDir(Require(Half.Function(Library::Core, STR("VEXA_CPP_GetNamesFromDir")))),
          GetFileContents(Require(Half.Function(Library::Core, STR("VEXA_CPP_GetFileContents")))),
          SaveFile(Require(Half.Function(Library::Core, STR("VEXA_CPP_SaveFile")))),
          DoesFileExist(Require(Half.Function(Library::Core, STR("VEXA_CPP_DoesFileExist")))),
          RegisterWorldActor(Require(Half.Function(Library::Core, STR("VEXA_CPP_RegisterWorldActor")))),
          DestroyedWorldActor(Require(Half.Function(Library::Core, STR("VEXA_CPP_DestroyedWorldActor")))),
          GetResponse(Require(Half.Function(Library::Anim, STR("VEXA_Anim_CPP_GetResponse")))),
          RegisterProxy(Require(Half.Function(Library::Proxy, STR("BRMB_CPP_RegisterProxy")))),
          DestroyedProxy(Require(Half.Function(Library::Proxy, STR("BRMB_CPP_DestroyedProxy")))),
          FindFirstOf(Require(BlueprintHalf::Half::Function(Half.WorldActorClass, STR("VEXA_CPP_FindFirstOf")))),
          FindAllOf(Require(BlueprintHalf::Half::Function(Half.WorldActorClass, STR("VEXA_CPP_FindAllOf")))),
          NewObject(Require(BlueprintHalf::Half::Function(Half.WorldActorClass, STR("VEXA_CPP_NewObject")))),
          AddObjectSelectionSetID(
              Require(BlueprintHalf::Half::Function(Half.ProxyClass, STR("BRMB_CPP_AddObjectSelectionSetID")))),
          TestDT(Require(BlueprintHalf::Half::Function(Half.ProxyClass, STR("BRMB_CPP_TestDT"))))
    {
    }

    Session::Session(const std::string& ModPath, const BlueprintHalf::Options& Choices)
        : SimEngine(&Engine::Reset()), Blueprint(BlueprintHalf::Build(*SimEngine, Choices)), Hooked(Blueprint)
    {
        auto& Devices = RC::Output::DefaultTargets::get_default_devices_ref();
        Devices.clear();
        Devices.push_back(RC::Sim::MakeNullDevice());

        Mod = std::make_unique<RC::Sim::LoadedMod>(ModPath);
        Mod->UnrealInit();
        // The core hooks one function per pass and completes on the pass after the last.
        for (int Tick = 0; Tick < 40 && SimEngine->TickCallbackCount() > 0; ++Tick)
        {
            SimEngine->Tick(0.25f);
        }
        if (SimEngine->TickCallbackCount() != 0)
        {
            throw std::runtime_error("the mod's discovery did not complete");
        }

        SelectionTable = BlueprintHalf::CreateSelectionTable(*SimEngine, Blueprint, STR("/Game/Data/DT_Harness.DT_Harness"));
        Actor = SimEngine->SpawnObject(Blueprint.WorldActorClass);
        ProxyObject = SimEngine->SpawnObject(Blueprint.ProxyClass);
        RegisterWorldActor(Actor);
        RegisterProxy(ProxyObject);
    }

    Session::~Session()
    {
        Mod.reset();
        Engine::Reset();
    }

    auto Session::Call(UObject* Context, UFunction* Function, ParamBlock& Params) -> void
    {
        SimEngine->Call(Context, Function, Params);
    }

    auto Session::RegisterWorldActor(UObject* Object) -> void
    {
        ParamBlock Params(Hooked.RegisterWorldActor);
        SetObjectIfDeclared(Params, BlueprintHalf::Param::Actor, Object);
        Call(LibraryObject(Library::Core), Hooked.RegisterWorldActor, Params);
    }

    auto Session::RegisterProxy(UObject* Object) -> void
    {
        ParamBlock Params(Hooked.RegisterProxy);
        SetObjectIfDeclared(Params, BlueprintHalf::Param::Proxy, Object);
        Call(LibraryObject(Library::Proxy), Hooked.RegisterProxy, Params);
    }
} // namespace Harness
