// Pins the host declarations the mod relies on, in forms the real host's own shapes satisfy too
// (where the host hands back a reference, the pin asks only for what the mod takes by value).
// Nothing here runs: a shape that drifts from the real host's stops the build.
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <DynamicOutput/DynamicOutput.hpp>
#include <Mod/CppUserModBase.hpp>
#include <String/StringType.hpp>
#include <UE4SSRuntime.hpp>
#include <Unreal/Core/Containers/Array.hpp>
#include <Unreal/Core/HAL/UnrealMemory.hpp>
#include <Unreal/CoreUObject/UObject/Class.hpp>
#include <Unreal/CoreUObject/UObject/UnrealType.hpp>
#include <Unreal/Engine/UDataTable.hpp>
#include <Unreal/FFrame.hpp>
#include <Unreal/FString.hpp>
#include <Unreal/Hooks/Hooks.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UFunctionStructs.hpp>
#include <Unreal/UObject.hpp>
#include <Unreal/UObjectArray.hpp>
#include <Unreal/UObjectGlobals.hpp>

namespace
{
    using namespace RC;
    using namespace RC::Unreal;
    using std::is_same_v;

    // --- strings ----------------------------------------------------------------------------
#if defined(_WIN32)
    static_assert(is_same_v<CharType, wchar_t>);
#else
    static_assert(is_same_v<CharType, char16_t>);
#endif
    static_assert(is_same_v<StringType, std::basic_string<CharType>>);
    static_assert(is_same_v<StringViewType, std::basic_string_view<CharType>>);
    static_assert(is_same_v<TCHAR, CharType>);

    // --- mod base ---------------------------------------------------------------------------
    using Lua = LuaMadeSimple::Lua;
    static_assert(std::has_virtual_destructor_v<CppUserModBase>);
    static_assert(is_same_v<decltype(&CppUserModBase::on_update), void (CppUserModBase::*)()>);
    static_assert(is_same_v<decltype(&CppUserModBase::on_unreal_init), void (CppUserModBase::*)()>);
    static_assert(is_same_v<decltype(&CppUserModBase::on_ui_init), void (CppUserModBase::*)()>);
    static_assert(is_same_v<decltype(&CppUserModBase::on_program_start), void (CppUserModBase::*)()>);
    static_assert(is_same_v<decltype(&CppUserModBase::on_dll_load), void (CppUserModBase::*)(StringViewType)>);
    static_assert(is_same_v<decltype(&CppUserModBase::render_tab), void (CppUserModBase::*)()>);
    static_assert(is_same_v<decltype(&CppUserModBase::on_cpp_mods_loaded), void (CppUserModBase::*)()>);
    // The eight Lua overloads: each cast names one that must exist.
    [[maybe_unused]] constexpr auto LuaOverloads = std::make_tuple(
        static_cast<void (CppUserModBase::*)(StringViewType, Lua&, Lua&, Lua&, std::vector<Lua*>&)>(
            &CppUserModBase::on_lua_start),
        static_cast<void (CppUserModBase::*)(Lua&, Lua&, Lua&, std::vector<Lua*>&)>(&CppUserModBase::on_lua_start),
        static_cast<void (CppUserModBase::*)(StringViewType, Lua&, Lua&, Lua&, std::vector<Lua*>&)>(
            &CppUserModBase::on_lua_stop),
        static_cast<void (CppUserModBase::*)(Lua&, Lua&, Lua&, std::vector<Lua*>&)>(&CppUserModBase::on_lua_stop),
        static_cast<void (CppUserModBase::*)(StringViewType, Lua&, Lua&, Lua&, Lua*)>(&CppUserModBase::on_lua_start),
        static_cast<void (CppUserModBase::*)(Lua&, Lua&, Lua&, Lua*)>(&CppUserModBase::on_lua_start),
        static_cast<void (CppUserModBase::*)(StringViewType, Lua&, Lua&, Lua&, Lua*)>(&CppUserModBase::on_lua_stop),
        static_cast<void (CppUserModBase::*)(Lua&, Lua&, Lua&, Lua*)>(&CppUserModBase::on_lua_stop));
    static_assert(is_same_v<decltype(CppUserModBase::ModName), StringType>);
    static_assert(is_same_v<decltype(CppUserModBase::ModVersion), StringType>);
    static_assert(is_same_v<decltype(CppUserModBase::ModDescription), StringType>);
    static_assert(is_same_v<decltype(CppUserModBase::ModAuthors), StringType>);
    static_assert(is_same_v<decltype(CppUserModBase::ModIntendedSDKVersion), StringType>);
    struct SeesTheGuiTabs : CppUserModBase
    {
        static_assert(is_same_v<decltype(GUITabs), std::vector<std::shared_ptr<GUI::GUITab>>>);
    };
    static_assert(is_same_v<decltype(ModMetadata::ModName), const StringType>);

    // --- output -----------------------------------------------------------------------------
    static_assert(LogLevel::Default == 0 && LogLevel::Normal == 1 && LogLevel::Verbose == 2 &&
                  LogLevel::Warning == 3 && LogLevel::Error == 4);
    static_assert(is_same_v<decltype(&Output::DefaultTargets::get_default_devices_ref),
                            std::vector<std::unique_ptr<Output::OutputDevice>>& (*)()>);
    static_assert(is_same_v<decltype(&Output::OutputDevice::has_optional_arg), bool (Output::OutputDevice::*)() const>);
    static_assert(is_same_v<decltype(&Output::OutputDevice::receive), void (Output::OutputDevice::*)(StringViewType) const>);
    static_assert(is_same_v<decltype(&Output::OutputDevice::receive_with_optional_arg),
                            void (Output::OutputDevice::*)(StringViewType, int32_t) const>);
    static_assert(std::is_abstract_v<Output::OutputDevice>);
    // The unformatted and the formatting form.
    static_assert(requires(StringViewType Text) {
        Output::send<LogLevel::Verbose>(Text);
        Output::send<LogLevel::Normal>(Text, Text);
    });

    // --- engine ticks -----------------------------------------------------------------------
    using Hook::EngineTickCallbackWithData;
    using Hook::FCallbackOptions;
    using Hook::TCallbackIterationData;
    static_assert(is_same_v<EngineTickCallbackWithData,
                            std::function<void(TCallbackIterationData<void>&, UEngine*, float, bool)>>);
    static_assert(is_same_v<decltype(FCallbackOptions::bOnce), bool>);
    static_assert(is_same_v<decltype(FCallbackOptions::bReadonly), bool>);
    static_assert(is_same_v<decltype(FCallbackOptions::OwnerModName), StringType>);
    static_assert(is_same_v<decltype(FCallbackOptions::HookName), StringType>);
    static_assert(is_same_v<Hook::GlobalCallbackId, uint64_t>);
    // An overload set in the host (a deprecated one-argument form exists): named by its type.
    [[maybe_unused]] constexpr auto TickRegistration =
        static_cast<Hook::GlobalCallbackId (*)(EngineTickCallbackWithData, FCallbackOptions)>(
            &Hook::RegisterEngineTickPreCallback);
    // The options have no default.
    template <typename Callback>
    concept TickCallbackAloneRegisters = requires(Callback Tick) { Hook::RegisterEngineTickPreCallback(Tick); };
    static_assert(!TickCallbackAloneRegisters<EngineTickCallbackWithData>);
    static_assert(!std::is_copy_constructible_v<TCallbackIterationData<void>> &&
                  !std::is_move_constructible_v<TCallbackIterationData<void>>);
    static_assert(is_same_v<decltype(&TCallbackIterationData<void>::RemoveSelf), void (TCallbackIterationData<void>::*)()>);
    static_assert(is_same_v<decltype(&Hook::UnregisterCallback), bool (*)(Hook::GlobalCallbackId)>);
    static_assert(is_same_v<Hook::ProcessEventCallbackWithData,
                            std::function<void(TCallbackIterationData<void>&, UObject*, UFunction*, void*)>>);
    static_assert(is_same_v<decltype(&Hook::RegisterProcessEventPreCallback),
                            Hook::GlobalCallbackId (*)(Hook::ProcessEventCallbackWithData, FCallbackOptions)>);
    // The host fills the options positionally.
    [[maybe_unused]] const FCallbackOptions PositionalOptions{false, false, STR("Owner"), STR("Name")};
    static_assert(requires { { UE4SSRuntime::IsEngineTickAvailable() } -> std::same_as<bool>; });
    static_assert(requires { { UE4SSRuntime::IsProcessEventAvailable() } -> std::same_as<bool>; });

    // --- Blueprint function hooks -----------------------------------------------------------
    static_assert(is_same_v<decltype(UnrealScriptFunctionCallableContext::Context), UObject*>);
    static_assert(is_same_v<decltype(UnrealScriptFunctionCallableContext::TheStack), FFrame&>);
    static_assert(is_same_v<decltype(UnrealScriptFunctionCallableContext::RESULT_DECL), void*>);
    static_assert(is_same_v<UnrealScriptFunctionCallable,
                            std::function<void(UnrealScriptFunctionCallableContext&, void*)>>);
    static_assert(is_same_v<decltype(&UObjectGlobals::RegisterHook),
                            std::pair<int, int> (*)(UFunction*, UnrealScriptFunctionCallable,
                                                    UnrealScriptFunctionCallable, void*)>);
    static_assert(is_same_v<decltype(std::declval<FFrame&>().Locals()), uint8_t*>);
    static_assert(is_same_v<decltype(&UObjectGlobals::UnregisterHook), void (*)(UFunction*, std::pair<int, int>)>);
    static_assert(is_same_v<decltype(&UFunction::UnregisterHook), bool (UFunction::*)(int)>);

    // --- objects ----------------------------------------------------------------------------
    [[maybe_unused]] constexpr auto FindObjectOverloads = std::make_tuple(
        static_cast<UObject* (*)(UClass*, UObject*, const CharType*, bool, ObjectSearcher*)>(&UObjectGlobals::FindObject),
        static_cast<UObject* (*)(UClass*, UObject*, StringViewType, bool, ObjectSearcher*)>(&UObjectGlobals::FindObject));
    static_assert(requires(const CharType* Path) { { UObjectGlobals::FindObject(nullptr, nullptr, Path) } -> std::same_as<UObject*>; });
    [[maybe_unused]] constexpr auto FindFirstOfOverloads = std::make_tuple(
        static_cast<UObject* (*)(FName)>(&UObjectGlobals::FindFirstOf),
        static_cast<UObject* (*)(const CharType*)>(&UObjectGlobals::FindFirstOf),
        static_cast<UObject* (*)(StringViewType)>(&UObjectGlobals::FindFirstOf),
        static_cast<UObject* (*)(const StringType&)>(&UObjectGlobals::FindFirstOf),
        static_cast<UObject* (*)(std::string_view)>(&UObjectGlobals::FindFirstOf),
        static_cast<UObject* (*)(const std::string&)>(&UObjectGlobals::FindFirstOf));
    using Found = std::vector<UObject*>&;
    [[maybe_unused]] constexpr auto FindAllOfOverloads = std::make_tuple(
        static_cast<void (*)(FName, Found)>(&UObjectGlobals::FindAllOf),
        static_cast<void (*)(const CharType*, Found)>(&UObjectGlobals::FindAllOf),
        static_cast<void (*)(StringViewType, Found)>(&UObjectGlobals::FindAllOf),
        static_cast<void (*)(const StringType&, Found)>(&UObjectGlobals::FindAllOf),
        static_cast<void (*)(std::string_view, Found)>(&UObjectGlobals::FindAllOf),
        static_cast<void (*)(const std::string&, Found)>(&UObjectGlobals::FindAllOf));
    static_assert(is_same_v<decltype(&UObjectGlobals::StaticConstructObject),
                            UObject* (*)(const FStaticConstructObjectParameters&)>);
    // Made from a class and an outer, implicitly; the outer has no default.
    template <typename Params>
    concept ImplicitFromClassAndOuter = requires(void (*Take)(Params), const UClass* Class, UObject* Outer) {
        Take({Class, Outer});
    };
    static_assert(ImplicitFromClassAndOuter<FStaticConstructObjectParameters>);
    static_assert(!std::is_constructible_v<FStaticConstructObjectParameters, const UClass*>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::Class), const UClass*>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::Outer), UObject*>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::Name), FName>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::SetFlags), EObjectFlags>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::InternalSetFlags), EInternalObjectFlags>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::bCopyTransientsFromClassDefaults), bool>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::bAssumeTemplateIsArchetype), bool>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::Template), UObject*>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::InstanceGraph), FObjectInstancingGraph*>);
    static_assert(is_same_v<decltype(FStaticConstructObjectParameters::ExternalPackage), UPackage*>);

    static_assert(requires(UObject& Object, const CharType* Name) {
        { Object.GetFunctionByName(Name) } -> std::same_as<UFunction*>;
        { Object.GetFunctionByNameInChain(Name) } -> std::same_as<UFunction*>;
        { Object.template GetValuePtrByPropertyName<UObject*>(Name) } -> std::same_as<UObject**>;
        { Object.template GetValuePtrByPropertyNameInChain<UObject*>(Name) } -> std::same_as<UObject**>;
        { Object.GetPropertyByNameInChain(Name) } -> std::same_as<FProperty*>;
        { Object.GetClassPrivate() } -> std::same_as<UClass*>;
        { Object.GetName() } -> std::same_as<StringType>;
        { Object.GetFullName() } -> std::same_as<StringType>;
    });

    // Walking the object array and being told of objects entering and leaving it.
    static_assert(requires(const std::function<LoopAction(UObject*, int32_t, int32_t)>& Visit) {
        { UObjectGlobals::ForEachUObject(Visit) } -> std::same_as<void>;
        { UObjectGlobals::ForEachUObjectInRange(int32_t{0}, int32_t{1}, Visit) } -> std::same_as<void>;
    });
    static_assert(is_same_v<decltype(LoopAction::Continue), decltype(LoopAction::Break)>);
    // The listeners are handed the base; the mod casts it back to the object it is.
    static_assert(std::is_base_of_v<UObjectBase, UObject>);
    static_assert(std::has_virtual_destructor_v<FUObjectCreateListener> && std::is_abstract_v<FUObjectCreateListener>);
    static_assert(is_same_v<decltype(&FUObjectCreateListener::NotifyUObjectCreated),
                            void (FUObjectCreateListener::*)(const UObjectBase*, int32_t)>);
    static_assert(is_same_v<decltype(&FUObjectCreateListener::OnUObjectArrayShutdown), void (FUObjectCreateListener::*)()>);
    static_assert(std::has_virtual_destructor_v<FUObjectDeleteListener> && std::is_abstract_v<FUObjectDeleteListener>);
    static_assert(is_same_v<decltype(&FUObjectDeleteListener::NotifyUObjectDeleted),
                            void (FUObjectDeleteListener::*)(const UObjectBase*, int32_t)>);
    static_assert(is_same_v<decltype(&FUObjectDeleteListener::OnUObjectArrayShutdown), void (FUObjectDeleteListener::*)()>);
    static_assert(is_same_v<decltype(&UObjectArray::AddUObjectCreateListener), void (*)(FUObjectCreateListener*)>);
    static_assert(is_same_v<decltype(&UObjectArray::RemoveUObjectCreateListener), void (*)(FUObjectCreateListener*)>);
    static_assert(is_same_v<decltype(&UObjectArray::AddUObjectDeleteListener), void (*)(FUObjectDeleteListener*)>);
    static_assert(is_same_v<decltype(&UObjectArray::RemoveUObjectDeleteListener), void (*)(FUObjectDeleteListener*)>);
    static_assert(requires(UObject& Object) {
        { Object.GetNamePrivate() } -> std::same_as<FName>;
        { Object.GetOuterPrivate() } -> std::same_as<UObject*>;
    });

    static_assert(requires(UDataTable& Table, FName Row) {
        { Table.FindRowUnchecked(Row) } -> std::same_as<uint8_t*>;
        { Table.GetRowStruct() } -> std::convertible_to<UScriptStruct*>;
        { Table.GetRowNames() } -> std::same_as<TArray<FName>>;
    });

    // --- reflection -------------------------------------------------------------------------
    static_assert(std::is_base_of_v<UStruct, UClass> && std::is_base_of_v<UStruct, UScriptStruct> &&
                  std::is_base_of_v<UStruct, UFunction> && std::is_base_of_v<UObject, UStruct>);
    static_assert(std::is_base_of_v<FField, FProperty> && std::is_base_of_v<FObjectPropertyBase, FObjectProperty> &&
                  std::is_base_of_v<FProperty, FObjectPropertyBase> && std::is_base_of_v<FProperty, FArrayProperty> &&
                  std::is_base_of_v<FProperty, FStructProperty> && std::is_base_of_v<FProperty, FNameProperty> &&
                  std::is_base_of_v<FObjectProperty, FClassProperty>);
    // Own properties, not const; the chain separately.
    static_assert(requires(UStruct& Struct) {
        { *Struct.ForEachProperty().begin() } -> std::convertible_to<FProperty*>;
        { *Struct.ForEachPropertyInChain().begin() } -> std::convertible_to<FProperty*>;
        { Struct.GetSuperStruct() } -> std::same_as<UStruct*>;
    });
    template <typename Struct>
    concept IteratesProperties = requires(Struct& Reflected) { Reflected.ForEachProperty(); };
    static_assert(IteratesProperties<UStruct> && !IteratesProperties<const UStruct>);
    // A lazy sequence: nothing but iteration.
    template <typename Struct>
    concept PropertiesHaveASize = requires(Struct& Reflected) { Reflected.ForEachProperty().size(); };
    static_assert(!PropertiesHaveASize<UStruct>);
    static_assert(requires(FField* Field) { { CastField<FArrayProperty>(Field) } -> std::same_as<FArrayProperty*>; });
    template <typename Field>
    concept CastsFrom = requires(Field* Source) { CastField<FArrayProperty>(Source); };
    static_assert(CastsFrom<FField> && !CastsFrom<const FField>);
    static_assert(requires(FArrayProperty& Array, FStructProperty& Struct) {
        { Array.GetInner() } -> std::convertible_to<FProperty*>;
        { Struct.GetStruct() } -> std::convertible_to<UScriptStruct*>;
    });
    // A function's parameters: its own properties that carry CPF_Parm, outputs also CPF_OutParm.
    static_assert(CPF_Parm == 0x80 && CPF_OutParm == 0x100 && CPF_ReturnParm == 0x400);
    static_assert(requires(FProperty& Property) {
        { Property.HasAnyPropertyFlags(CPF_Parm) } -> std::same_as<bool>;
        { Property.GetSize() } -> std::convertible_to<int32_t>;
    });
    static_assert(requires(FObjectPropertyBase& Reference) {
        { Reference.GetPropertyClass() } -> std::same_as<UClass*>;
    });
    static_assert(requires(const FProperty& Property) {
        { Property.GetOffset_Internal() } -> std::convertible_to<int32_t>;
        { Property.GetElementSize() } -> std::convertible_to<int32_t>;
        { Property.GetFName() } -> std::convertible_to<FName>;
    });

    // --- names, strings, arrays, memory -----------------------------------------------------
    static_assert(std::is_default_constructible_v<FName>);
    static_assert(std::is_constructible_v<FName, uint32_t, uint32_t> && !std::is_convertible_v<uint32_t, FName>);
    static_assert(std::is_constructible_v<FName, const CharType*> && !std::is_convertible_v<const CharType*, FName>);
    static_assert(std::is_constructible_v<FName, const CharType*, EFindName>);
    static_assert(is_same_v<decltype(std::declval<const FName&>().ToString()), StringType>);
    static_assert(is_same_v<std::remove_cv_t<decltype(NAME_None)>, FName>);

    static_assert(sizeof(FString) == 16);
    static_assert(std::is_constructible_v<FString, const TCHAR*> && !std::is_convertible_v<const TCHAR*, FString>);
    static_assert(std::is_copy_constructible_v<FString> && std::is_copy_assignable_v<FString>);
    static_assert(is_same_v<decltype(*std::declval<const FString&>()), const TCHAR*>);
    static_assert(is_same_v<decltype(std::declval<FString&>().GetCharArray()), TArray<TCHAR>&>);

    static_assert(sizeof(TArray<void*>) == 16);
    static_assert(requires(TArray<int32_t>& Array, const TArray<int32_t>& Const, int32_t Value) {
        { Const.Num() } -> std::same_as<int32>;
        { Const.Max() } -> std::same_as<int32>;
        { Array.GetData() } -> std::same_as<int32_t*>;
        Array.Reserve(Value);
        { Array.AddUninitialized(Value) } -> std::same_as<int32>;
        { Array.Add(Value) } -> std::same_as<int32>;
        { Array.AddUnique(Value) } -> std::same_as<int32>;
        { Const.Find(Value) } -> std::same_as<int32>;
        Array.Empty();
        { Const.IsValidIndex(Value) } -> std::same_as<bool>;
        Const.CheckInvariants();
        { Array[Value] } -> std::same_as<int32_t&>;
    });

    static_assert(is_same_v<decltype(&FMemory::Malloc), void* (*)(size_t, uint32_t)>);
    static_assert(is_same_v<decltype(&FMemory::Realloc), void* (*)(void*, size_t, uint32_t)>);
    static_assert(is_same_v<decltype(&FMemory::Free), void (*)(void*)>);
    static_assert(is_same_v<decltype(&FMemory::QuantizeSize), size_t (*)(size_t, uint32_t)>);
} // namespace
