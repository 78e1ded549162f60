// The simulated engine: builds the Blueprint half (packages, classes, functions, structs, data
// tables, live objects), runs Blueprint calls and engine ticks, and keeps what tests read back.
#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <unordered_set>

#include <DynamicOutput/Output.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>

#include "os.hpp"
#include "sim_state.hpp"

namespace RC::Sim
{
    using namespace RC::Unreal;

    namespace
    {
        auto Current() -> std::unique_ptr<Engine>&
        {
            static std::unique_ptr<Engine> Instance;
            return Instance;
        }

        auto Invalid(const std::string& What) -> std::invalid_argument { return std::invalid_argument(What); }

        // The largest power of two up to 8 that divides the size.
        auto AlignmentOf(int32_t Size) -> int32_t
        {
            for (const int32_t Alignment : {8, 4, 2})
            {
                if (Size % Alignment == 0)
                {
                    return Alignment;
                }
            }
            return 1;
        }

        auto AlignUp(int32_t Value, int32_t Alignment) -> int32_t
        {
            return (Value + Alignment - 1) / Alignment * Alignment;
        }

        // The engine's root classes: every object reference names a class, "Object" when the
        // declaration does not narrow it, and a class reference's property class is "Class".
        struct Roots
        {
            UClass* Object;
            UClass* Class;
        };

        auto RootsOf(const Engine::Impl& S) -> Roots { return {S.ObjectClass, S.ClassClass}; }

        auto MakeProperty(const PropDecl& Desc, int32_t Offset, const Roots& Root) -> std::unique_ptr<FProperty>
        {
            const FName Name(StringViewType(Desc.Name));
            UClass* const Allowed = Desc.ObjectClass != nullptr ? Desc.ObjectClass : Root.Object;
            switch (Desc.PropKind)
            {
            case Kind::Object:
                return std::make_unique<FObjectProperty>(Name, Offset, Allowed);
            case Kind::Class:
                return std::make_unique<FClassProperty>(Name, Offset, Root.Class, Allowed);
            case Kind::Str:
                return std::make_unique<FStrProperty>(Name, Offset);
            case Kind::Name:
                return std::make_unique<FNameProperty>(Name, Offset);
            case Kind::Int64:
            case Kind::Int32:
            case Kind::Float:
            case Kind::Bool:
                return std::make_unique<FNumericProperty>(Name, Offset, SizeOf(Desc));
            case Kind::Array:
                if (Desc.Inner == nullptr)
                {
                    throw Invalid("array " + ToUtf8(Desc.Name) + " has no element description");
                }
                return std::make_unique<FArrayProperty>(Name, Offset, MakeProperty(*Desc.Inner, 0, Root));
            case Kind::Struct:
                SizeOf(Desc); // rejects a missing struct
                return std::make_unique<FStructProperty>(Name, Offset, Desc.Struct);
            }
            throw Invalid("unknown property kind");
        }

        struct Layout
        {
            std::vector<std::unique_ptr<FProperty>> Properties;
            int32_t Size = 0;
        };

        // Members without an offset go to the next free offset aligned to their size.
        auto LayOut(const std::vector<PropDecl>& Specs, int32_t Start, const Roots& Root) -> Layout
        {
            Layout Result;
            int32_t Next = Start;
            int32_t MaxAlignment = 1;
            for (const auto& Desc : Specs)
            {
                const int32_t Size = SizeOf(Desc);
                const int32_t Alignment = AlignmentOf(Size);
                const int32_t Offset = Desc.Offset >= 0 ? Desc.Offset : AlignUp(Next, Alignment);
                Result.Properties.push_back(MakeProperty(Desc, Offset, Root));
                Next = std::max(Next, Offset + Size);
                MaxAlignment = std::max(MaxAlignment, Alignment);
            }
            Result.Size = AlignUp(Next, MaxAlignment);
            return Result;
        }

        auto SplitPath(StringViewType Path) -> std::pair<StringViewType, StringViewType>
        {
            const auto Dot = Path.rfind(STR('.'));
            if (Dot == StringViewType::npos || Dot == 0 || Dot + 1 == Path.size())
            {
                throw Invalid("object path needs a package and a name: " + ToUtf8(Path));
            }
            return {Path.substr(0, Dot), Path.substr(Dot + 1)};
        }

        auto LogHostLine(StringViewType Text, int32_t Level) -> void
        {
            Output::deliver_to_default_devices(Text, Level);
        }
    } // namespace

    auto SizeOf(const PropDecl& Desc) -> int32_t
    {
        switch (Desc.PropKind)
        {
        case Kind::Object:
        case Kind::Class:
        case Kind::Name:
        case Kind::Int64:
            return 8;
        case Kind::Str:
        case Kind::Array:
            return 16;
        case Kind::Int32:
        case Kind::Float:
            return 4;
        case Kind::Bool:
            return 1;
        case Kind::Struct:
            if (Desc.Struct == nullptr)
            {
                throw Invalid("struct member " + ToUtf8(Desc.Name) + " names no struct");
            }
            return Desc.Struct->GetPropertiesSize();
        }
        return 8;
    }

    // --- the engine's own object bookkeeping ------------------------------------------------

    namespace
    {
        auto PathFor(const UObject* Outer, const StringType& Name) -> StringType
        {
            if (Outer == nullptr)
            {
                return Name;
            }
            const auto& OuterState = Engine::Impl::StateOf(Outer);
            const UObject* OuterOuter = OuterState.Outer;
            // A subobject of a package's top-level object is separated by ':', as functions are.
            const bool Subobject = !OuterState.IsPackage && OuterOuter != nullptr &&
                                   Engine::Impl::StateOf(OuterOuter).IsPackage;
            return OuterState.Path + (Subobject ? STR(":") : STR(".")) + Name;
        }
    } // namespace

    Engine::Engine() : State(std::make_unique<Impl>())
    {
        auto& S = *State;
        UObject* CorePackage = S.PackageFor(STR("/Script/CoreUObject"));
        auto MakeBuiltinClass = [&](StringViewType Name) {
            return static_cast<UClass*>(S.Add(std::unique_ptr<UObject>(new UClass()), nullptr, CorePackage, Name));
        };
        S.ObjectClass = MakeBuiltinClass(STR("Object"));
        S.ClassClass = MakeBuiltinClass(STR("Class"));
        S.PackageClass = MakeBuiltinClass(STR("Package"));
        S.FunctionClass = MakeBuiltinClass(STR("Function"));
        S.ScriptStructClass = MakeBuiltinClass(STR("ScriptStruct"));
        S.DataTableClass = MakeBuiltinClass(STR("DataTable"));
        S.EngineClass = MakeBuiltinClass(STR("GameEngine"));
        for (UClass* Builtin : {S.ObjectClass, S.ClassClass, S.PackageClass, S.FunctionClass, S.ScriptStructClass,
                                S.DataTableClass, S.EngineClass})
        {
            Impl::StateOf(Builtin).Class = S.ClassClass;
            if (Builtin != S.ObjectClass)
            {
                Impl::StateOf(Builtin).Super = S.ObjectClass;
            }
        }
        Impl::StateOf(CorePackage).Class = S.PackageClass;
        S.TransientPackage = S.PackageFor(STR("/Engine/Transient"));
        S.GameEngine = static_cast<UEngine*>(
            S.Add(std::make_unique<UEngine>(), S.EngineClass, S.TransientPackage, STR("GameEngine_0")));
    }

    Engine::~Engine()
    {
        auto& S = *State;
        // Listeners still registered hear that the array goes away; they may remove themselves.
        for (const auto& [Listener, Serial] : std::vector(S.CreateListeners))
        {
            Listener->OnUObjectArrayShutdown();
        }
        for (const auto& [Listener, Serial] : std::vector(S.DeleteListeners))
        {
            Listener->OnUObjectArrayShutdown();
        }
        S.CreateListeners.clear();
        S.DeleteListeners.clear();
        // Newest first: instances before their classes, tables before their row structs.
        std::vector<std::pair<uint64_t, int32_t>> Order;
        for (const auto& Object : S.Objects)
        {
            if (Object)
            {
                Order.emplace_back(Impl::StateOf(Object.get()).Serial, Impl::StateOf(Object.get()).Index);
            }
        }
        std::sort(Order.begin(), Order.end(), std::greater<>());
        for (const auto& [Serial, Index] : Order)
        {
            S.Objects[static_cast<size_t>(Index)].reset();
        }
    }

    auto Engine::Get() -> Engine&
    {
        auto& Instance = Current();
        if (!Instance)
        {
            Instance = std::make_unique<Engine>();
        }
        return *Instance;
    }

    auto Engine::Reset() -> Engine&
    {
        auto& Instance = Current();
        Instance.reset();
        Output::DefaultTargets::get_default_devices_ref().clear();
        Instance = std::make_unique<Engine>();
        return *Instance;
    }

    auto Engine::Impl::Add(std::unique_ptr<UObject> Object, UClass* Class, UObject* Outer, StringViewType Name)
        -> UObject*
    {
        StringType Path = PathFor(Outer, StringType(Name));
        if (ByPath.contains(Path))
        {
            throw Invalid("an object already has the path " + ToUtf8(Path));
        }
        auto& ObjectState = StateOf(Object.get());
        ObjectState.Class = Class;
        ObjectState.Outer = Outer;
        ObjectState.Name = FName(Name);
        ObjectState.Path = std::move(Path);
        ByPath.emplace(ObjectState.Path, Object.get());
        UObject* const Placed = Place(std::move(Object));
        NotifyCreated(Placed);
        return Placed;
    }

    auto Engine::Impl::Place(std::unique_ptr<UObject> Object) -> UObject*
    {
        auto& ObjectState = StateOf(Object.get());
        ObjectState.Serial = NextSerial++;
        if (!FreeIndices.empty())
        {
            ObjectState.Index = FreeIndices.back();
            FreeIndices.pop_back();
        }
        else
        {
            ObjectState.Index = static_cast<int32_t>(Objects.size());
            Objects.emplace_back();
            LiveAt.push_back(0);
        }
        LiveAt[static_cast<size_t>(ObjectState.Index)] = ObjectState.Loaded ? 1 : 0;
        auto& Slot = Objects[static_cast<size_t>(ObjectState.Index)];
        Slot = std::move(Object);
        return Slot.get();
    }

    auto Engine::Impl::NotifyCreated(const UObject* Object) -> void
    {
        for (const auto& [Listener, Serial] : std::vector(CreateListeners))
        {
            Listener->NotifyUObjectCreated(Object, StateOf(Object).Index);
        }
    }

    auto Engine::Impl::NotifyDeleted(const UObject* Object) -> void
    {
        std::erase_if(FoundPaths, [Object](const auto& Entry) { return Entry.second == Object; });
        for (const auto& [Listener, Serial] : std::vector(DeleteListeners))
        {
            Listener->NotifyUObjectDeleted(Object, StateOf(Object).Index);
        }
    }

    auto Engine::Impl::Live(int32_t Index) const -> UObject*
    {
        if (Index < 0 || static_cast<size_t>(Index) >= Objects.size() || LiveAt[static_cast<size_t>(Index)] == 0)
        {
            return nullptr;
        }
        return Objects[static_cast<size_t>(Index)].get();
    }

    auto BuildPath(const UObject* Object) -> StringType
    {
        const auto& ObjectState = Engine::Impl::StateOf(Object);
        const UObject* const Outer = ObjectState.Outer;
        if (Outer == nullptr)
        {
            return ObjectState.Name.ToString();
        }
        const auto& OuterState = Engine::Impl::StateOf(Outer);
        const bool Subobject = !OuterState.IsPackage && OuterState.Outer != nullptr &&
                               Engine::Impl::StateOf(OuterState.Outer).IsPackage;
        return BuildPath(Outer) + (Subobject ? STR(":") : STR(".")) + ObjectState.Name.ToString();
    }

    auto Engine::Impl::PackageFor(StringViewType Path) -> UObject*
    {
        if (const auto Found = ByPath.find(Path); Found != ByPath.end())
        {
            if (!StateOf(Found->second).IsPackage)
            {
                throw Invalid("not a package: " + ToUtf8(Path));
            }
            return Found->second;
        }
        UObject* Package = Add(std::unique_ptr<UObject>(new UObject()), PackageClass, nullptr, Path);
        StateOf(Package).IsPackage = true;
        return Package;
    }

    // --- building the Blueprint half --------------------------------------------------------

    auto Engine::CreateClass(StringViewType Path, std::vector<PropDecl> Variables, UClass* Super) -> UClass*
    {
        const auto [PackagePath, Name] = SplitPath(Path);
        // Every class derives from Object, as in the engine.
        if (Super == nullptr)
        {
            Super = State->ObjectClass;
        }
        auto VariableLayout = LayOut(Variables, Super->GetPropertiesSize(), RootsOf(*State));
        UObject* Package = State->PackageFor(PackagePath);
        auto* Class = static_cast<UClass*>(State->Add(std::unique_ptr<UObject>(new UClass()), State->ClassClass, Package, Name));
        auto& ClassState = Impl::StateOf(Class);
        ClassState.Properties = std::move(VariableLayout.Properties);
        ClassState.PropertiesSize = VariableLayout.Size;
        ClassState.Super = Super;
        // Every class has its class-default object, as in the engine; the searches never return it.
        UObject* Default = State->Add(std::unique_ptr<UObject>(new UObject()), Class, Package,
                                      StringType(STR("Default__")) + StringType(Name));
        auto& DefaultState = Impl::StateOf(Default);
        DefaultState.Variables = AlignedBlock(static_cast<size_t>(Class->GetPropertiesSize()));
        DefaultState.IsClassDefault = true;
        ClassState.ClassDefault = Default;
        return Class;
    }

    auto Engine::ClassDefaultObject(const UClass* Class) const -> UObject*
    {
        return Class != nullptr ? Impl::StateOf(Class).ClassDefault : nullptr;
    }

    auto Engine::AddFunction(UClass* Class, StringViewType Name, std::vector<PropDecl> Params, BlueprintBody Body)
        -> UFunction*
    {
        if (Class == nullptr)
        {
            throw Invalid("a function needs a class");
        }
        auto ParamLayout = LayOut(Params, 0, RootsOf(*State));
        // Parameters carry CPF_Parm (and outputs CPF_OutParm) in declaration order; locals none.
        for (size_t Index = 0; Index < Params.size(); ++Index)
        {
            const ParamRole Role = Params[Index].Role;
            if (Role != ParamRole::Local)
            {
                ParamLayout.Properties[Index]->SetPropertyFlags(Role == ParamRole::Out ? EPropertyFlags(CPF_Parm | CPF_OutParm)
                                                                                       : CPF_Parm);
            }
        }
        auto* Function =
            static_cast<UFunction*>(State->Add(std::unique_ptr<UObject>(new UFunction()), State->FunctionClass, Class, Name));
        auto& FunctionState = Impl::StateOf(Function);
        FunctionState.Properties = std::move(ParamLayout.Properties);
        FunctionState.PropertiesSize = ParamLayout.Size;
        FunctionState.Body = std::move(Body);
        Impl::StateOf(Class).Functions.push_back(Function);
        return Function;
    }

    auto Engine::CreateStruct(StringViewType Path, std::vector<PropDecl> Members, int32_t Size, UScriptStruct* Super)
        -> UScriptStruct*
    {
        const auto [PackagePath, Name] = SplitPath(Path);
        auto MemberLayout = LayOut(Members, Super != nullptr ? Super->GetPropertiesSize() : 0, RootsOf(*State));
        if (Size >= 0 && Size < MemberLayout.Size)
        {
            throw Invalid("struct " + ToUtf8(Path) + " is smaller than its members");
        }
        UObject* Package = State->PackageFor(PackagePath);
        auto* Struct = static_cast<UScriptStruct*>(
            State->Add(std::unique_ptr<UObject>(new UScriptStruct()), State->ScriptStructClass, Package, Name));
        auto& StructState = Impl::StateOf(Struct);
        StructState.Properties = std::move(MemberLayout.Properties);
        StructState.PropertiesSize = Size >= 0 ? Size : MemberLayout.Size;
        StructState.Super = Super;
        return Struct;
    }

    auto Engine::CreateDataTable(StringViewType Path, UScriptStruct* RowStruct) -> UDataTable*
    {
        if (RowStruct == nullptr)
        {
            throw Invalid("a data table needs a row struct");
        }
        const auto [PackagePath, Name] = SplitPath(Path);
        UObject* Package = State->PackageFor(PackagePath);
        auto* Table = static_cast<UDataTable*>(
            State->Add(std::unique_ptr<UObject>(new UDataTable()), State->DataTableClass, Package, Name));
        Impl::StateOf(Table).RowStruct = RowStruct;
        return Table;
    }

    auto Engine::AddRow(UDataTable* Table, FName RowName) -> uint8_t*
    {
        if (Table == nullptr || RowName.IsNone())
        {
            throw Invalid("a row needs a table and a name");
        }
        if (Table->FindRowUnchecked(RowName) != nullptr)
        {
            throw Invalid("the table already has the row " + ToUtf8(RowName.ToString()));
        }
        auto& TableState = Impl::StateOf(Table);
        TableState.Rows.emplace_back(RowName, AlignedBlock(static_cast<size_t>(TableState.RowStruct->GetPropertiesSize())));
        return TableState.Rows.back().second.Data();
    }

    auto Engine::SpawnObject(UClass* Class, UObject* Outer, StringViewType Name) -> UObject*
    {
        if (Class == nullptr)
        {
            throw Invalid("an object needs a class");
        }
        if (Outer == nullptr)
        {
            Outer = State->TransientPackage;
        }
        StringType ObjectName(Name);
        if (ObjectName.empty())
        {
            const StringType ClassName = Class->GetName();
            int& Counter = State->NameCounters[ClassName];
            do
            {
                ObjectName = ClassName + STR("_") + FromUtf8(std::to_string(Counter++));
            } while (State->ByPath.contains(PathFor(Outer, ObjectName)));
        }
        UObject* Object = State->Add(std::unique_ptr<UObject>(new UObject()), Class, Outer, ObjectName);
        Impl::StateOf(Object).Variables = AlignedBlock(static_cast<size_t>(Class->GetPropertiesSize()));
        return Object;
    }

    auto Engine::SetLoaded(UObject* Object, bool Loaded) -> void
    {
        if (Object == nullptr)
        {
            throw Invalid("no object to load or hide");
        }
        auto& ObjectState = Impl::StateOf(Object);
        if (ObjectState.Loaded == Loaded)
        {
            return;
        }
        ObjectState.Loaded = Loaded;
        State->LiveAt[static_cast<size_t>(ObjectState.Index)] = Loaded ? 1 : 0;
        // Loading gives the object its place in the array as the engine sees it; hiding takes it away.
        if (Loaded)
        {
            State->NotifyCreated(Object);
        }
        else
        {
            State->NotifyDeleted(Object);
        }
    }

    auto Engine::AddFiller(size_t Count, size_t Packages) -> void
    {
        if (Count == 0)
        {
            return;
        }
        if (Packages == 0)
        {
            throw Invalid("filler objects need at least one package");
        }
        auto& S = *State;
        // A few classes in a chain, so that class searches walk supers as with a game's classes.
        UClass* Class = nullptr;
        if (const auto Found = S.ByPath.find(STR("/Script/Filler.FillerObject3")); Found != S.ByPath.end())
        {
            Class = static_cast<UClass*>(Found->second);
        }
        else
        {
            for (int Level = 0; Level < 4; ++Level)
            {
                Class = CreateClass(STR("/Script/Filler.FillerObject") + FromUtf8(std::to_string(Level)), {}, Class);
            }
        }
        std::vector<UObject*> PackageObjects;
        for (size_t Package = 0; Package < Packages; ++Package)
        {
            PackageObjects.push_back(S.PackageFor(STR("/Game/Filler/Pack") + FromUtf8(std::to_string(Package))));
        }
        // The array's order is not the allocation order: a walk touches memory all over the heap,
        // as a game's walk does.
        const size_t Base = S.Objects.size();
        S.Objects.resize(Base + Count);
        S.LiveAt.resize(Base + Count, 1);
        std::vector<size_t> Order(Count);
        for (size_t Index = 0; Index < Count; ++Index)
        {
            Order[Index] = Index;
        }
        std::shuffle(Order.begin(), Order.end(), std::mt19937_64(0x5eed + S.FillerCount));
        for (const size_t Offset : Order)
        {
            auto Object = std::unique_ptr<UObject>(new UObject());
            auto& ObjectState = Impl::StateOf(Object.get());
            const size_t Number = S.FillerCount + Offset;
            ObjectState.Class = Class;
            ObjectState.Outer = PackageObjects[Number % Packages];
            ObjectState.Name = FName(StringType(STR("Filler")) + FromUtf8(std::to_string(Number)));
            ObjectState.Index = static_cast<int32_t>(Base + Offset);
            ObjectState.Serial = S.NextSerial++;
            S.Objects[Base + Offset] = std::move(Object);
        }
        S.FillerCount += Count;
        for (size_t Index = Base; Index < Base + Count; ++Index)
        {
            S.NotifyCreated(S.Objects[Index].get());
        }
    }

    auto Engine::IsLoaded(const UObject* Object) const -> bool
    {
        return Object != nullptr && Impl::StateOf(Object).Loaded;
    }

    auto Engine::FindByPath(StringViewType Path) const -> UObject*
    {
        const auto Found = State->ByPath.find(Path);
        return Found != State->ByPath.end() ? Found->second : nullptr;
    }

    // --- running ----------------------------------------------------------------------------

    namespace
    {
        // Runs each callback of this kind registered before the run began, skipping removed ones;
        // marks the ones that end themselves. Invoke(Entry, Data) makes the call.
        template <typename Invoke>
        auto RunCallbacks(Engine::Impl& S, CallbackKind Kind, Invoke&& Call) -> void
        {
            auto& Callbacks = S.TickCallbacks;
            const size_t Count = Callbacks.size();
            ++S.CallbackPasses;
            try
            {
                for (size_t Index = 0; Index < Count; ++Index)
                {
                    TickEntry& Entry = Callbacks[Index];
                    if (Entry.Kind != Kind || Entry.Removed)
                    {
                        continue;
                    }
                    Hook::TCallbackIterationData<void> Data;
                    S.RunningCallbacks.push_back(Entry.Id);
                    try
                    {
                        Call(Entry, Data);
                    }
                    catch (...)
                    {
                        S.RunningCallbacks.pop_back();
                        throw;
                    }
                    S.RunningCallbacks.pop_back();
                    if (Data.IsRemovingSelf() || Entry.Options.bOnce)
                    {
                        Entry.Removed = true;
                    }
                }
            }
            catch (...)
            {
                --S.CallbackPasses;
                PurgeRemoved(S);
                throw;
            }
            --S.CallbackPasses;
            PurgeRemoved(S);
        }

        auto RunProcessEventCallbacks(Engine::Impl& S, UObject* Context, UFunction* Function, void* Parms) -> void
        {
            if (S.InjectedFaults.NoProcessEvent)
            {
                return;
            }
            RunCallbacks(S, CallbackKind::ProcessEvent, [&](TickEntry& Entry, Hook::TCallbackIterationData<void>& Data) {
                Entry.ProcessEventCallback(Data, Context, Function, Parms);
            });
        }
    } // namespace

    auto Engine::Call(UObject* Context, UFunction* Function, ParamBlock& Params) -> void
    {
        if (Function == nullptr || Params.Function() != Function)
        {
            throw Invalid("the parameter block was not made for this function");
        }
        const std::lock_guard Guard(State->Lock);
        const auto Identity =
            State->InjectedFaults.RestrictFileAccess ? std::optional<Os::RestrictedFileAccess>(std::in_place) : std::nullopt;
        RunProcessEventCallbacks(*State, Context, Function, Params.Data());
        FFrame Frame(Function, Context, Params.Data());
        // Hooks registered during the call take part from the next call on; the deques keep every
        // entry in place meanwhile, and removed ones are dropped once no call of the function runs.
        FunctionHooks& Hooks = State->Hooks[Function];
        const size_t PreCount = Hooks.Pre.size();
        const size_t PostCount = Hooks.Post.size();
        auto RunAll = [&](std::deque<HookEntry>& Entries, size_t Count) {
            for (size_t Index = 0; Index < Count; ++Index)
            {
                HookEntry& Entry = Entries[Index];
                if (Entry.Removed)
                {
                    continue;
                }
                UnrealScriptFunctionCallableContext CallContext{Context, Frame, nullptr};
                State->RunningHooks.emplace_back(Function, Entry.Id);
                try
                {
                    Entry.Callable(CallContext, Entry.CustomData);
                }
                catch (const std::exception& Error)
                {
                    ++State->EscapedExceptionCount;
                    LogHostLine(STR("[Host] Exception in hook of ") + Function->GetName() + STR(": ") +
                                    FromUtf8(Error.what()) + STR("\n"),
                                LogLevel::Error);
                }
                catch (...)
                {
                    State->RunningHooks.pop_back();
                    throw;
                }
                State->RunningHooks.pop_back();
            }
        };
        struct RunningCall
        {
            FunctionHooks& Hooks;
            explicit RunningCall(FunctionHooks& Running) : Hooks(Running) { ++Hooks.Running; }
            RunningCall(const RunningCall&) = delete;
            auto operator=(const RunningCall&) -> RunningCall& = delete;
            ~RunningCall()
            {
                if (--Hooks.Running == 0)
                {
                    auto Removed = [](const HookEntry& Entry) { return Entry.Removed; };
                    std::erase_if(Hooks.Pre, Removed);
                    std::erase_if(Hooks.Post, Removed);
                }
            }
        };
        const RunningCall Running(Hooks);
        RunAll(Hooks.Pre, PreCount);
        if (const auto& Body = Impl::StateOf(Function).Body)
        {
            Body(Context, Params.Data());
        }
        RunAll(Hooks.Post, PostCount);
    }

    auto Engine::Tick(float DeltaSeconds) -> void
    {
        const std::lock_guard Guard(State->Lock);
        auto& S = *State;
        if (!S.InjectedFaults.NoEngineTick)
        {
            RunCallbacks(S, CallbackKind::EngineTick, [&](TickEntry& Entry, Hook::TCallbackIterationData<void>& Data) {
                Entry.Callback(Data, S.GameEngine, DeltaSeconds, false);
            });
        }
        // The frame's own ProcessEvent calls matter only to ProcessEvent callbacks.
        const bool Listened = std::ranges::any_of(S.TickCallbacks, [](const TickEntry& Entry) {
            return Entry.Kind == CallbackKind::ProcessEvent && !Entry.Removed;
        });
        for (int Call = 0; Listened && Call < S.ProcessEventsPerFrame; ++Call)
        {
            RunProcessEventCallbacks(S, S.GameEngine, nullptr, nullptr);
        }
    }

    auto Engine::SetProcessEventsPerFrame(int Count) -> void
    {
        if (Count < 0)
        {
            throw Invalid("a frame makes no negative number of ProcessEvent calls");
        }
        State->ProcessEventsPerFrame = Count;
    }

    auto Engine::ProcessEventsPerFrame() const -> int { return State->ProcessEventsPerFrame; }

    auto Engine::RunFor(float Seconds, float FrameDelta) -> void
    {
        if (!(FrameDelta > 0.0F))
        {
            throw Invalid("a frame needs a positive delta");
        }
        // Counted rather than summed, so 1 s at 0.1 s is 10 ticks despite float rounding.
        const double Frames = std::ceil(static_cast<double>(Seconds) / static_cast<double>(FrameDelta) - 1e-4);
        for (long long Frame = 0; Frame < static_cast<long long>(Frames); ++Frame)
        {
            Tick(FrameDelta);
        }
    }

    // --- what the mod did -------------------------------------------------------------------

    auto Engine::RegisterHookCalls(const UFunction* Function) const -> int
    {
        const auto Found = State->Hooks.find(Function);
        return Found != State->Hooks.end() ? Found->second.RegisterCalls : 0;
    }

    auto Engine::HookCount(const UFunction* Function) const -> int
    {
        const std::lock_guard Guard(State->Lock);
        const auto Found = State->Hooks.find(Function);
        return Found != State->Hooks.end()
                   ? static_cast<int>(std::ranges::count_if(Found->second.Pre, [](const HookEntry& Entry) {
                         return !Entry.Removed;
                     }))
                   : 0;
    }

    auto Engine::TickCallbackCount() const -> int
    {
        const std::lock_guard Guard(State->Lock);
        return static_cast<int>(
            std::ranges::count_if(State->TickCallbacks, [](const TickEntry& Entry) { return !Entry.Removed; }));
    }

    auto Engine::ProcessEventCallbackCount() const -> int
    {
        const std::lock_guard Guard(State->Lock);
        return static_cast<int>(std::ranges::count_if(State->TickCallbacks, [](const TickEntry& Entry) {
            return !Entry.Removed && Entry.Kind == CallbackKind::ProcessEvent;
        }));
    }

    auto Engine::TickCallbackNames() const -> std::vector<std::pair<StringType, StringType>>
    {
        const std::lock_guard Guard(State->Lock);
        std::vector<std::pair<StringType, StringType>> Names;
        for (const auto& Entry : State->TickCallbacks)
        {
            if (!Entry.Removed)
            {
                Names.emplace_back(Entry.Options.OwnerModName, Entry.Options.HookName);
            }
        }
        return Names;
    }

    auto Engine::FindObjectCalls() const -> int { return State->FindObjectCallCount; }
    auto Engine::FindObjectVisits() const -> uint64_t { return State->FindObjectVisitCount; }
    auto Engine::LastFindFirstOfName() const -> std::string { return State->LastSearchedName; }
    auto Engine::ConstructedObjects() const -> std::vector<UObject*> { return State->Constructed; }
    auto Engine::Constructions() const -> const std::vector<Construction>& { return State->Constructions; }

    auto Engine::CollectConstructed() -> size_t
    {
        auto& S = *State;
        std::unordered_set<const UObject*> Doomed(S.Constructed.begin(), S.Constructed.end());
        // An outer is always older than what it holds, so one pass in creation order finds all.
        std::vector<UObject*> ByAge;
        for (const auto& Object : S.Objects)
        {
            if (Object)
            {
                ByAge.push_back(Object.get());
            }
        }
        std::sort(ByAge.begin(), ByAge.end(), [](const UObject* Left, const UObject* Right) {
            return Impl::StateOf(Left).Serial < Impl::StateOf(Right).Serial;
        });
        std::vector<UObject*> Order;
        for (UObject* Object : ByAge)
        {
            if (Doomed.contains(Object) || Doomed.contains(Impl::StateOf(Object).Outer))
            {
                Doomed.insert(Object);
                Order.push_back(Object);
            }
        }
        // Newest first, each leaving the array before it is destroyed.
        for (auto Each = Order.rbegin(); Each != Order.rend(); ++Each)
        {
            auto& ObjectState = Impl::StateOf(*Each);
            if (ObjectState.Loaded)
            {
                S.NotifyDeleted(*Each);
            }
            S.ByPath.erase(ObjectState.Path);
            const int32_t Index = ObjectState.Index;
            S.Objects[static_cast<size_t>(Index)].reset();
            S.LiveAt[static_cast<size_t>(Index)] = 0;
            S.FreeIndices.push_back(Index);
        }
        S.Constructed.clear();
        S.Constructions.clear(); // their records would point at destroyed objects
        // Unique names start again from 0; SpawnObject skips the ones still taken.
        S.NameCounters.clear();
        return Doomed.size();
    }
    auto Engine::EscapedExceptions() const -> int { return State->EscapedExceptionCount; }
    auto Engine::GetFaults() -> Faults& { return State->InjectedFaults; }

    auto Engine::CaptureLog() -> CaptureDevice&
    {
        auto& Devices = Output::DefaultTargets::get_default_devices_ref();
        Devices.clear();
        auto Device = std::make_unique<CaptureDevice>();
        CaptureDevice& Captured = *Device;
        Devices.push_back(std::move(Device));
        return Captured;
    }

    // --- registration bookkeeping -----------------------------------------------------------

    namespace
    {
        uint64_t RegistrationCounter = 0;
    }

    auto NextRegistrationSerial() -> uint64_t { return ++RegistrationCounter; }
    auto CurrentRegistrationSerial() -> uint64_t { return RegistrationCounter; }

    auto PurgeRemoved(Engine::Impl& S) -> void
    {
        if (S.CallbackPasses == 0)
        {
            std::erase_if(S.TickCallbacks, [](const TickEntry& Entry) { return Entry.Removed; });
        }
    }

    auto ForgetCallablesSince(Engine& Target, uint64_t Mark) -> void
    {
        auto& S = Engine::Impl::Of(Target);
        const std::lock_guard Guard(S.Lock);
        auto Newer = [Mark](auto& Entry) {
            if (Entry.Serial > Mark)
            {
                Entry.Removed = true;
            }
        };
        for (auto& [Function, Hooks] : S.Hooks)
        {
            std::ranges::for_each(Hooks.Pre, Newer);
            std::ranges::for_each(Hooks.Post, Newer);
            if (Hooks.Running == 0)
            {
                auto Removed = [](const HookEntry& Entry) { return Entry.Removed; };
                std::erase_if(Hooks.Pre, Removed);
                std::erase_if(Hooks.Post, Removed);
            }
        }
        std::ranges::for_each(S.TickCallbacks, Newer);
        PurgeRemoved(S);
        // A listener dropped here (the mod's, or one registered after the mod by other code, which
        // the mark cannot tell apart) hears that the array is gone for it, as at shutdown, so that
        // it keeps no object of this array and registers again when next it needs to.
        const auto Dropped = [Mark](auto& Listeners) {
            std::vector<std::pair<decltype(Listeners.front().first), uint64_t>> Gone;
            std::copy_if(Listeners.begin(), Listeners.end(), std::back_inserter(Gone),
                         [Mark](const auto& Entry) { return Entry.second > Mark; });
            std::erase_if(Listeners, [Mark](const auto& Entry) { return Entry.second > Mark; });
            return Gone;
        };
        for (const auto& [Listener, Serial] : Dropped(S.CreateListeners))
        {
            Listener->OnUObjectArrayShutdown();
        }
        for (const auto& [Listener, Serial] : Dropped(S.DeleteListeners))
        {
            Listener->OnUObjectArrayShutdown();
        }
    }

    auto CallablesSince(Engine& Target, uint64_t Mark) -> std::vector<std::string>
    {
        auto& S = Engine::Impl::Of(Target);
        const std::lock_guard Guard(S.Lock);
        std::vector<std::string> Names;
        for (const auto& Entry : S.TickCallbacks)
        {
            if (Entry.Serial > Mark && !Entry.Removed)
            {
                Names.push_back(std::string(Entry.Kind == CallbackKind::EngineTick ? "engine-tick" : "ProcessEvent") +
                                " callback " + ToUtf8(Entry.Options.OwnerModName) + "/" + ToUtf8(Entry.Options.HookName) +
                                " (id " + std::to_string(Entry.Id) + ")");
            }
        }
        for (const auto& [Function, Hooks] : S.Hooks)
        {
            for (const auto& Entry : Hooks.Pre)
            {
                if (Entry.Serial > Mark && !Entry.Removed)
                {
                    Names.push_back("Blueprint hook on " + ToUtf8(Function->GetFullName()) + " (ids " +
                                    std::to_string(Entry.Id) + ", " + std::to_string(Entry.Id) + ")");
                }
            }
        }
        for (const auto& [Listener, Serial] : S.CreateListeners)
        {
            if (Serial > Mark)
            {
                Names.push_back("object-array create listener");
            }
        }
        for (const auto& [Listener, Serial] : S.DeleteListeners)
        {
            if (Serial > Mark)
            {
                Names.push_back("object-array delete listener");
            }
        }
        return Names;
    }
} // namespace RC::Sim
