// The world-actor registry and the three object functions of the actor's class: find the first
// or all live objects of a class, construct an object. Results go into the registered actor's
// "ObjectRef" and "ObjectRefs"; the engine array is changed only through the host's array code.
// Runs on the game thread, inside the Blueprint call.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UObject.hpp>
#include <Unreal/UObjectGlobals.hpp>
#include <VEXA_Core.hpp>
#include <log_bridge.hpp>

#include "core/adoption.hpp"
#include "core/core_hooks.hpp"
#include "core/param_view.hpp"

namespace VEXA
{
    namespace
    {
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
                BRMB::Log::Narrow("VEXA : WorldActor is not registered");
            }
            return Actor;
        }
    } // namespace

    auto VEXA_Core::SetNewWorldActor(RC::Unreal::UObject* NewActor) -> bool
    {
        BRMB::Log::Narrow("VEXA : SetNewWorldActor");
        if (NewActor == nullptr)
        {
            return false;
        }
        if (NewActor == WorldActor)
        {
            return true;
        }
        BRMB::Log::Narrow("VEXA : SetNewWorldActor : Calling ClearWorldActor");
        ClearWorldActor();
        WorldActor = NewActor;

        const std::array<BRMB::AdoptedFunction, 3> Functions{{
            {Hooks::FindFirstOfSpec.Function, &FindFirstOfHookIds, &BRMB::HookFunction<Hooks::FindFirstOfSpec>,
             "VEXA : WorldActor FindFirstOf is nullptr"},
            {Hooks::FindAllOfSpec.Function, &FindAllOfHookIds, &BRMB::HookFunction<Hooks::FindAllOfSpec>,
             "VEXA : WorldActor FindAllOf is nullptr"},
            {Hooks::NewObjectSpec.Function, &NewObjectHookIds, &BRMB::HookFunction<Hooks::NewObjectSpec>,
             "VEXA : WorldActor NewObject is nullptr", "VEXA : WorldActor NewObject Hook failed"},
        }};
        BRMB::HookAdoptedFunctions(*WorldActor, Functions, [](std::string_view Line) { BRMB::Log::Narrow(Line); });

        BRMB::Log::Narrow("VEXA : SetNewWorldActor : Finished SetNewWorldActor");
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
        const BRMB::ParamView Params(Context);
        UObject* const Actor = Params.ObjectAt(ObjectParam);
        if (Actor == nullptr)
        {
            BRMB::Log::Wide(STR("VEXA : Register WorldActor : Passed WorldActor is Null"));
            return;
        }
        if (CoreInstance().SetNewWorldActor(Actor))
        {
            Params.SetObjectAt(ObjectParam, nullptr);
        }
    }

    auto DestroyedWorldActor(HookContext& Context) -> void
    {
        const BRMB::ParamView Params(Context);
        if (Params.ObjectAt(ObjectParam) == nullptr)
        {
            BRMB::Log::Wide(STR("VEXA : Destroyed WorldActor : Passed WorldActor is Null"));
            return;
        }
        // Any actor ends the registration: only one world actor exists at a time.
        CoreInstance().ClearWorldActor();
        Params.SetObjectAt(ObjectParam, nullptr);
    }

    auto FindFirstOf(HookContext& Context) -> void
    {
        BRMB::Log::Narrow("VEXA : WorldActor::FindFirstOf Hook Triggered!");
        UObject* const Actor = RegisteredActor();
        if (Actor == nullptr)
        {
            return;
        }
        auto* const ObjectRef = Actor->GetValuePtrByPropertyName<UObject*>(ObjectRefName);
        if (ObjectRef == nullptr)
        {
            BRMB::Log::Narrow("VEXA : *ObjectRef is nullptr");
            return;
        }
        const std::string ClassName = BRMB::ParamView(Context).Utf8At(ClassNameParam);
        if (ClassName.empty())
        {
            BRMB::Log::Narrow("VEXA : No ClassName");
            return;
        }
        *ObjectRef = RC::Unreal::UObjectGlobals::FindFirstOf(ClassName);
    }

    auto FindAllOf(HookContext& Context) -> void
    {
        BRMB::Log::Narrow("VEXA : WorldActor::FindAllOf Hook Triggered!");
        UObject* const Actor = RegisteredActor();
        if (Actor == nullptr)
        {
            return;
        }
        auto* const ObjectRefs = Actor->GetValuePtrByPropertyName<TArray<UObject*>>(ObjectRefsName);
        if (ObjectRefs == nullptr)
        {
            BRMB::Log::Narrow("VEXA : ObjectRefs is nullptr");
            return;
        }
        // A corrupt header cannot be trusted even to be emptied: its storage is left alone.
        ObjectRefs->CheckInvariants();
        ObjectRefs->Empty();
        const std::string ClassName = BRMB::ParamView(Context).Utf8At(ClassNameParam);
        if (ClassName.empty())
        {
            BRMB::Log::Narrow("VEXA : No ClassName");
            return;
        }
        std::vector<UObject*> FoundObjects;
        RC::Unreal::UObjectGlobals::FindAllOf(ClassName, FoundObjects);
        if (FoundObjects.empty())
        {
            BRMB::Log::Narrow("VEXA : FindAllOf : FoundObjects is empty");
        }
        for (UObject* const Found : FoundObjects)
        {
            ObjectRefs->Add(Found);
        }
    }

    auto NewObject(HookContext& Context) -> void
    {
        BRMB::Log::Narrow("VEXA : WorldActor::NewObject Hook Triggered!");
        UObject* const Actor = RegisteredActor();
        if (Actor == nullptr)
        {
            return;
        }
        const BRMB::ParamView Params(Context);
        UObject* const Outer = Params.ObjectAt(OuterParam);
        UClass* const Class = Params.ObjectAt<UClass>(ClassParam);
        if (Class == nullptr)
        {
            // Nothing to construct; the Blueprint reads null rather than a stale object.
            BRMB::Log::Narrow("VEXA : NewObject : No Class");
            if (auto* const ObjectRef = Actor->GetValuePtrByPropertyName<UObject*>(ObjectRefName); ObjectRef != nullptr)
            {
                *ObjectRef = nullptr;
            }
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

        auto* const ObjectRef = Actor->GetValuePtrByPropertyName<UObject*>(ObjectRefName);
        if (ObjectRef == nullptr)
        {
            BRMB::Log::Narrow("VEXA : *ObjectRef is nullptr");
            return;
        }
        *ObjectRef = Created;
    }
} // namespace VEXA::Hooks
