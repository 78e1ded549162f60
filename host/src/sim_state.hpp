// Host-private state of the simulated engine: what every engine object carries, the engine's
// own bookkeeping, and the helpers the host's sources share. Never installed, never seen by a mod.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <Sim/Engine.hpp>
#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
#include <Unreal/Hooks/Hooks.hpp>
#include <Unreal/UFunctionStructs.hpp>
#include <Unreal/UObjectArray.hpp>

namespace RC::Sim
{
    // Zeroed engine memory of a fixed size, 16-byte aligned, freed with its owner.
    class AlignedBlock
    {
    public:
        AlignedBlock() = default;
        explicit AlignedBlock(size_t Size);

        [[nodiscard]] auto Data() const -> uint8_t* { return Bytes.get(); }
        [[nodiscard]] auto Size() const -> size_t { return ByteCount; }

    private:
        struct Release
        {
            auto operator()(uint8_t* Memory) const -> void { ::operator delete[](Memory, std::align_val_t{16}); }
        };
        std::unique_ptr<uint8_t[], Release> Bytes;
        size_t ByteCount = 0;
    };

    struct HookEntry
    {
        Unreal::UnrealScriptFunctionCallable Callable;
        void* CustomData = nullptr;
        int Id = 0;
        uint64_t Serial = 0; // process-wide registration order, for forgetting a mod's callables
        bool Removed = false; // unregistered while a call runs: skipped, dropped after it
    };

    struct FunctionHooks
    {
        // Deques: an entry stays in place while its own callable registers further hooks.
        std::deque<HookEntry> Pre;
        std::deque<HookEntry> Post;
        int RegisterCalls = 0;
        int Running = 0; // calls of the function in progress: removed entries wait for them
    };

    enum class CallbackKind
    {
        EngineTick,
        ProcessEvent,
    };

    struct TickEntry
    {
        Unreal::Hook::EngineTickCallbackWithData Callback;
        Unreal::Hook::ProcessEventCallbackWithData ProcessEventCallback;
        CallbackKind Kind = CallbackKind::EngineTick;
        Unreal::Hook::FCallbackOptions Options;
        Unreal::Hook::GlobalCallbackId Id = 0;
        uint64_t Serial = 0;
        bool Removed = false;
    };

    struct ObjectState
    {
        UClass* Class = nullptr;
        UObject* Outer = nullptr;
        FName Name;
        StringType Path; // empty for filler objects: built from the outers when asked for
        int32_t Index = -1;  // in the object array
        uint64_t Serial = 0; // creation order
        bool Loaded = true;
        bool IsPackage = false;
        bool IsClassDefault = false;

        // Instances: the variables their class declares.
        AlignedBlock Variables;

        // Structs, classes, functions: own properties in declaration order.
        std::vector<std::unique_ptr<Unreal::FProperty>> Properties;
        Unreal::UStruct* Super = nullptr;
        int32_t PropertiesSize = 0;

        // Classes.
        std::vector<UFunction*> Functions;
        UObject* ClassDefault = nullptr;

        // Functions.
        BlueprintBody Body;

        // Data tables.
        UScriptStruct* RowStruct = nullptr;
        std::vector<std::pair<FName, AlignedBlock>> Rows;
    };

    struct Engine::Impl
    {
        // The object array: an object keeps its index for life; a destroyed object's index is free
        // for the next one, as in the engine.
        std::vector<std::unique_ptr<UObject>> Objects;
        // Beside each index, whether a walk sees its object (there and loaded): the engine keeps
        // such flags in its dense item array, so a walk skips an index without touching the object.
        std::vector<uint8_t> LiveAt;
        std::vector<int32_t> FreeIndices;
        uint64_t NextSerial = 0;
        // The engine's own index of paths, for building the half; FindObject does not use it.
        std::map<StringType, UObject*, std::less<>> ByPath;
        // FindObject's cache of found paths (misses are never cached).
        std::map<StringType, UObject*, std::less<>> FoundPaths;
        // With their registration serials, so that a mod's listeners go with its code.
        std::vector<std::pair<Unreal::FUObjectCreateListener*, uint64_t>> CreateListeners;
        std::vector<std::pair<Unreal::FUObjectDeleteListener*, uint64_t>> DeleteListeners;
        size_t FillerCount = 0;
        std::map<const UFunction*, FunctionHooks> Hooks;
        std::deque<TickEntry> TickCallbacks;
        std::map<StringType, int, std::less<>> NameCounters;
        std::vector<UObject*> Constructed;
        std::vector<Construction> Constructions;
        Faults InjectedFaults;

        UClass* ObjectClass = nullptr;
        UClass* PackageClass = nullptr;
        UClass* ClassClass = nullptr;
        UClass* FunctionClass = nullptr;
        UClass* ScriptStructClass = nullptr;
        UClass* DataTableClass = nullptr;
        UClass* EngineClass = nullptr;
        UObject* TransientPackage = nullptr;
        Unreal::UEngine* GameEngine = nullptr;

        // Held while the engine runs callbacks and while they are registered or removed, as the
        // real host holds its own: a caller on another thread waits for a running callback.
        std::recursive_mutex Lock;
        // Callbacks and hooks running now, innermost last: removing one of them from inside is an error.
        std::vector<Unreal::Hook::GlobalCallbackId> RunningCallbacks;
        std::vector<std::pair<const UFunction*, int>> RunningHooks;
        int CallbackPasses = 0; // runs of the callback list in progress: removed entries wait for them
        int ProcessEventsPerFrame = 2000;

        int NextHookId = 1;
        Unreal::Hook::GlobalCallbackId NextTickId = 1;
        int FindObjectCallCount = 0;
        uint64_t FindObjectVisitCount = 0;
        int EscapedExceptionCount = 0;
        std::string LastSearchedName;

        // Takes ownership of a new object and files it under its path; a taken path throws.
        auto Add(std::unique_ptr<UObject> Object, UClass* Class, UObject* Outer, StringViewType Name) -> UObject*;
        auto PackageFor(StringViewType Path) -> UObject*;
        // Gives a new object its index (a free one first) and its serial.
        auto Place(std::unique_ptr<UObject> Object) -> UObject*;
        // Tell the listeners that an object entered or left the array (loaded or hidden too).
        auto NotifyCreated(const UObject* Object) -> void;
        auto NotifyDeleted(const UObject* Object) -> void;
        // Whether an object is in the array as a walk sees it: there and loaded.
        [[nodiscard]] auto Live(int32_t Index) const -> UObject*;

        // The one door from the host's sources to engine and object state (the engine is a
        // friend of every engine object, and so is this nested struct).
        static auto Of(Engine& Target) -> Impl& { return *Target.State; }
        static auto Current() -> Impl& { return *Get().State; }
        static auto StateOf(const UObject& Object) -> ObjectState& { return *Object.State; }
        static auto StateOf(const UObject* Object) -> ObjectState& { return *Object->State; }
    };

    // Registration serials only grow, across engines too, so a mark taken at load time also
    // separates a mod's callables from those registered before it.
    auto NextRegistrationSerial() -> uint64_t;
    auto CurrentRegistrationSerial() -> uint64_t;
    // Drops every hook callable, engine callback and object-array listener registered after Mark.
    auto ForgetCallablesSince(Engine& Target, uint64_t Mark) -> void;
    // Names every hook and engine callback registered after Mark and still registered.
    auto CallablesSince(Engine& Target, uint64_t Mark) -> std::vector<std::string>;
    // Drops removed entries once no run of them is in progress.
    auto PurgeRemoved(Engine::Impl& S) -> void;

    // Every property of a struct and its super structs, own first.
    auto PropertiesInChain(const Unreal::UStruct* Struct) -> std::vector<Unreal::FProperty*>;

    // Releases the engine strings and arrays inside Memory laid out by Properties.
    auto DestroyValues(const std::vector<Unreal::FProperty*>& Properties, uint8_t* Memory) -> void;

    // An object's path built from its name and its outers, as the engine builds it.
    auto BuildPath(const UObject* Object) -> StringType;

    auto ToUtf8(StringViewType Text) -> std::string;
    auto FromUtf8(std::string_view Text) -> StringType;
} // namespace RC::Sim
