// Object search, construction and Blueprint-function hooks.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <HostApi.hpp>
#include <String/StringType.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UFunctionStructs.hpp>
#include <Unreal/UnrealFlags.hpp>

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
        // Finds a loaded object by its path name; null while it is not loaded.
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

        RC_HOST_API auto StaticConstructObject(const FStaticConstructObjectParameters& Params) -> UObject*;
    } // namespace UObjectGlobals
} // namespace RC::Unreal
