// Object search, construction and Blueprint-function hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <HostApi.hpp>
#include <String/StringType.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UFunctionStructs.hpp>
#include <Unreal/UnrealFlags.hpp>

namespace RC
{
    // Whether a walk goes on after an element.
    enum class LoopAction
    {
        Continue,
        Break,
    };
} // namespace RC

namespace RC::Unreal
{
    class UClass;
    class UFunction;
    class UObject;
    class UPackage;
    class ObjectSearcher;
    struct FObjectInstancingGraph;

    struct RC_HOST_API FStaticConstructObjectParameters
    {
        FStaticConstructObjectParameters(const UClass* InClass, UObject* InOuter);

        const UClass* Class;
        UObject* Outer;
        FName Name;
        EObjectFlags SetFlags = RF_NoFlags;
        EInternalObjectFlags InternalSetFlags = EInternalObjectFlags::None;
        bool bCopyTransientsFromClassDefaults = false;
        bool bAssumeTemplateIsArchetype = false;
        UObject* Template = nullptr;
        FObjectInstancingGraph* InstanceGraph = nullptr;
        UPackage* ExternalPackage = nullptr;
    };

    namespace UObjectGlobals
    {
        // Finds a loaded object by its path name; null while it is not loaded. Without an outer it
        // walks the whole object array, comparing each object's outermost package with the path's
        // and building the path of each object in that package; a found path is cached, a miss
        // never is, so every failed lookup walks the whole array again.
        RC_HOST_API auto FindObject(UClass* Class, UObject* InOuter, const CharType* Name, bool bExactClass = false,
                                    ObjectSearcher* Searcher = nullptr) -> UObject*;
        RC_HOST_API auto FindObject(UClass* Class, UObject* InOuter, StringViewType Name, bool bExactClass = false,
                                    ObjectSearcher* Searcher = nullptr) -> UObject*;

        // Adds a pre- and a post-callback to every call of the function; returns their ids (one
        // id for both with a Blueprint function). Throws std::runtime_error when the function
        // cannot be hooked (older hosts answered (0, 0)).
        RC_HOST_API auto RegisterHook(UFunction* Function, UnrealScriptFunctionCallable PreCallback,
                                      UnrealScriptFunctionCallable PostCallback, void* CustomData)
            -> std::pair<int, int>;
        // Removes both callbacks of a RegisterHook answer. Never from inside one of them (the
        // stand-in throws std::logic_error).
        RC_HOST_API auto UnregisterHook(UFunction* Function, std::pair<int, int> Ids) -> void;

        // Live objects whose class or a super class has the given name (a class's own name, not
        // its path); class-default objects are never among them.
        RC_HOST_API auto FindFirstOf(FName ClassName) -> UObject*;
        RC_HOST_API auto FindFirstOf(const CharType* ClassName) -> UObject*;
        RC_HOST_API auto FindFirstOf(StringViewType ClassName) -> UObject*;
        RC_HOST_API auto FindFirstOf(const StringType& ClassName) -> UObject*;
        RC_HOST_API auto FindFirstOf(std::string_view ClassName) -> UObject*;
        RC_HOST_API auto FindFirstOf(const std::string& ClassName) -> UObject*;
        RC_HOST_API auto FindAllOf(FName ClassName, std::vector<UObject*>& OutStorage) -> void;
        RC_HOST_API auto FindAllOf(const CharType* ClassName, std::vector<UObject*>& OutStorage) -> void;
        RC_HOST_API auto FindAllOf(StringViewType ClassName, std::vector<UObject*>& OutStorage) -> void;
        RC_HOST_API auto FindAllOf(const StringType& ClassName, std::vector<UObject*>& OutStorage) -> void;
        RC_HOST_API auto FindAllOf(std::string_view ClassName, std::vector<UObject*>& OutStorage) -> void;
        RC_HOST_API auto FindAllOf(const std::string& ClassName, std::vector<UObject*>& OutStorage) -> void;

        // Every live object of the object array, in index order, with its chunk and its index
        // within the chunk (chunks of 65,536); the callable answers whether to go on.
        RC_HOST_API auto ForEachUObject(const std::function<LoopAction(UObject*, int32_t, int32_t)>& Callable) -> void;
        // As ForEachUObject, over the array indices from Start up to (not including) End only.
        RC_HOST_API auto ForEachUObjectInRange(int32_t Start, int32_t End,
                                               const std::function<LoopAction(UObject*, int32_t, int32_t)>& Callable)
            -> void;

        RC_HOST_API auto StaticConstructObject(const FStaticConstructObjectParameters& Params) -> UObject*;
    } // namespace UObjectGlobals
} // namespace RC::Unreal
