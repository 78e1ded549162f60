#include "harness/blueprint_half.hpp"

#include <stdexcept>

#include <DynamicOutput/Output.hpp>

namespace Harness
{
    using RC::Sim::ArrayProp;
    using RC::Sim::Kind;
    using RC::Sim::Prop;
    using RC::Sim::PropSpec;
    using RC::Sim::StructProp;

    namespace
    {
        constexpr auto CorePath = STR("/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C");
        constexpr auto AnimPath = STR("/Game/Mods/VEXA_Anim/VEXA_Anim_FunctionLibrary.VEXA_Anim_FunctionLibrary_C");
        constexpr auto ProxyLibraryPath = STR("/Game/Mods/Brambleon/BRMB_BlueprintLibrary.BRMB_BlueprintLibrary_C");
        constexpr auto WorldActorPath = STR("/Game/Mods/VEXA/BP_VEXA_WorldActor.BP_VEXA_WorldActor_C");
        constexpr auto ProxyPath = STR("/Game/Mods/Brambleon/BP_BRMB_Proxy.BP_BRMB_Proxy_C");

        auto Text(RC::StringViewType Name, int32_t Offset) -> PropSpec { return Prop(Name, Kind::Str, Offset); }
        auto Object(RC::StringViewType Name, int32_t Offset) -> PropSpec { return Prop(Name, Kind::Object, Offset); }
    } // namespace

    auto BuildBlueprintHalf(Engine& Sim) -> BlueprintHalf
    {
        BlueprintHalf Half;

        Half.CoreLibrary = Sim.CreateClass(CorePath);
        Half.SendToUE4SSLog = Sim.AddFunction(Half.CoreLibrary, STR("VEXA_CPP_SendToUE4SSLog"), {Text(STR("Text"), 0)});
        Half.GetNamesFromDir = Sim.AddFunction(Half.CoreLibrary, STR("VEXA_CPP_GetNamesFromDir"), {Text(STR("Path"), 0)});
        Half.GetFileContents = Sim.AddFunction(Half.CoreLibrary, STR("VEXA_CPP_GetFileContents"), {Text(STR("Path"), 0)});
        Half.SaveFile = Sim.AddFunction(Half.CoreLibrary, STR("VEXA_CPP_SaveFile"),
                                        {Text(STR("Path"), 0), Text(STR("FileName"), 16), Text(STR("Text"), 32)});
        Half.DoesFileExist = Sim.AddFunction(Half.CoreLibrary, STR("VEXA_CPP_DoesFileExist"), {Text(STR("Path"), 0)});
        Half.RegisterWorldActor =
            Sim.AddFunction(Half.CoreLibrary, STR("VEXA_CPP_RegisterWorldActor"), {Object(STR("WorldActor"), 0)});
        Half.DestroyedWorldActor =
            Sim.AddFunction(Half.CoreLibrary, STR("VEXA_CPP_DestroyedWorldActor"), {Object(STR("WorldActor"), 0)});

        Half.AnimLibrary = Sim.CreateClass(AnimPath);
        Half.GetResponse = Sim.AddFunction(Half.AnimLibrary, STR("VEXA_Anim_CPP_GetResponse"), {Text(STR("Request"), 0)});

        Half.ProxyLibrary = Sim.CreateClass(ProxyLibraryPath);
        Half.RegisterProxy = Sim.AddFunction(Half.ProxyLibrary, STR("BRMB_CPP_RegisterProxy"), {Object(STR("Proxy"), 0)});
        Half.DestroyedProxy = Sim.AddFunction(Half.ProxyLibrary, STR("BRMB_CPP_DestroyedProxy"), {Object(STR("Proxy"), 0)});

        Half.WorldActorClass = Sim.CreateClass(
            WorldActorPath, {Prop(STR("ObjectRef"), Kind::Object), ArrayProp(STR("ObjectRefs"), Prop(STR(""), Kind::Object))});
        Half.FindFirstOf = Sim.AddFunction(Half.WorldActorClass, STR("VEXA_CPP_FindFirstOf"), {Text(STR("ClassName"), 0)});
        Half.FindAllOf = Sim.AddFunction(Half.WorldActorClass, STR("VEXA_CPP_FindAllOf"), {Text(STR("ClassName"), 0)});
        Half.NewObject = Sim.AddFunction(Half.WorldActorClass, STR("VEXA_CPP_NewObject"),
                                         {Object(STR("Outer"), 0), Prop(STR("Class"), Kind::Class, 8)});

        Half.ProxyClass = Sim.CreateClass(ProxyPath);
        Half.AddObjectSelectionSetID = Sim.AddFunction(
            Half.ProxyClass, STR("BRMB_CPP_AddObjectSelectionSetID"),
            {Object(STR("DataTable"), 0), Prop(STR("RowName"), Kind::Name, 8), Prop(STR("EntryID"), Kind::Int64, 16)});
        Half.TestDT = Sim.AddFunction(Half.ProxyClass, STR("BRMB_CPP_TestDT"),
                                      {Object(STR("DataTable"), 0), Prop(STR("RowName"), Kind::Name, 8),
                                       Prop(STR("Unused"), Kind::Int64, 16), Prop(STR("EntryID"), Kind::Int64, 24)});

        Half.SelectionSetItem = Sim.CreateStruct(
            STR("/Game/Mods/Brambleon/SelectionSetItem.SelectionSetItem"),
            {Prop(STR("StateGroupID"), Kind::Name, 0), ArrayProp(STR("Entries"), Prop(STR(""), Kind::Int64), 16)},
            static_cast<int32_t>(ItemSize));
        PropSpec Item = Prop(STR(""), Kind::Struct);
        Item.Struct = Half.SelectionSetItem;
        PropSpec SelectionSet = ArrayProp(STR("SelectionSet"), Item, static_cast<int32_t>(RowSelectionSetOffset));
        SelectionSet.Struct = Half.SelectionSetItem;
        Half.ObjectSelectionRow =
            Sim.CreateStruct(STR("/Game/Mods/Brambleon/ObjectSelectionRow.ObjectSelectionRow"),
                             {Prop(STR("ID"), Kind::Name, static_cast<int32_t>(RowIdOffset)), SelectionSet}, 48);
        Half.Table = Sim.CreateDataTable(STR("/Game/Data/DT_ObjectSelection.DT_ObjectSelection"), Half.ObjectSelectionRow);
        return Half;
    }

    Session::Session(const std::string& ModPath) : SimEngine(&Engine::Reset()), Blueprint(BuildBlueprintHalf(*SimEngine))
    {
        auto& Devices = RC::Output::DefaultTargets::get_default_devices_ref();
        Devices.clear();
        Devices.push_back(RC::Sim::MakeNullDevice());

        Mod = std::make_unique<RC::Sim::LoadedMod>(ModPath);
        Mod->UnrealInit();
        // The core hooks one function per 0.1 s pass and completes on the pass after the last.
        for (int Tick = 0; Tick < 40 && SimEngine->TickCallbackCount() > 0; ++Tick)
        {
            SimEngine->Tick(0.25f);
        }
        if (SimEngine->TickCallbackCount() != 0)
        {
            throw std::runtime_error("the mod's discovery did not complete");
        }

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
        ParamBlock Params(Blueprint.RegisterWorldActor);
        Params.SetObject(STR("WorldActor"), Object);
        Call(Blueprint.CoreLibrary, Blueprint.RegisterWorldActor, Params);
    }

    auto Session::RegisterProxy(UObject* Object) -> void
    {
        ParamBlock Params(Blueprint.RegisterProxy);
        Params.SetObject(STR("Proxy"), Object);
        Call(Blueprint.ProxyLibrary, Blueprint.RegisterProxy, Params);
    }
} // namespace Harness
