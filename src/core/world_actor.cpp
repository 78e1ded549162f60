// The world-actor registry and the three object functions of the actor's class: find the first
// or all live objects of a class, construct an object. Results go into the registered actor's
// "ObjectRef" and "ObjectRefs", only when the actor's class declares them with the types written
// here and only with objects of the class they are declared for; the engine array is changed only
// through the host's array code.
// Runs on the game thread, inside the Blueprint call.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UObject.hpp>
#include <Unreal/UObjectGlobals.hpp>
#include <VEXA_Core.hpp>

#include "bridge/log.hpp"
#include "bridge/param_view.hpp"
#include "bridge/registration.hpp"
#include "core/core_hooks.hpp"

namespace VEXA
{
    using BRMB::Bridge::LogLine;
    using BRMB::Bridge::ParamView;

    namespace
    {
        using RC::Unreal::FArrayProperty;
        using RC::Unreal::FClassProperty;
        using RC::Unreal::FObjectProperty;
        using RC::Unreal::FProperty;
        using RC::Unreal::TArray;
        using RC::Unreal::UClass;
        using RC::Unreal::UObject;

        // The empty name: the engine then gives each new object a unique name of its own.
        constexpr RC::Unreal::FName EmptyObjectName{0, 0};

        constexpr size_t ObjectParam = 0;
        constexpr size_t ClassNameParam = 0;
        constexpr size_t OuterParam = 0;
        constexpr size_t ClassParam = 8;

        const RC::CharType* const ObjectRefName = STR("ObjectRef");
        const RC::CharType* const ObjectRefsName = STR("ObjectRefs");

        // The registered actor, or null after the not-registered line. Another instance of the
        // actor's class may call a hooked function while none is registered.
        auto RegisteredActor() -> UObject*
        {
            UObject* const Actor = CoreInstance().WorldActor;
            if (Actor == nullptr)
            {
                LogLine("VEXA : WorldActor is not registered");
            }
            return Actor;
        }

        // A plain object reference. A class reference has the same size but promises a class to
        // the Blueprint that reads it, which an arbitrary found object is not.
        auto IsObjectReference(FProperty* Property) -> bool
        {
            return RC::Unreal::CastField<FObjectProperty>(Property) != nullptr &&
                   RC::Unreal::CastField<FClassProperty>(Property) == nullptr;
        }

        auto IsArrayOfObjectReferences(FProperty* Property) -> bool
        {
            auto* const Array = RC::Unreal::CastField<FArrayProperty>(Property);
            return Array != nullptr && IsObjectReference(Array->GetInner());
        }

        // The storage of the actor's variable Name, but only when its declaration passes IsExpected;
        // null otherwise. The storage is the own-class variable that GetValuePtrByPropertyName
        // reaches, so the declaration checked is looked up among the own class's properties, never
        // a super class's same-named one. Without such a variable, or with one of another type,
        // the matching line is logged unless Quiet.
        template <typename T>
        auto CheckedVariable(UObject& Actor, const RC::CharType* Name, bool (*IsExpected)(FProperty*),
                             std::string_view MissingLine, std::string_view WrongTypeLine, bool Quiet = false,
                             FProperty** DeclaredAs = nullptr) -> T*
        {
            void* const Storage = Actor.GetValuePtrByPropertyName<void>(Name);
            if (Storage == nullptr)
            {
                if (!Quiet)
                {
                    LogLine(MissingLine);
                }
                return nullptr;
            }
            const RC::Unreal::FName Wanted(Name, RC::Unreal::FNAME_Find);
            FProperty* Declared = nullptr;
            for (FProperty* const Own : Actor.GetClassPrivate()->ForEachProperty())
            {
                if (Own->GetFName() == Wanted)
                {
                    Declared = Own;
                    break;
                }
            }
            if (Declared == nullptr || !IsExpected(Declared))
            {
                if (!Quiet)
                {
                    LogLine(WrongTypeLine);
                }
                return nullptr;
            }
            if (DeclaredAs != nullptr)
            {
                *DeclaredAs = Declared;
            }
            return static_cast<T*>(Storage);
        }

        // "ObjectRef" and the class its declaration allows.
        struct ObjectRefVariable
        {
            UObject** Storage = nullptr;
            UClass* Allowed = nullptr;
        };

        auto AllowedClass(FProperty* Reference) -> UClass*
        {
            auto* const Typed = RC::Unreal::CastField<FObjectProperty>(Reference);
            return Typed != nullptr ? Typed->GetPropertyClass() : nullptr;
        }

        auto ObjectRefOf(UObject& Actor, bool Quiet = false) -> ObjectRefVariable
        {
            FProperty* Declared = nullptr;
            UObject** const Storage =
                CheckedVariable<UObject*>(Actor, ObjectRefName, &IsObjectReference, "VEXA : *ObjectRef is nullptr",
                                          "VEXA : ObjectRef is not an object reference", Quiet, &Declared);
            return {Storage, Storage != nullptr ? AllowedClass(Declared) : nullptr};
        }

        struct ObjectRefsVariable
        {
            TArray<UObject*>* Storage = nullptr;
            UClass* Allowed = nullptr;
        };

        auto ObjectRefsOf(UObject& Actor) -> ObjectRefsVariable
        {
            FProperty* Declared = nullptr;
            auto* const Storage = CheckedVariable<TArray<UObject*>>(
                Actor, ObjectRefsName, &IsArrayOfObjectReferences, "VEXA : ObjectRefs is nullptr",
                "VEXA : ObjectRefs is not an array of object references", false, &Declared);
            return {Storage, Storage != nullptr ? AllowedClass(RC::Unreal::CastField<FArrayProperty>(Declared)->GetInner())
                                                : nullptr};
        }

        // Class is Allowed or derives from it. The engine names a class for every object
        // reference (Object at the least); a declaration without one restricts nothing.
        auto IsChildOf(const UClass* Class, const UClass* Allowed) -> bool
        {
            if (Allowed == nullptr)
            {
                return true;
            }
            for (const RC::Unreal::UStruct* Current = Class; Current != nullptr; Current = Current->GetSuperStruct())
            {
                if (Current == Allowed)
                {
                    return true;
                }
            }
            return false;
        }

        // Null fits any reference.
        auto Fits(const UObject* Object, const UClass* Allowed) -> bool
        {
            return Object == nullptr || IsChildOf(Object->GetClassPrivate(), Allowed);
        }

        // "VEXA : <Variable> holds <Allowed> references : a <Class> is not <Outcome>"
        auto ReportWrongClass(RC::StringViewType Variable, const UClass& Allowed, const UClass& Class,
                              RC::StringViewType Outcome) -> void
        {
            RC::StringType Line(STR("VEXA : "));
            Line.append(Variable).append(STR(" holds ")).append(Allowed.GetName()).append(STR(" references : a "));
            Line.append(Class.GetName()).append(STR(" is not ")).append(Outcome);
            LogLine(Line);
        }
    } // namespace

    auto VEXA_Core::SetNewWorldActor(RC::Unreal::UObject* NewActor) -> bool
    {
        LogLine("VEXA : SetNewWorldActor");
        if (NewActor == nullptr)
        {
            return false;
        }
        if (NewActor == WorldActor)
        {
            return true;
        }
        LogLine("VEXA : SetNewWorldActor : Calling ClearWorldActor");
        ClearWorldActor();
        WorldActor = NewActor;

        const std::array<BRMB::Bridge::RegisteredObjectFunction, 3> Functions{{
            {Hooks::FindFirstOfHook.Function, &FindFirstOfHookIds, &BRMB::Bridge::HookFunction<Hooks::FindFirstOfHook>,
             "VEXA : WorldActor FindFirstOf is nullptr"},
            {Hooks::FindAllOfHook.Function, &FindAllOfHookIds, &BRMB::Bridge::HookFunction<Hooks::FindAllOfHook>,
             "VEXA : WorldActor FindAllOf is nullptr"},
            {Hooks::NewObjectHook.Function, &NewObjectHookIds, &BRMB::Bridge::HookFunction<Hooks::NewObjectHook>,
             "VEXA : WorldActor NewObject is nullptr", "VEXA : WorldActor NewObject Hook failed"},
        }};
        BRMB::Bridge::HookRegisteredObject(*WorldActor, Functions);

        LogLine("VEXA : SetNewWorldActor : Finished SetNewWorldActor");
        return true;
    }

    auto VEXA_Core::ClearWorldActor() -> void
    {
        WorldActor = nullptr;
    }
} // namespace VEXA

namespace VEXA::Hooks
{
    auto RegisterWorldActor(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        UObject* const Actor = Params.ObjectAt(ObjectParam);
        if (Actor == nullptr)
        {
            LogLine(STR("VEXA : Register WorldActor : Passed WorldActor is Null"));
            return;
        }
        if (CoreInstance().SetNewWorldActor(Actor))
        {
            Params.SetObjectAt(ObjectParam, nullptr);
        }
    }

    auto DestroyedWorldActor(HookContext& Context) -> void
    {
        const ParamView Params(Context);
        if (Params.ObjectAt(ObjectParam) == nullptr)
        {
            LogLine(STR("VEXA : Destroyed WorldActor : Passed WorldActor is Null"));
            return;
        }
        // Any actor ends the registration: only one world actor exists at a time.
        CoreInstance().ClearWorldActor();
        Params.SetObjectAt(ObjectParam, nullptr);
    }

    auto FindFirstOf(HookContext& Context) -> void
    {
        LogLine("VEXA : WorldActor::FindFirstOf Hook Triggered!");
        UObject* const Actor = RegisteredActor();
        if (Actor == nullptr)
        {
            return;
        }
        const ObjectRefVariable ObjectRef = ObjectRefOf(*Actor);
        if (ObjectRef.Storage == nullptr)
        {
            return;
        }
        const std::string ClassName = ParamView(Context).Utf8At(ClassNameParam);
        if (ClassName.empty())
        {
            LogLine("VEXA : No ClassName");
            return;
        }
        UObject* const Found = RC::Unreal::UObjectGlobals::FindFirstOf(ClassName);
        // The Blueprint reads the variable as its declared class: anything else there would be
        // read as that class's members.
        if (!Fits(Found, ObjectRef.Allowed))
        {
            ReportWrongClass(ObjectRefName, *ObjectRef.Allowed, *Found->GetClassPrivate(), STR("stored"));
            return;
        }
        *ObjectRef.Storage = Found;
    }

    auto FindAllOf(HookContext& Context) -> void
    {
        LogLine("VEXA : WorldActor::FindAllOf Hook Triggered!");
        UObject* const Actor = RegisteredActor();
        if (Actor == nullptr)
        {
            return;
        }
        const ObjectRefsVariable Variable = ObjectRefsOf(*Actor);
        TArray<UObject*>* const ObjectRefs = Variable.Storage;
        if (ObjectRefs == nullptr)
        {
            return;
        }
        // A corrupt header cannot be trusted even to be emptied: its storage is left alone.
        ObjectRefs->CheckInvariants();
        const std::string ClassName = ParamView(Context).Utf8At(ClassNameParam);
        if (ClassName.empty())
        {
            ObjectRefs->Empty();
            LogLine("VEXA : No ClassName");
            return;
        }
        std::vector<UObject*> FoundObjects;
        RC::Unreal::UObjectGlobals::FindAllOf(ClassName, FoundObjects);
        // All or nothing: the array keeps what it held when one found object does not fit.
        for (const UObject* const Found : FoundObjects)
        {
            if (!Fits(Found, Variable.Allowed))
            {
                ReportWrongClass(ObjectRefsName, *Variable.Allowed, *Found->GetClassPrivate(), STR("stored"));
                return;
            }
        }
        ObjectRefs->Empty();
        if (FoundObjects.empty())
        {
            LogLine("VEXA : FindAllOf : FoundObjects is empty");
        }
        for (UObject* const Found : FoundObjects)
        {
            ObjectRefs->Add(Found);
        }
    }

    auto NewObject(HookContext& Context) -> void
    {
        LogLine("VEXA : WorldActor::NewObject Hook Triggered!");
        UObject* const Actor = RegisteredActor();
        if (Actor == nullptr)
        {
            return;
        }
        const ParamView Params(Context);
        UObject* const Outer = Params.ObjectAt(OuterParam);
        UClass* const Class = Params.ObjectAt<UClass>(ClassParam);
        if (Class == nullptr)
        {
            // Nothing to construct; the Blueprint reads null rather than a stale object.
            LogLine("VEXA : NewObject : No Class");
            if (UObject** const ObjectRef = ObjectRefOf(*Actor, true).Storage; ObjectRef != nullptr)
            {
                *ObjectRef = nullptr;
            }
            return;
        }
        // Checked before constructing, so nothing is made that could not be stored.
        if (const ObjectRefVariable Target = ObjectRefOf(*Actor, true);
            Target.Storage != nullptr && !IsChildOf(Class, Target.Allowed))
        {
            ReportWrongClass(ObjectRefName, *Target.Allowed, *Class, STR("constructed"));
            return;
        }

        RC::Unreal::FStaticConstructObjectParameters Construct(Class, nullptr);
        Construct.Outer = Outer;
        Construct.Name = EmptyObjectName;
        Construct.SetFlags = RC::Unreal::RF_NoFlags;
        Construct.Template = nullptr;
        Construct.bCopyTransientsFromClassDefaults = false;
        Construct.InstanceGraph = nullptr;
        Construct.ExternalPackage = nullptr;
        UObject* const Created = RC::Unreal::UObjectGlobals::StaticConstructObject(Construct);

        UObject** const ObjectRef = ObjectRefOf(*Actor).Storage;
        if (ObjectRef == nullptr)
        {
            return;
        }
        *ObjectRef = Created;
    }
} // namespace VEXA::Hooks
