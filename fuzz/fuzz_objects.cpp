// The world-actor registry and the object hooks, each of the five functions declared as the
// contract says or with one mistake (a parameter missing, an extra one, two swapped, a wrong type,
// another offset or size, an output pin): registrations with null and live objects of every kind,
// searches with fuzzed class names, constructions with null and live outers and classes,
// "ObjectRefs" headers that are inconsistent, and world actors whose classes declare "ObjectRef"
// and "ObjectRefs" with any type, in any order, in the class or its super class or both, as
// references to any object or to one class. A small model of the registration checks what the
// hooks leave in the registered actor's variables: nothing but a properly typed own variable is
// ever written, and only with objects of the class it is declared for. A function declared
// otherwise than the contract is never hooked and its calls change nothing; no call changes a
// byte of its block but a registry function's own argument, nor a byte of an actor not searched
// for.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>

#include <Unreal/UObjectGlobals.hpp>

#include "support/fuzz_support.hpp"

namespace
{
    using RC::Sim::Kind;
    using RC::Sim::PropDecl;
    using RC::Unreal::UClass;
    using RC::Unreal::UObject;
    using RC::Unreal::UScriptStruct;

    // Types a Blueprint may give a variable named "ObjectRef" or "ObjectRefs".
    enum class VarType : uint8_t
    {
        Absent,
        Object,
        Class,
        Int32,
        Float,
        Bool,
        Int64,
        Name,
        Text,
        Vector,  // a structure of three floats, 12 bytes
        Holder,  // a structure holding one object reference: 8 bytes, the shape of one
        Objects,
        Int32s,
        Classes,
        Vectors,
        Entries,
        Last = Entries,
    };

    struct Structs
    {
        UScriptStruct* Vector;
        UScriptStruct* Holder;
    };

    // Allowed narrows an object reference, or the elements of an array of them, to a class.
    auto Declare(RC::StringViewType Name, VarType Type, const Structs& Made, UClass* Allowed = nullptr)
        -> std::optional<PropDecl>
    {
        using RC::Sim::ArrayProp;
        using RC::Sim::Prop;
        using RC::Sim::StructProp;
        const auto Narrowed = [&](PropDecl Narrow) {
            Narrow.ObjectClass = Allowed;
            return Narrow;
        };
        switch (Type)
        {
        case VarType::Absent: return std::nullopt;
        case VarType::Object: return Narrowed(Prop(Name, Kind::Object));
        case VarType::Class: return Prop(Name, Kind::Class);
        case VarType::Int32: return Prop(Name, Kind::Int32);
        case VarType::Float: return Prop(Name, Kind::Float);
        case VarType::Bool: return Prop(Name, Kind::Bool);
        case VarType::Int64: return Prop(Name, Kind::Int64);
        case VarType::Name: return Prop(Name, Kind::Name);
        case VarType::Text: return Prop(Name, Kind::Str);
        case VarType::Vector: return StructProp(Name, Made.Vector);
        case VarType::Holder: return StructProp(Name, Made.Holder);
        case VarType::Objects: return ArrayProp(Name, Narrowed(Prop(STR("Element"), Kind::Object, 0)));
        case VarType::Int32s: return ArrayProp(Name, Prop(STR("Element"), Kind::Int32, 0));
        case VarType::Classes: return ArrayProp(Name, Prop(STR("Element"), Kind::Class, 0));
        case VarType::Vectors: return ArrayProp(Name, StructProp(STR("Element"), Made.Vector, 0));
        case VarType::Entries: return ArrayProp(Name, Prop(STR("Element"), Kind::Int64, 0));
        }
        return std::nullopt;
    }

    // A world actor of a fuzzed layout. Its class has a super class whose first variable, at
    // offset 0, is "Marker": the start of the actor's variable memory.
    struct OddActor
    {
        UObject* Object{};
        size_t Size{};
        std::optional<size_t> RefAt;  // the own "ObjectRef", when it is a plain object reference
        std::optional<size_t> RefsAt; // the own "ObjectRefs", when it is an array of those
        UClass* Allowed{};            // the class both are declared for; null: any object

        [[nodiscard]] auto Bytes() const -> uint8_t*
        {
            return Object->GetValuePtrByPropertyNameInChain<uint8_t>(STR("Marker"));
        }
    };

    auto ObjectRefsOf(UObject* Actor) -> void*
    {
        return Actor->GetValuePtrByPropertyNameInChain<void>(STR("ObjectRefs"));
    }

    // What an input works with, made in one session's engine and dropped with it.
    struct World
    {
        explicit World(Harness::Session& Session);
        World(const World&) = delete;
        auto operator=(const World&) -> World& = delete;
        // Honest lists again before the engine goes: it may walk them.
        ~World()
        {
            for (UObject* Actor : {ActorA, ActorB})
            {
                Fuzz::FreeHeader(ObjectRefsOf(Actor));
            }
        }

        UObject* ActorA{};
        UObject* ActorB{};
        UClass* ItemClass{};
        std::vector<UObject*> Objects; // null first, then every kind of live object
        std::vector<UClass*> Classes;  // null first, then live classes
        Fuzz::Values Pool;             // what redeclared parameters are given
        Structs Made{};
        // By layout, so that the engine holds one class per layout however long the session.
        std::map<uint32_t, OddActor> OddActors;
        std::map<uint32_t, UClass*> OddSupers;
    };

    World::World(Harness::Session& Session)
    {
        ItemClass = Session.Sim().CreateClass(STR("/Game/Fuzz/BP_Item.BP_Item_C"));
        for (int Index = 0; Index < 3; ++Index)
        {
            Session.Sim().SpawnObject(ItemClass);
        }
        ActorB = Session.Sim().SpawnObject(Session.Half().WorldActorClass);
        ActorA = Session.WorldActor();
        Objects = {nullptr,         ActorA,                                        ActorB,
                   Session.Proxy(), Session.LibraryObject(Harness::Library::Core), Session.Half().WorldActorClass,
                   ItemClass,       Session.Table(),                               Session.Sim().SpawnObject(ItemClass)};
        Classes = {nullptr, ItemClass, Session.Half().WorldActorClass, Session.Half().ProxyClass,
                   Session.Half().CoreLibrary};
        Pool.Objects = Objects;
        Pool.Classes = Classes;
        Pool.Names = {RC::Unreal::FName(STR("None")), RC::Unreal::FName(STR("BP_Item_C")), RC::Unreal::FName(STR("Hero"))};
        using RC::Sim::Prop;
        Made.Vector = Session.Sim().CreateStruct(
            STR("/Game/Fuzz/Vector.Vector"),
            {Prop(STR("X"), Kind::Float), Prop(STR("Y"), Kind::Float), Prop(STR("Z"), Kind::Float)});
        Made.Holder = Session.Sim().CreateStruct(STR("/Game/Fuzz/Holder.Holder"), {Prop(STR("Target"), Kind::Object)});
    }

    auto ToWide(const std::string& Text) -> RC::StringType { return {Text.begin(), Text.end()}; }

    // Reads a layout from the input and returns its actor, made on first use: the own class
    // declares "ObjectRef" and "ObjectRefs" with any type (or not at all) in either order, after
    // an optional leading variable that shifts them; the super class declares them as object
    // references, as int32 or not at all.
    auto OddActorFor(Harness::Session& Session, World& Scene, FuzzedDataProvider& Input) -> OddActor&
    {
        constexpr auto Types = static_cast<uint32_t>(VarType::Last) + 1;
        const auto Ref = static_cast<VarType>(Input.ConsumeIntegralInRange<uint32_t>(0, Types - 1));
        const auto Refs = static_cast<VarType>(Input.ConsumeIntegralInRange<uint32_t>(0, Types - 1));
        const bool RefsFirst = Input.ConsumeBool();
        const auto Lead = Input.ConsumeIntegralInRange<uint32_t>(0, 2);
        const auto SuperRef = Input.ConsumeIntegralInRange<uint32_t>(0, 2);
        const auto SuperRefs = Input.ConsumeIntegralInRange<uint32_t>(0, 2);
        // Any object, the searched item class, or a class no item is.
        const auto Narrowing = Input.ConsumeIntegralInRange<uint32_t>(0, 2);
        UClass* const Allowed = Narrowing == 1 ? Scene.ItemClass
                                : Narrowing == 2 ? Session.Half().WorldActorClass
                                                 : nullptr;
        const uint32_t Super = SuperRef * 3 + SuperRefs;
        const uint32_t Key = ((((static_cast<uint32_t>(Ref) * Types + static_cast<uint32_t>(Refs)) * 2 +
                                (RefsFirst ? 1U : 0U)) * 3 + Lead) * 9 + Super) * 3 + Narrowing;
        if (const auto Found = Scene.OddActors.find(Key); Found != Scene.OddActors.end())
        {
            return Found->second;
        }

        UClass*& SuperClass = Scene.OddSupers[Super];
        if (SuperClass == nullptr)
        {
            std::vector<PropDecl> Variables{RC::Sim::Prop(STR("Marker"), Kind::Int64)};
            constexpr VarType SuperRefTypes[] = {VarType::Absent, VarType::Object, VarType::Int32};
            constexpr VarType SuperRefsTypes[] = {VarType::Absent, VarType::Objects, VarType::Int32};
            for (const auto& Declared : {Declare(STR("ObjectRef"), SuperRefTypes[SuperRef], Scene.Made),
                                     Declare(STR("ObjectRefs"), SuperRefsTypes[SuperRefs], Scene.Made)})
            {
                if (Declared)
                {
                    Variables.push_back(*Declared);
                }
            }
            const auto Name = ToWide("BP_OddBase" + std::to_string(Super) + "_C");
            SuperClass = Session.Sim().CreateClass(STR("/Game/Fuzz/") + Name + STR(".") + Name, Variables);
        }

        std::vector<PropDecl> Variables;
        if (Lead == 1)
        {
            Variables.push_back(RC::Sim::Prop(STR("Lead"), Kind::Bool));
        }
        else if (Lead == 2)
        {
            Variables.push_back(RC::Sim::Prop(STR("Lead"), Kind::Int32));
        }
        auto First = Declare(STR("ObjectRef"), Ref, Scene.Made, Allowed);
        auto Second = Declare(STR("ObjectRefs"), Refs, Scene.Made, Allowed);
        if (RefsFirst)
        {
            std::swap(First, Second);
        }
        for (const auto& Declared : {First, Second})
        {
            if (Declared)
            {
                Variables.push_back(*Declared);
            }
        }
        const auto Name = ToWide("BP_Odd" + std::to_string(Key) + "_C");
        UClass* const Class = Session.Sim().CreateClass(STR("/Game/Fuzz/") + Name + STR(".") + Name, Variables, SuperClass);

        OddActor Made;
        Made.Allowed = Allowed;
        Made.Object = Session.Sim().SpawnObject(Class);
        Made.Size = static_cast<size_t>(Class->GetPropertiesSize());
        for (RC::Unreal::FProperty* Own : Class->ForEachProperty())
        {
            const auto Offset = static_cast<size_t>(Own->GetOffset_Internal());
            if (Own->GetFName() == RC::Unreal::FName(STR("ObjectRef")) && Ref == VarType::Object)
            {
                Made.RefAt = Offset;
            }
            if (Own->GetFName() == RC::Unreal::FName(STR("ObjectRefs")) && Refs == VarType::Objects)
            {
                Made.RefsAt = Offset;
            }
        }
        return Scene.OddActors.emplace(Key, Made).first->second;
    }

    // The registered odd actor's memory after a call equals Before except in the variables the
    // hooks may write, and an array they may write is consistent.
    auto RequireOnlyOwnVariablesWritten(const OddActor& Actor, const std::vector<uint8_t>& Before) -> void
    {
        const uint8_t* const After = Actor.Bytes();
        for (size_t Offset = 0; Offset < Actor.Size; ++Offset)
        {
            const bool InRef = Actor.RefAt && Offset >= *Actor.RefAt && Offset < *Actor.RefAt + sizeof(void*);
            const bool InRefs = Actor.RefsAt && Offset >= *Actor.RefsAt && Offset < *Actor.RefsAt + sizeof(Fuzz::ArrayHeader);
            if (!InRef && !InRefs)
            {
                Fuzz::Require(After[Offset] == Before[Offset], "only a properly typed own variable is written");
            }
        }
        if (Actor.RefsAt)
        {
            Fuzz::Require(Fuzz::IsConsistent(Fuzz::ReadHeader(After + *Actor.RefsAt)), "the search leaves a consistent list");
        }
    }

    auto Fits(const UObject* Object, const UClass* Allowed) -> bool
    {
        return Object == nullptr || Allowed == nullptr || Object->IsA(Allowed);
    }

    // What the odd actor's variables hold is of the class they are declared for.
    auto RequireDeclaredClasses(const OddActor& Actor) -> void
    {
        if (Actor.RefAt)
        {
            UObject* Held{};
            std::memcpy(&Held, Actor.Bytes() + *Actor.RefAt, sizeof(Held));
            Fuzz::Require(Fits(Held, Actor.Allowed), "ObjectRef holds only its declared class");
        }
        if (Actor.RefsAt)
        {
            const Fuzz::ArrayHeader Refs = Fuzz::ReadHeader(Actor.Bytes() + *Actor.RefsAt);
            for (int32_t Index = 0; Index < Refs.Num; ++Index)
            {
                UObject* Held{};
                std::memcpy(&Held, static_cast<const uint8_t*>(Refs.Data) + Index * sizeof(Held), sizeof(Held));
                Fuzz::Require(Fits(Held, Actor.Allowed), "ObjectRefs holds only its declared class");
            }
        }
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

namespace
{
    // The functions whose declarations an input chooses, in the order it chooses them.
    enum Driven : size_t
    {
        Register,
        Destroyed,
        First,
        All,
        New,
        DrivenCount,
    };

    constexpr const RC::CharType* DrivenNames[DrivenCount] = {
        STR("VEXA_CPP_RegisterWorldActor"), STR("VEXA_CPP_DestroyedWorldActor"), STR("VEXA_CPP_FindFirstOf"),
        STR("VEXA_CPP_FindAllOf"), STR("VEXA_CPP_NewObject")};

    // The variables of both plain world actors: "ObjectRef", then the "ObjectRefs" header.
    auto PlainBytes(World& Here) -> std::vector<uint8_t>
    {
        std::vector<uint8_t> Bytes;
        for (UObject* Actor : {Here.ActorA, Here.ActorB})
        {
            const auto Ref = Fuzz::BytesOf(ObjectRefOf(Actor), sizeof(UObject*));
            const auto Refs = Fuzz::BytesOf(ObjectRefsOf(Actor), sizeof(Fuzz::ArrayHeader));
            Bytes.insert(Bytes.end(), Ref.begin(), Ref.end());
            Bytes.insert(Bytes.end(), Refs.begin(), Refs.end());
        }
        return Bytes;
    }

} // namespace

extern "C" auto LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) -> int
{
    FuzzedDataProvider Input(Data, Size);

    // The declarations first: the session is made again when they differ from the last input's.
    const auto Started = Fuzz::StartInput<World>(Input, DrivenNames);
    const std::vector<Fuzz::Declaration>& Declared = Started.Declared;
    Harness::Session& Session = Started.Session;
    World& Here = Started.Here;
    const Harness::Functions& Fn = Session.Fn();
    const auto Hooked = [&](Driven Which) { return Declared[Which].Matches; };
    RC::Unreal::UFunction* const Functions[DrivenCount] = {Fn.RegisterWorldActor, Fn.DestroyedWorldActor, Fn.FindFirstOf,
                                               Fn.FindAllOf, Fn.NewObject};
    // A function declared otherwise than the contract says is never hooked; the actor's
    // functions are hooked when the session registered its actor.
    const auto RequireHooks = [&] {
        for (size_t Which = 0; Which < DrivenCount; ++Which)
        {
            const bool Expected = Hooked(static_cast<Driven>(Which)) && (Which <= Destroyed || Hooked(Register));
            Fuzz::Require((Session.Sim().HookCount(Functions[Which]) > 0) == Expected,
                          "a function is hooked exactly when its declaration matches the contract");
        }
    };
    RequireHooks();

    // Every input starts from the same registration and honest, empty variables.
    Session.RegisterWorldActor(Here.ActorA);
    UObject* Registered = Hooked(Register) ? Here.ActorA : nullptr;
    const OddActor* Odd = nullptr; // the registered actor, when it is one of a fuzzed layout
    for (UObject* Actor : {Here.ActorA, Here.ActorB})
    {
        Fuzz::FreeHeader(ObjectRefsOf(Actor));
        *ObjectRefOf(Actor) = nullptr;
    }

    const auto PickObject = [&] { return Here.Objects[Input.ConsumeIntegralInRange<size_t>(0, Here.Objects.size() - 1)]; };
    const auto PickActor = [&] { return Input.ConsumeBool() ? Here.ActorA : Here.ActorB; };
    const auto IsPlainActor = [&](const UObject* Object) { return Object == Here.ActorA || Object == Here.ActorB; };

    for (int Step = 0; Step < 24 && Input.remaining_bytes() > 0; ++Step)
    {
        const auto Action = Input.ConsumeIntegralInRange<int>(0, 7);
        if (Action >= 5)
        {
            if (Action == 5)
            {
                // The engine array behind "ObjectRefs", honest or inconsistent.
                void* const Refs = ObjectRefsOf(PickActor());
                Fuzz::FreeHeader(Refs);
                Fuzz::WriteHeader(Refs,
                                  Fuzz::MakeHeader(Input, Input.ConsumeIntegralInRange<int32_t>(0, 6), sizeof(void*)));
            }
            else if (Action == 6)
            {
                *ObjectRefOf(PickActor()) = PickObject();
            }
            else
            {
                // A world actor of a fuzzed layout, its writable variables honest and empty.
                OddActor& Chosen = OddActorFor(Session, Here, Input);
                if (Chosen.RefsAt)
                {
                    Fuzz::FreeHeader(Chosen.Bytes() + *Chosen.RefsAt);
                }
                if (Chosen.RefAt)
                {
                    std::memset(Chosen.Bytes() + *Chosen.RefAt, 0, sizeof(UObject*));
                }
                Session.RegisterWorldActor(Chosen.Object);
                if (Hooked(Register))
                {
                    Registered = Chosen.Object;
                    Odd = &Chosen;
                }
            }
            Fuzz::RequireNoEscapes(Session);
            continue;
        }

        // A call of one of the driven functions, its block filled as declared: values of the
        // declared types, a pattern in every other byte, and the arguments where the contract
        // puts them when the declaration matches it.
        const auto Which = static_cast<Driven>(Action);
        const Fuzz::Declaration& Declaration = Declared[Which];
        Harness::ParamBlock Params(Functions[Which]);
        Fuzz::FillBlock(Params, Declaration, Input, Here.Pool, Input.ConsumeIntegral<uint8_t>());
        UObject* Argument = nullptr;
        bool Items = false;
        if (Declaration.Matches)
        {
            switch (Which)
            {
            case Register:
            case Destroyed:
                Argument = PickObject();
                std::memcpy(Params.Data(), &Argument, sizeof(Argument));
                break;
            case First:
            case All:
                Items = WriteClassName(Params, Input);
                break;
            case New:
            {
                Argument = PickObject();
                UClass* const Class = Here.Classes[Input.ConsumeIntegralInRange<size_t>(0, Here.Classes.size() - 1)];
                std::memcpy(Params.Data(), &Argument, sizeof(Argument));
                std::memcpy(Params.Data() + 8, &Class, sizeof(Class));
                break;
            }
            default:
                break;
            }
        }
        UObject* const Context = Which <= Destroyed ? Session.LibraryObject(Harness::Library::Core) : PickActor();

        // Everything a call may not touch, and what the model needs, before it.
        const auto BlockBefore = Fuzz::BytesOf(Params.Data(), Params.Size());
        const auto PlainBefore = PlainBytes(Here);
        const auto OddBefore = Odd != nullptr ? Fuzz::BytesOf(Odd->Bytes(), Odd->Size) : std::vector<uint8_t>{};
        const size_t Constructed = Session.Sim().Constructions().size();
        UObject** Ref = IsPlainActor(Registered) ? ObjectRefOf(Registered) : nullptr;
        const UClass* Allowed = nullptr;
        if (Odd != nullptr && Odd->RefAt)
        {
            Ref = reinterpret_cast<UObject**>(Odd->Bytes() + *Odd->RefAt);
            Allowed = Odd->Allowed;
        }
        UObject* const Held = Ref != nullptr ? *Ref : nullptr;
        const bool Plain = IsPlainActor(Registered);
        const Fuzz::ArrayHeader RefsBefore = Plain ? Fuzz::ReadHeader(ObjectRefsOf(Registered)) : Fuzz::ArrayHeader{};

        Session.Call(Context, Functions[Which], Params);
        Fuzz::RequireNoEscapes(Session);

        const bool Runs = Hooked(Which) && (Which <= Destroyed || Hooked(Register));
        if (!Runs)
        {
            // Not hooked: the call changes nothing at all.
            Fuzz::RequireKeptBut(BlockBefore, Fuzz::BytesOf(Params.Data(), Params.Size()), 0, 0,
                                 "an unhooked function leaves its block as it was");
            Fuzz::Require(PlainBytes(Here) == PlainBefore, "an unhooked function leaves the actors as they were");
            Fuzz::Require(Odd == nullptr || Fuzz::BytesOf(Odd->Bytes(), Odd->Size) == OddBefore,
                          "an unhooked function leaves the actor as it was");
            Fuzz::Require(Session.Sim().Constructions().size() == Constructed, "an unhooked function constructs nothing");
            continue;
        }
        // Only a registry function's own argument may change in the block (nulled once taken).
        Fuzz::RequireKeptBut(BlockBefore, Fuzz::BytesOf(Params.Data(), Params.Size()), 0,
                             Which <= Destroyed ? sizeof(UObject*) : 0,
                             "no byte of the block outside the written argument changes");
        if (Which != New)
        {
            Fuzz::Require(Session.Sim().Constructions().size() == Constructed, "only NewObject constructs");
        }
        // The plain actor that is not registered keeps every byte; the registered one (plain)
        // may change only in its two variables, which are all it has.
        if (!Plain || Which <= Destroyed)
        {
            Fuzz::Require(PlainBytes(Here) == PlainBefore, "the plain actors change only when registered and searched for");
        }
        else
        {
            UObject* const Other = Registered == Here.ActorA ? Here.ActorB : Here.ActorA;
            const auto Now = PlainBytes(Here);
            const size_t OtherAt = Other == Here.ActorA ? 0 : 24;
            Fuzz::Require(std::equal(Now.begin() + static_cast<ptrdiff_t>(OtherAt), Now.begin() + static_cast<ptrdiff_t>(OtherAt + 24),
                                     PlainBefore.begin() + static_cast<ptrdiff_t>(OtherAt)),
                          "the actor not registered keeps every byte");
        }
        if (Odd != nullptr && Which > Destroyed)
        {
            RequireOnlyOwnVariablesWritten(*Odd, OddBefore);
            RequireDeclaredClasses(*Odd);
        }

        switch (Which)
        {
        case Register:
            if (Argument != nullptr)
            {
                Registered = Argument;
                Odd = nullptr;
            }
            break;
        case Destroyed:
            if (Argument != nullptr)
            {
                Registered = nullptr;
                Odd = nullptr;
            }
            Fuzz::Require(Params.GetObject(BlueprintHalf::Param::Actor) == nullptr, "the argument slot is nulled");
            break;
        case First:
        {
            const bool ItemFits = Allowed == nullptr || Allowed == Here.ItemClass;
            if (Items && Ref != nullptr && ItemFits)
            {
                Fuzz::Require(*Ref != nullptr && (*Ref)->GetClassPrivate() == Here.ItemClass, "the first item is found");
            }
            if (Items && Ref != nullptr && !ItemFits)
            {
                Fuzz::Require(*Ref == Held, "an item is not stored where another class is declared");
            }
            break;
        }
        case All:
            if (Plain)
            {
                // A corrupt list is refused whole: its storage cannot be trusted even to be freed.
                const Fuzz::ArrayHeader After = Fuzz::ReadHeader(ObjectRefsOf(Registered));
                if (!Fuzz::IsConsistent(RefsBefore))
                {
                    Fuzz::Require(After.Data == RefsBefore.Data && After.Num == RefsBefore.Num && After.Max == RefsBefore.Max,
                                  "a corrupt list is left as it was");
                }
                else
                {
                    Fuzz::Require(Fuzz::IsConsistent(After), "the search leaves a consistent list");
                    Fuzz::Require(!Items || static_cast<size_t>(After.Num) == LiveItems(), "every item is found");
                }
            }
            break;
        default:
            break;
        }
    }
    RequireHooks();
    return 0;
}
