// Object search, construction and Blueprint-function hook registration over the simulated engine.
#include <Unreal/UObjectArray.hpp>
#include <Unreal/UObjectGlobals.hpp>

#include <algorithm>
#include <climits>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "sim_state.hpp"

namespace RC::Unreal
{
    using Sim::Engine;

    FStaticConstructObjectParameters::FStaticConstructObjectParameters(const UClass* InClass, UObject* InOuter)
        : Class(InClass), Outer(InOuter)
    {
    }

    namespace
    {
        auto State() -> Engine::Impl& { return Engine::Impl::Current(); }

        auto Matches(const UObject* Object, UClass* Class, UObject* InOuter, StringViewType Name) -> bool
        {
            const auto& ObjectState = Engine::Impl::StateOf(Object);
            if (!ObjectState.Loaded || (Class != nullptr && !Object->IsA(Class)))
            {
                return false;
            }
            // With an outer the name is relative to it.
            return ObjectState.Outer == InOuter && Object->GetName() == Name;
        }

        // The class or any of its super classes has the name.
        auto IsOfClassNamed(const UStruct* Class, FName ClassName) -> bool
        {
            for (const UStruct* Current = Class; Current != nullptr; Current = Current->GetSuperStruct())
            {
                if (Current->GetNamePrivate() == ClassName)
                {
                    return true;
                }
            }
            return false;
        }

        auto Search(FName ClassName, std::string SearchedText, bool FirstOnly, std::vector<UObject*>* Found) -> UObject*
        {
            auto& S = State();
            S.LastSearchedName = std::move(SearchedText);
            if (ClassName.IsNone())
            {
                return nullptr;
            }
            for (const auto& Object : S.Objects)
            {
                if (!Object)
                {
                    continue;
                }
                const auto& ObjectState = Engine::Impl::StateOf(Object.get());
                if (ObjectState.Loaded && !ObjectState.IsClassDefault && IsOfClassNamed(ObjectState.Class, ClassName))
                {
                    if (FirstOnly)
                    {
                        return Object.get();
                    }
                    Found->push_back(Object.get());
                }
            }
            return nullptr;
        }

        auto Outermost(const UObject* Object) -> const UObject*
        {
            while (const UObject* Outer = Engine::Impl::StateOf(Object).Outer)
            {
                Object = Outer;
            }
            return Object;
        }

        // The host's lookup by path without an outer: every live object whose outermost package
        // has the path's package name has its path built and compared.
        auto WalkForPath(UClass* Class, StringViewType Name, bool bExactClass) -> UObject*
        {
            auto& S = State();
            const auto Dot = Name.find(STR('.'));
            const FName Package(Name.substr(0, Dot), FNAME_Find);
            for (int32_t Index = 0; Index < static_cast<int32_t>(S.Objects.size()); ++Index)
            {
                UObject* const Object = S.Live(Index);
                if (Object == nullptr)
                {
                    continue;
                }
                ++S.FindObjectVisitCount;
                if (Engine::Impl::StateOf(Outermost(Object)).Name != Package || Sim::BuildPath(Object) != Name)
                {
                    continue;
                }
                if ((Class != nullptr && !Object->IsA(Class)) || (bExactClass && Class != nullptr && Object->GetClassPrivate() != Class))
                {
                    continue;
                }
                S.FoundPaths.emplace(StringType(Name), Object);
                return Object;
            }
            return nullptr;
        }

        auto FindFirst(StringViewType ClassName) -> UObject*
        {
            return Search(FName(ClassName, FNAME_Find), Sim::ToUtf8(ClassName), true, nullptr);
        }

        auto FindAll(StringViewType ClassName, std::vector<UObject*>& OutStorage) -> void
        {
            Search(FName(ClassName, FNAME_Find), Sim::ToUtf8(ClassName), false, &OutStorage);
        }
    } // namespace

    namespace UObjectGlobals
    {
        auto FindObject(UClass* Class, UObject* InOuter, const CharType* Name, bool bExactClass, ObjectSearcher* Searcher)
            -> UObject*
        {
            return FindObject(Class, InOuter, Name != nullptr ? StringViewType(Name) : StringViewType(), bExactClass,
                              Searcher);
        }

        auto FindObject(UClass* Class, UObject* InOuter, StringViewType Name, bool bExactClass, ObjectSearcher* Searcher)
            -> UObject*
        {
            (void)Searcher;
            auto& S = State();
            ++S.FindObjectCallCount;
            if (InOuter == nullptr)
            {
                // Cached entries leave with their object, so a hit is live and loaded.
                if (const auto Found = S.FoundPaths.find(Name); Found != S.FoundPaths.end())
                {
                    UObject* const Object = Found->second;
                    const bool ClassFits = Class == nullptr || (bExactClass ? Object->GetClassPrivate() == Class : Object->IsA(Class));
                    return ClassFits ? Object : nullptr;
                }
                return WalkForPath(Class, Name, bExactClass);
            }
            for (const auto& Object : S.Objects)
            {
                if (Object && Matches(Object.get(), Class, InOuter, Name) &&
                    !(bExactClass && Class != nullptr && Object->GetClassPrivate() != Class))
                {
                    return Object.get();
                }
            }
            return nullptr;
        }

        auto RegisterHook(UFunction* Function, UnrealScriptFunctionCallable PreCallback,
                          UnrealScriptFunctionCallable PostCallback, void* CustomData) -> std::pair<int, int>
        {
            if (Function == nullptr)
            {
                return {0, 0};
            }
            auto& S = State();
            const std::lock_guard Guard(S.Lock);
            auto& Hooks = S.Hooks[Function];
            ++Hooks.RegisterCalls;
            const auto Listed = [&](const std::vector<StringType>& Names) {
                return std::find(Names.begin(), Names.end(), Function->GetName()) != Names.end();
            };
            if (Listed(S.InjectedFaults.ThrowRegisterHookFor))
            {
                throw std::runtime_error("Could not hook UFunction '" + Sim::ToUtf8(Function->GetFullName()) +
                                         "': no script hook can be installed for it");
            }
            if (Listed(S.InjectedFaults.FailRegisterHookFor))
            {
                return {0, 0};
            }
            // A Blueprint function's pre and post callbacks share one id.
            const int Id = S.NextHookId++;
            Hooks.Pre.push_back(Sim::HookEntry{std::move(PreCallback), CustomData, Id, Sim::NextRegistrationSerial()});
            Hooks.Post.push_back(Sim::HookEntry{std::move(PostCallback), CustomData, Id, Sim::NextRegistrationSerial()});
            return {Id, Id};
        }

        auto UnregisterHook(UFunction* Function, std::pair<int, int> Ids) -> void
        {
            if (Function == nullptr)
            {
                return;
            }
            Function->UnregisterHook(Ids.first);
            if (Ids.second != Ids.first)
            {
                Function->UnregisterHook(Ids.second);
            }
        }

        auto FindFirstOf(FName ClassName) -> UObject*
        {
            return Search(ClassName, Sim::ToUtf8(ClassName.ToString()), true, nullptr);
        }
        auto FindFirstOf(const CharType* ClassName) -> UObject*
        {
            return FindFirst(ClassName != nullptr ? StringViewType(ClassName) : StringViewType());
        }
        auto FindFirstOf(StringViewType ClassName) -> UObject* { return FindFirst(ClassName); }
        auto FindFirstOf(const StringType& ClassName) -> UObject* { return FindFirst(ClassName); }
        auto FindFirstOf(std::string_view ClassName) -> UObject* { return FindFirst(Sim::FromUtf8(ClassName)); }
        auto FindFirstOf(const std::string& ClassName) -> UObject* { return FindFirst(Sim::FromUtf8(ClassName)); }

        auto FindAllOf(FName ClassName, std::vector<UObject*>& OutStorage) -> void
        {
            Search(ClassName, Sim::ToUtf8(ClassName.ToString()), false, &OutStorage);
        }
        auto FindAllOf(const CharType* ClassName, std::vector<UObject*>& OutStorage) -> void
        {
            FindAll(ClassName != nullptr ? StringViewType(ClassName) : StringViewType(), OutStorage);
        }
        auto FindAllOf(StringViewType ClassName, std::vector<UObject*>& OutStorage) -> void
        {
            FindAll(ClassName, OutStorage);
        }
        auto FindAllOf(const StringType& ClassName, std::vector<UObject*>& OutStorage) -> void
        {
            FindAll(ClassName, OutStorage);
        }
        auto FindAllOf(std::string_view ClassName, std::vector<UObject*>& OutStorage) -> void
        {
            FindAll(Sim::FromUtf8(ClassName), OutStorage);
        }
        auto FindAllOf(const std::string& ClassName, std::vector<UObject*>& OutStorage) -> void
        {
            FindAll(Sim::FromUtf8(ClassName), OutStorage);
        }

        auto ForEachUObjectInRange(int32_t Start, int32_t End,
                                   const std::function<LoopAction(UObject*, int32_t, int32_t)>& Callable) -> void
        {
            constexpr int32_t ChunkSize = 64 * 1024;
            auto& S = State();
            const auto Last = static_cast<int32_t>(std::min<size_t>(S.Objects.size(), static_cast<size_t>(INT32_MAX)));
            for (int32_t Index = std::max(Start, 0); Index < std::min(End, Last); ++Index)
            {
                if (UObject* const Object = S.Live(Index);
                    Object != nullptr && Callable(Object, Index / ChunkSize, Index % ChunkSize) == LoopAction::Break)
                {
                    return;
                }
            }
        }

        auto ForEachUObject(const std::function<LoopAction(UObject*, int32_t, int32_t)>& Callable) -> void
        {
            ForEachUObjectInRange(0, INT32_MAX, Callable);
        }

        auto StaticConstructObject(const FStaticConstructObjectParameters& Params) -> UObject*
        {
            State().Constructions.push_back({Params, nullptr});
            if (Params.Class == nullptr)
            {
                return nullptr;
            }
            // Engine classes are never const in the engine's own hands.
            auto* Class = const_cast<UClass*>(Params.Class);
            const StringType Name = Params.Name.IsNone() ? StringType() : Params.Name.ToString();
            UObject* Object = Engine::Get().SpawnObject(Class, Params.Outer, Name);
            State().Constructed.push_back(Object);
            State().Constructions.back().Result = Object;
            return Object;
        }
    } // namespace UObjectGlobals

    namespace
    {
        template <typename Listener>
        auto AddListener(std::vector<std::pair<Listener*, uint64_t>>& Listeners, Listener* Added) -> void
        {
            if (Added != nullptr && std::none_of(Listeners.begin(), Listeners.end(),
                                                 [Added](const auto& Entry) { return Entry.first == Added; }))
            {
                Listeners.emplace_back(Added, Sim::NextRegistrationSerial());
            }
        }

        template <typename Listener>
        auto RemoveListener(std::vector<std::pair<Listener*, uint64_t>>& Listeners, Listener* Removed) -> void
        {
            std::erase_if(Listeners, [Removed](const auto& Entry) { return Entry.first == Removed; });
        }
    } // namespace

    auto UObjectArray::AddUObjectCreateListener(FUObjectCreateListener* Listener) -> void
    {
        AddListener(State().CreateListeners, Listener);
    }

    auto UObjectArray::RemoveUObjectCreateListener(FUObjectCreateListener* Listener) -> void
    {
        RemoveListener(State().CreateListeners, Listener);
    }

    auto UObjectArray::AddUObjectDeleteListener(FUObjectDeleteListener* Listener) -> void
    {
        AddListener(State().DeleteListeners, Listener);
    }

    auto UObjectArray::RemoveUObjectDeleteListener(FUObjectDeleteListener* Listener) -> void
    {
        RemoveListener(State().DeleteListeners, Listener);
    }
} // namespace RC::Unreal
