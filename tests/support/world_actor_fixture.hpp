// Tests of the world actor: the mod started and its core library discovered, with calls of the
// registry functions and of the actor's object functions, and world-actor classes of the
// tests' own making (functions or variables left out).
#pragma once

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <Sim/Engine.hpp>
#include <Unreal/Core/Containers/Array.hpp>

#include "support/mod_fixture.hpp"

namespace BrambleonTest
{
    using RC::Sim::Kind;
    using RC::Unreal::TArray;
    using RC::Unreal::UClass;
    using RC::Unreal::UFunction;
    using RC::Unreal::UObject;

    inline constexpr auto FindFirstOfName = STR("VEXA_CPP_FindFirstOf");
    inline constexpr auto FindAllOfName = STR("VEXA_CPP_FindAllOf");
    inline constexpr auto NewObjectName = STR("VEXA_CPP_NewObject");

    // The three lines of a registration that finds every object function.
    inline auto RegistrationLines() -> std::vector<Line>
    {
        return {Normal("VEXA : SetNewWorldActor"), Normal("VEXA : SetNewWorldActor : Calling ClearWorldActor"),
                Normal("VEXA : SetNewWorldActor : Finished SetNewWorldActor")};
    }

    class WorldActorTest : public ModTest
    {
    protected:
        void SetUp() override
        {
            ModTest::SetUp();
            StartAndDiscover();
            ClearLog();
        }

        [[nodiscard]] auto ActorClass() const -> UClass* { return Half->WorldActorClass; }
        auto SpawnActor(UClass* Class = nullptr) -> UObject*
        {
            return Sim().SpawnObject(Class != nullptr ? Class : ActorClass());
        }

        // A world-actor class at Path declaring the object functions not in Omit, with or
        // without the two result variables.
        auto MakeActorClass(RC::StringViewType Path, bool WithVariables,
                            std::initializer_list<RC::StringViewType> Omit = {}) -> UClass*
        {
            using BlueprintHalf::Param::Class;
            using BlueprintHalf::Param::ClassName;
            using BlueprintHalf::Param::Outer;
            using RC::Sim::Prop;
            std::vector<RC::Sim::PropDecl> Variables;
            if (WithVariables)
            {
                Variables = {Prop(BlueprintHalf::ObjectRefVar, Kind::Object),
                             RC::Sim::ArrayProp(BlueprintHalf::ObjectRefsVar, Prop(STR("Element"), Kind::Object, 0))};
            }
            UClass* const Made = Sim().CreateClass(Path, Variables);
            const auto Omitted = [&](RC::StringViewType Name) {
                return std::find(Omit.begin(), Omit.end(), Name) != Omit.end();
            };
            if (!Omitted(FindFirstOfName))
            {
                Sim().AddFunction(Made, FindFirstOfName, {Prop(ClassName, Kind::Str, 0)});
            }
            if (!Omitted(FindAllOfName))
            {
                Sim().AddFunction(Made, FindAllOfName, {Prop(ClassName, Kind::Str, 0)});
            }
            if (!Omitted(NewObjectName))
            {
                Sim().AddFunction(Made, NewObjectName, {Prop(Outer, Kind::Object, 0), Prop(Class, Kind::Class, 8)});
            }
            return Made;
        }

        // Calls VEXA_CPP_RegisterWorldActor (or VEXA_CPP_DestroyedWorldActor) with Actor and
        // returns the argument as the call left it.
        auto Register(UObject* Actor) -> UObject* { return CallRegistry(STR("VEXA_CPP_RegisterWorldActor"), Actor); }
        auto Destroyed(UObject* Actor) -> UObject* { return CallRegistry(STR("VEXA_CPP_DestroyedWorldActor"), Actor); }

        // The object functions, called on Caller as its Blueprint does.
        auto FindFirstOf(UObject* Caller, RC::StringViewType ClassName) -> void
        {
            CallWithClassName(Caller, FindFirstOfName, ClassName);
        }
        auto FindAllOf(UObject* Caller, RC::StringViewType ClassName) -> void
        {
            CallWithClassName(Caller, FindAllOfName, ClassName);
        }
        auto NewObject(UObject* Caller, UObject* Outer, UClass* Class) -> void
        {
            ParamBlock Block(ObjectFunction(Caller, NewObjectName));
            Block.SetObject(BlueprintHalf::Param::Outer, Outer);
            const auto* const ClassObject = static_cast<const UObject*>(Class);
            Block.SetBytes(8, Bytes(ClassObject));
            Call(Caller, Block);
        }

        [[nodiscard]] static auto ObjectFunction(UObject* Caller, RC::StringViewType Name) -> UFunction*
        {
            return BlueprintHalf::Half::Function(Caller->GetClassPrivate(), Name);
        }
        [[nodiscard]] auto HookedOnce(UObject* Caller, RC::StringViewType Name) const -> bool
        {
            return Sim().HookCount(ObjectFunction(Caller, Name)) == 1;
        }

        [[nodiscard]] static auto ObjectRef(UObject* Actor) -> UObject*&
        {
            return *Actor->GetValuePtrByPropertyName<UObject*>(BlueprintHalf::ObjectRefVar);
        }
        [[nodiscard]] static auto ObjectRefs(UObject* Actor) -> TArray<UObject*>&
        {
            return *Actor->GetValuePtrByPropertyName<TArray<UObject*>>(BlueprintHalf::ObjectRefsVar);
        }
        [[nodiscard]] static auto Elements(const TArray<UObject*>& Array) -> std::vector<UObject*>
        {
            return {Array.GetData(), Array.GetData() + Array.Num()};
        }

    private:
        static auto Bytes(const void* Pointer) -> std::vector<uint8_t>
        {
            std::vector<uint8_t> Raw(sizeof(Pointer));
            std::memcpy(Raw.data(), static_cast<const void*>(&Pointer), sizeof(Pointer));
            return Raw;
        }

        auto CallRegistry(RC::StringViewType Function, UObject* Actor) -> UObject*
        {
            auto Block = Params(Library::Core, Function);
            Block->SetObject(BlueprintHalf::Param::Actor, Actor);
            CallLibrary(Library::Core, *Block);
            return Block->GetObject(BlueprintHalf::Param::Actor);
        }

        auto CallWithClassName(UObject* Caller, RC::StringViewType Function, RC::StringViewType ClassName) -> void
        {
            ParamBlock Block(ObjectFunction(Caller, Function));
            Block.SetString(BlueprintHalf::Param::ClassName, ClassName);
            Call(Caller, Block);
        }
    };
} // namespace BrambleonTest
