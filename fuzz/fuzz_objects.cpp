// The world-actor registry and the object hooks: registrations with null and live objects of
// every kind, searches with fuzzed class names, constructions with null and live outers and
// classes, and "ObjectRefs" headers that are inconsistent. A small model of the registration
// checks what the hooks leave in the registered actor's variables.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include <Unreal/UObjectGlobals.hpp>

#include "support/fuzz_support.hpp"

namespace
{
    using RC::Unreal::UClass;
    using RC::Unreal::UObject;

    auto ObjectRefsOf(UObject* Actor) -> void*
    {
        return Actor->GetValuePtrByPropertyNameInChain<void>(STR("ObjectRefs"));
    }

    struct World
    {
        World() = default;
        World(const World&) = delete;
        auto operator=(const World&) -> World& = delete;
        // Honest lists again before the engine goes: it may walk them.
        ~World()
        {
            for (UObject* Actor : {ActorA, ActorB})
            {
                if (Actor != nullptr)
                {
                    Fuzz::FreeHeader(ObjectRefsOf(Actor));
                }
            }
        }

        UObject* ActorA{};
        UObject* ActorB{};
        UClass* ItemClass{};
        std::vector<UObject*> Objects; // null first, then every kind of live object
        std::vector<UClass*> Classes;  // null first, then live classes
    };

    auto GetWorld(Harness::Session& Session) -> World&
    {
        static World Instance;
        if (Instance.ActorA == nullptr)
        {
            Instance.ItemClass = Session.Sim().CreateClass(STR("/Game/Fuzz/BP_Item.BP_Item_C"));
            for (int Index = 0; Index < 3; ++Index)
            {
                Session.Sim().SpawnObject(Instance.ItemClass);
            }
            Instance.ActorB = Session.Sim().SpawnObject(Session.Half().WorldActorClass);
            Instance.ActorA = Session.WorldActor();
            Instance.Objects = {nullptr,          Instance.ActorA,      Instance.ActorB,
                                Session.Proxy(),  Session.LibraryObject(Harness::Library::Core),     Session.Half().WorldActorClass,
                                Instance.ItemClass, Session.Table(),         Session.Sim().SpawnObject(Instance.ItemClass)};
            Instance.Classes = {nullptr, Instance.ItemClass, Session.Half().WorldActorClass, Session.Half().ProxyClass,
                                Session.Half().CoreLibrary};
        }
        return Instance;
    }

    auto ObjectRefOf(UObject* Actor) -> UObject**
    {
        return Actor->GetValuePtrByPropertyName<UObject*>(STR("ObjectRef"));
    }

    // True when the name written reads as "BP_Item_C" (the text ends at its first NUL).
    auto WriteClassName(Harness::ParamBlock& Params, FuzzedDataProvider& Input) -> bool
    {
        static const RC::StringType Names[] = {STR("BP_Item_C"), RC::StringType(STR("BP_Item_C\0tail"), 14),
                                               STR("BP_VEXA_WorldActor_C"), STR(""), STR("Missing_C")};
        if (Input.ConsumeBool())
        {
            const auto Index = Input.ConsumeIntegralInRange<size_t>(0, std::size(Names) - 1);
            Fuzz::WriteFString(Params, 0, Names[Index], 2);
            return Index < 2;
        }
        Fuzz::WriteFString(Params, 0, Input);
        return false;
    }

    auto LiveItems() -> size_t
    {
        std::vector<UObject*> Found;
        RC::Unreal::UObjectGlobals::FindAllOf(STR("BP_Item_C"), Found);
        return Found.size();
    }
} // namespace

extern "C" auto LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) -> int
{
    Harness::Session& Session = Fuzz::GetSession();
    const Harness::Functions& Fn = Session.Fn();
    World& Scene = GetWorld(Session);
    FuzzedDataProvider Input(Data, Size);

    // Every input starts from the same registration and honest, empty variables.
    Session.RegisterWorldActor(Scene.ActorA);
    UObject* Registered = Scene.ActorA;
    for (UObject* Actor : {Scene.ActorA, Scene.ActorB})
    {
        Fuzz::FreeHeader(ObjectRefsOf(Actor));
        *ObjectRefOf(Actor) = nullptr;
    }

    const auto PickObject = [&] { return Scene.Objects[Input.ConsumeIntegralInRange<size_t>(0, Scene.Objects.size() - 1)]; };
    const auto PickActor = [&] { return Input.ConsumeBool() ? Scene.ActorA : Scene.ActorB; };

    for (int Step = 0; Step < 24 && Input.remaining_bytes() > 0; ++Step)
    {
        switch (Input.ConsumeIntegralInRange<int>(0, 6))
        {
        case 0:
        {
            UObject* const Object = PickObject();
            Session.RegisterWorldActor(Object);
            Registered = Object != nullptr ? Object : Registered;
            break;
        }
        case 1:
        {
            UObject* const Object = PickObject();
            Harness::ParamBlock Params(Fn.DestroyedWorldActor);
            Params.SetObject(BlueprintHalf::Param::Actor, Object);
            Session.Call(Session.LibraryObject(Harness::Library::Core), Fn.DestroyedWorldActor, Params);
            Registered = Object != nullptr ? nullptr : Registered;
            Fuzz::Require(Params.GetObject(BlueprintHalf::Param::Actor) == nullptr, "the argument slot is nulled");
            break;
        }
        case 2:
        {
            Harness::ParamBlock Params(Fn.FindFirstOf);
            const bool Items = WriteClassName(Params, Input);
            Session.Call(PickActor(), Fn.FindFirstOf, Params);
            UObject** const Ref = Registered != nullptr ? ObjectRefOf(Registered) : nullptr;
            if (Items && Ref != nullptr)
            {
                Fuzz::Require(*Ref != nullptr && (*Ref)->GetClassPrivate() == Scene.ItemClass,
                              "the first item is found");
            }
            break;
        }
        case 3:
        {
            Harness::ParamBlock Params(Fn.FindAllOf);
            const bool Items = WriteClassName(Params, Input);
            const bool Actor = Registered == Scene.ActorA || Registered == Scene.ActorB;
            const Fuzz::ArrayHeader Before = Actor ? Fuzz::ReadHeader(ObjectRefsOf(Registered)) : Fuzz::ArrayHeader{};
            Session.Call(PickActor(), Fn.FindAllOf, Params);
            if (Actor)
            {
                // A corrupt list is refused whole: its storage cannot be trusted even to be freed.
                const Fuzz::ArrayHeader After = Fuzz::ReadHeader(ObjectRefsOf(Registered));
                if (!Fuzz::IsConsistent(Before))
                {
                    Fuzz::Require(After.Data == Before.Data && After.Num == Before.Num && After.Max == Before.Max,
                                  "a corrupt list is left as it was");
                }
                else
                {
                    Fuzz::Require(Fuzz::IsConsistent(After), "the search leaves a consistent list");
                    Fuzz::Require(!Items || static_cast<size_t>(After.Num) == LiveItems(), "every item is found");
                }
            }
            break;
        }
        case 4:
        {
            Harness::ParamBlock Params(Fn.NewObject);
            Params.SetObject(BlueprintHalf::Param::Outer, PickObject());
            UClass* const Class = Scene.Classes[Input.ConsumeIntegralInRange<size_t>(0, Scene.Classes.size() - 1)];
            std::memcpy(Params.Data() + 8, &Class, sizeof(Class));
            Session.Call(PickActor(), Fn.NewObject, Params);
            break;
        }
        case 5:
        {
            // The engine array behind "ObjectRefs", honest or inconsistent.
            UObject* const Actor = PickActor();
            void* const Refs = ObjectRefsOf(Actor);
            Fuzz::FreeHeader(Refs);
            Fuzz::WriteHeader(Refs, Fuzz::MakeHeader(Input, Input.ConsumeIntegralInRange<int32_t>(0, 6), sizeof(void*)));
            break;
        }
        default:
            *ObjectRefOf(PickActor()) = PickObject();
            break;
        }
        Fuzz::RequireNoEscapes(Session);
    }
    return 0;
}
