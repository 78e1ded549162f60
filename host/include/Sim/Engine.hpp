// The simulated engine behind the stand-in host: the part the real host does not expose.
// Tests and the simulator build a Blueprint half with it, call Blueprint functions, tick the
// engine, inject host faults and read what the mod did. Not for the mod's own sources.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <DynamicOutput/OutputDevice.hpp>
#include <HostApi.hpp>
#include <String/StringType.hpp>
#include <Unreal/Engine/UDataTable.hpp>
#include <Unreal/FString.hpp>
#include <Unreal/Hooks/Hooks.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UClass.hpp>
#include <Unreal/UFunction.hpp>
#include <Unreal/UObject.hpp>
#include <Unreal/UObjectGlobals.hpp>
#include <Unreal/UScriptStruct.hpp>

namespace RC
{
    class CppUserModBase;
}

namespace RC::Sim
{
    using Unreal::FName;
    using Unreal::UClass;
    using Unreal::UDataTable;
    using Unreal::UFunction;
    using Unreal::UObject;
    using Unreal::UScriptStruct;

    // Kinds of variables, parameters and structure members.
    enum class Kind
    {
        Object,  // UObject*, 8 bytes
        Class,   // UClass*, 8 bytes
        Str,     // FString, 16 bytes
        Name,    // FName, 8 bytes
        Int64,   // 8-byte value (also opaque 8-byte entries)
        Int32,   // 4 bytes
        Float,   // 4 bytes
        Bool,    // 1 byte
        Array,   // engine array header, 16 bytes; Inner describes the element
        Struct,  // an embedded script struct of its own size
    };

    // How a function declares a parameter; variables and structure members ignore it.
    enum class ParamRole
    {
        In,    // CPF_Parm
        Out,   // CPF_Parm and CPF_OutParm
        Local, // a Blueprint local variable: in the function's struct, no flags
    };

    struct PropDecl
    {
        StringType Name;
        Kind PropKind = Kind::Int64;
        int32_t Offset = -1;                    // -1: next free offset, aligned to the member's size (max 8)
        std::shared_ptr<const PropDecl> Inner;  // element of an Array
        UScriptStruct* Struct = nullptr;        // the struct of a Struct member or of Array<Struct>
        UClass* ObjectClass = nullptr;          // Object: the class referred to; Class: the class named; null: Object
        ParamRole Role = ParamRole::In;
    };

    // Shorthands for property declarations.
    RC_HOST_API auto Prop(StringViewType Name, Kind PropKind, int32_t Offset = -1) -> PropDecl;
    RC_HOST_API auto ArrayProp(StringViewType Name, PropDecl Inner, int32_t Offset = -1) -> PropDecl;
    RC_HOST_API auto StructProp(StringViewType Name, UScriptStruct* Struct, int32_t Offset = -1) -> PropDecl;
    // The bytes a member so described takes; std::invalid_argument for a struct member naming none.
    RC_HOST_API auto SizeOf(const PropDecl& Desc) -> int32_t;

    // The Blueprint body of a function: runs after every pre-callback, before every post-callback.
    using BlueprintBody = std::function<void(UObject* Context, uint8_t* Params)>;

    // A call's parameter block laid out as the function declares, zeroed; engine strings and arrays
    // in it are destroyed with the block.
    class RC_HOST_API ParamBlock
    {
    public:
        explicit ParamBlock(const UFunction* Function);
        ParamBlock(const ParamBlock&) = delete;
        auto operator=(const ParamBlock&) -> ParamBlock& = delete;
        ~ParamBlock();

        [[nodiscard]] auto Data() -> uint8_t*;
        [[nodiscard]] auto Size() const -> size_t;
        [[nodiscard]] auto Function() const -> const UFunction*;

        // By parameter name; a name the function lacks or of another kind throws std::invalid_argument.
        auto SetString(StringViewType Param, StringViewType Text) -> void;
        [[nodiscard]] auto GetString(StringViewType Param) const -> StringType;
        auto SetObject(StringViewType Param, UObject* Object) -> void;
        [[nodiscard]] auto GetObject(StringViewType Param) const -> UObject*;
        auto SetName(StringViewType Param, FName Name) -> void;
        [[nodiscard]] auto GetName(StringViewType Param) const -> FName;
        auto SetInt64(StringViewType Param, uint64_t Value) -> void;
        [[nodiscard]] auto GetInt64(StringViewType Param) const -> uint64_t;
        // Raw bytes at an offset of the block; throws std::out_of_range past its end.
        auto SetBytes(size_t Offset, const std::vector<uint8_t>& Bytes) -> void;
        [[nodiscard]] auto GetBytes(size_t Offset, size_t Count) const -> std::vector<uint8_t>;

    private:
        const UFunction* Fn;
        std::unique_ptr<uint8_t[]> Storage;
        size_t StorageSize;
    };

    // Injected host faults.
    struct Faults
    {
        // RegisterHook answers (0, 0) for functions of these names (and registers nothing), as
        // older hosts do.
        std::vector<StringType> FailRegisterHookFor;
        // RegisterHook throws std::runtime_error for functions of these names (and registers
        // nothing), as current hosts do.
        std::vector<StringType> ThrowRegisterHookFor;
        // When set, Blueprint calls run with file access of an unprivileged user (Linux, as root:
        // uid and gid 65534), so files whose permissions deny reading or writing really are
        // refused, also to root. Files and folders the call should reach must grant access to
        // others. Windows: no effect (deny with read-only attributes there).
        bool RestrictFileAccess = false;
        // The game's engine tick was not found (or the player turned it off): engine-tick
        // callbacks register but never run, and UE4SSRuntime::IsEngineTickAvailable() is false.
        bool NoEngineTick = false;
        // Likewise for ProcessEvent callbacks and IsProcessEventAvailable().
        bool NoProcessEvent = false;
    };

    // One StaticConstructObject call: what the mod asked for, and the object it got (null when
    // nothing was constructed).
    struct Construction
    {
        Unreal::FStaticConstructObjectParameters Params;
        UObject* Result = nullptr;
    };

    struct LogLine
    {
        StringType Text; // as delivered, including any trailing newline
        int32_t Level;
    };

    // A log device that keeps every line with its level.
    class RC_HOST_API CaptureDevice : public Output::OutputDevice
    {
    public:
        [[nodiscard]] auto has_optional_arg() const -> bool override { return true; }
        auto receive(StringViewType Text) const -> void override;
        auto receive_with_optional_arg(StringViewType Text, int32_t Level = 0) const -> void override;
        [[nodiscard]] auto Lines() const -> const std::vector<LogLine>&;
        auto Clear() -> void;

    private:
        mutable std::vector<LogLine> Captured;
    };

    // Console device: a colour per level on a terminal, plain otherwise. File device: appends to a file.
    RC_HOST_API auto MakeConsoleDevice(bool Colour) -> std::unique_ptr<Output::OutputDevice>;
    RC_HOST_API auto MakeFileDevice(const std::string& Utf8Path) -> std::unique_ptr<Output::OutputDevice>;
    // Discards every line (benchmarks).
    RC_HOST_API auto MakeNullDevice() -> std::unique_ptr<Output::OutputDevice>;

    // The one simulated engine of the process. Reset() destroys every object, hook, tick callback
    // and log device of the previous engine and starts an empty one.
    class RC_HOST_API Engine
    {
    public:
        static auto Get() -> Engine&;
        static auto Reset() -> Engine&;

        Engine();
        Engine(const Engine&) = delete;
        auto operator=(const Engine&) -> Engine& = delete;
        ~Engine();

        // --- building the Blueprint half -------------------------------------------------------
        // Path "/Game/Mods/VEXA/VEXA_FunctionLibrary.VEXA_FunctionLibrary_C": package, then class.
        auto CreateClass(StringViewType Path, std::vector<PropDecl> Variables = {}, UClass* Super = nullptr) -> UClass*;
        auto AddFunction(UClass* Class, StringViewType Name, std::vector<PropDecl> Params, BlueprintBody Body = {})
            -> UFunction*;
        // A struct with a super struct lays its own members out after the super struct's.
        auto CreateStruct(StringViewType Path, std::vector<PropDecl> Members, int32_t Size = -1,
                          UScriptStruct* Super = nullptr) -> UScriptStruct*;
        auto CreateDataTable(StringViewType Path, UScriptStruct* RowStruct) -> UDataTable*;
        // Zeroed row storage of the row struct's size, owned by the table; engine arrays in it are
        // written through the host's array code (or raw, to build corrupt headers).
        auto AddRow(UDataTable* Table, FName RowName) -> uint8_t*;
        // A live object of Class (unique name "<Class>_<n>" when Name is empty), found by the searches.
        auto SpawnObject(UClass* Class, UObject* Outer = nullptr, StringViewType Name = {}) -> UObject*;
        // A game's worth of other live objects: Count objects named "Filler<n>" spread over
        // Packages packages "/Game/Filler/Pack<k>", of a small chain of filler classes, placed in
        // the object array in an order unrelated to where they were allocated. Lookups that walk
        // the array then cost what they cost in a game.
        auto AddFiller(size_t Count, size_t Packages) -> void;
        // Objects are loaded (in the object array, visible to FindObject and the searches) unless
        // hidden; loading and hiding tell the object-array listeners.
        auto SetLoaded(UObject* Object, bool Loaded) -> void;
        [[nodiscard]] auto IsLoaded(const UObject* Object) const -> bool;
        [[nodiscard]] auto FindByPath(StringViewType Path) const -> UObject*; // ignores loading state
        // "Default__<class name>", created with the class in its package.
        [[nodiscard]] auto ClassDefaultObject(const UClass* Class) const -> UObject*;

        // --- running ---------------------------------------------------------------------------
        // A Blueprint call through ProcessEvent: every ProcessEvent pre-callback, then every hook
        // pre-callback in registration order, the body, then every post-callback. Hooks
        // registered during the call take part from the next call.
        auto Call(UObject* Context, UFunction* Function, ParamBlock& Params) -> void;
        // One frame: every engine-tick pre-callback in registration order with this delta (and the
        // game engine object), then ProcessEventsPerFrame() ProcessEvent calls of the engine, each
        // running every ProcessEvent pre-callback. Callbacks that called RemoveSelf() or were
        // registered with bOnce are removed. Exceptions are not caught: a throwing callback takes
        // the game down.
        auto Tick(float DeltaSeconds) -> void;
        // How many ProcessEvent calls a frame makes (default 2000; a real frame makes thousands).
        auto SetProcessEventsPerFrame(int Count) -> void;
        [[nodiscard]] auto ProcessEventsPerFrame() const -> int;
        // Ticks at FrameDelta until Seconds of engine time have passed.
        auto RunFor(float Seconds, float FrameDelta) -> void;

        // --- what the mod did ------------------------------------------------------------------
        [[nodiscard]] auto RegisterHookCalls(const UFunction* Function) const -> int;
        [[nodiscard]] auto HookCount(const UFunction* Function) const -> int;
        // Engine callbacks of both kinds still registered.
        [[nodiscard]] auto TickCallbackCount() const -> int;
        [[nodiscard]] auto TickCallbackNames() const -> std::vector<std::pair<StringType, StringType>>; // owner, name
        [[nodiscard]] auto ProcessEventCallbackCount() const -> int;
        [[nodiscard]] auto FindObjectCalls() const -> int;
        // Objects that FindObject's walks have passed over, all calls together.
        [[nodiscard]] auto FindObjectVisits() const -> uint64_t;
        [[nodiscard]] auto LastFindFirstOfName() const -> std::string; // UTF-8 class name of the last search
        [[nodiscard]] auto ConstructedObjects() const -> std::vector<UObject*>;
        [[nodiscard]] auto Constructions() const -> const std::vector<Construction>&;
        // The engine's garbage collection, on demand: destroys every object constructed through
        // StaticConstructObject since the last collection, and every object inside one, as the
        // engine does once nothing references them; the caller drops its own references first.
        // Their names become free again, so the name table does not grow with every construction.
        // Answers how many objects were destroyed.
        auto CollectConstructed() -> size_t;
        // std::exceptions that left a hook callback. Like the real host, Call() catches them and
        // logs "[Host] Exception in hook of <function name>: <what>\n" at level 4, then goes on;
        // anything else propagates, and nothing from a tick callback is caught.
        [[nodiscard]] auto EscapedExceptions() const -> int;

        auto GetFaults() -> Faults&;
        // Installs a capture device as the only default device and returns it.
        auto CaptureLog() -> CaptureDevice&;

        // The host's own state of the engine, opaque outside the host library.
        struct Impl;

    private:
        std::unique_ptr<Impl> State;
    };

    // Loads a mod as the host does: the shared library opened by path, start_mod found by name.
    class RC_HOST_API LoadedMod
    {
    public:
        // Throws std::runtime_error naming the path or the missing entry point.
        explicit LoadedMod(const std::string& Utf8Path);
        LoadedMod(const LoadedMod&) = delete;
        auto operator=(const LoadedMod&) -> LoadedMod& = delete;
        // uninstall_mod (if still installed); then the engine forgets every hook callable, tick
        // callback and object-array listener registered since the load (their code lives in the
        // library), then the library is unloaded.
        ~LoadedMod();

        [[nodiscard]] auto Mod() const -> CppUserModBase*;
        // The engine-initialised callback; the host calls it once, a second call throws.
        auto UnrealInit() -> void;
        // uninstall_mod on the mod object (once); the library stays loaded. Every hook and engine
        // callback registered since the load that is still registered when uninstall_mod returns
        // would run unloaded code in the real host: they are dropped and std::runtime_error names
        // them.
        auto Uninstall() -> void;
        // Ctrl+R as the host does it: uninstall (as above, throwing on leftovers), unload the
        // library, load it again from the same path, start_mod, and, when the engine-initialised
        // callback ran before, on_unreal_init at once, then on_program_start.
        auto Reinstall() -> void;
        [[nodiscard]] auto Symbol(const char* Name) const -> void*;

    private:
        auto Load() -> void;

        std::string Path;
        void* Library = nullptr;
        CppUserModBase* ModObject = nullptr;
        uint64_t RegistrationMark = 0; // callables registered after this belong to the mod
        bool UnrealInitDone = false;
    };

    // Another native module loaded by path beside the mod, as a second mod would be: the platform
    // loader binds its imports, to the mod too if it links against it.
    class RC_HOST_API LoadedLibrary
    {
    public:
        // Throws std::runtime_error naming the path.
        explicit LoadedLibrary(const std::string& Utf8Path);
        LoadedLibrary(const LoadedLibrary&) = delete;
        auto operator=(const LoadedLibrary&) -> LoadedLibrary& = delete;
        ~LoadedLibrary();

        [[nodiscard]] auto Symbol(const char* Name) const -> void*;

    private:
        void* Library = nullptr;
    };
} // namespace RC::Sim
