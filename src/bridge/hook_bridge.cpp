// The parameter check, the kept hooks and the failure line of the hook bridge.
#include "bridge/hook_bridge.hpp"

#include <string>
#include <utility>
#include <vector>

#include <Unreal/CoreUObject/UObject/UnrealType.hpp>

#include "bridge/log.hpp"

namespace BRMB::Bridge
{
    namespace
    {
        struct RecordedHook
        {
            RC::Unreal::UFunction* Function;
            VEXA::HookIds Ids;
        };

        auto Recorded() -> std::vector<RecordedHook>&
        {
            static std::vector<RecordedHook> Hooks;
            return Hooks;
        }
    } // namespace

    auto RecordHook(RC::Unreal::UFunction* Function, VEXA::HookIds Ids) -> void
    {
        try
        {
            Recorded().push_back({Function, Ids});
        }
        catch (...)
        {
            // A hook that could not be kept could not be removed at uninstall either.
            RC::Unreal::UObjectGlobals::UnregisterHook(Function, Ids);
            throw;
        }
    }

    auto RemoveRecordedHooks() -> void
    {
        // Taken out of the list first: a failing removal is not retried on the next uninstall.
        const std::vector<RecordedHook> Hooks = std::exchange(Recorded(), {});
        for (const RecordedHook& Hook : Hooks)
        {
            RC::Unreal::UObjectGlobals::UnregisterHook(Hook.Function, Hook.Ids);
        }
    }

    auto ReportHookFailure(const RC::CharType* Prefix, const RC::CharType* Function, std::string_view What) noexcept
        -> void
    {
        try
        {
            ReportFailure(Prefix, RC::StringType(Function) + STR(" hook"), What);
        }
        catch (...)
        {
            // No memory for the name: nothing safe is left to report with.
        }
    }

    namespace
    {
        using RC::Unreal::CastField;
        using RC::Unreal::FProperty;

        auto TypeName(ParamType Type) -> RC::StringType
        {
            switch (Type)
            {
            case ParamType::String:
                return STR("String");
            case ParamType::Name:
                return STR("Name");
            case ParamType::ObjectReference:
                return STR("Object Reference");
            case ParamType::ClassReference:
                return STR("Class Reference");
            case ParamType::Value8:
                break;
            }
            return STR("8-byte value");
        }

        // What the property is, in the contract's words where it is one of its types.
        auto TypeName(FProperty& Property) -> RC::StringType
        {
            if (CastField<RC::Unreal::FStrProperty>(&Property) != nullptr)
            {
                return TypeName(ParamType::String);
            }
            if (CastField<RC::Unreal::FNameProperty>(&Property) != nullptr)
            {
                return TypeName(ParamType::Name);
            }
            if (CastField<RC::Unreal::FClassProperty>(&Property) != nullptr)
            {
                return TypeName(ParamType::ClassReference);
            }
            if (CastField<RC::Unreal::FObjectProperty>(&Property) != nullptr)
            {
                return TypeName(ParamType::ObjectReference);
            }
            if (CastField<RC::Unreal::FArrayProperty>(&Property) != nullptr)
            {
                return STR("Array");
            }
            if (CastField<RC::Unreal::FStructProperty>(&Property) != nullptr)
            {
                return STR("Structure");
            }
            const std::string Size = std::to_string(Property.GetSize());
            return RC::StringType(Size.begin(), Size.end()) + STR("-byte value");
        }

        auto Matches(FProperty& Property, const Param& Expected) -> bool
        {
            if (Property.GetOffset_Internal() != Expected.Offset || Property.GetSize() != Expected.Size ||
                Property.HasAnyPropertyFlags(RC::Unreal::EPropertyFlags(RC::Unreal::CPF_OutParm |
                                                                        RC::Unreal::CPF_ReturnParm)) !=
                    (Expected.Dir == Direction::Out))
            {
                return false;
            }
            switch (Expected.Type)
            {
            case ParamType::String:
                return CastField<RC::Unreal::FStrProperty>(&Property) != nullptr;
            case ParamType::Name:
                return CastField<RC::Unreal::FNameProperty>(&Property) != nullptr;
            case ParamType::ObjectReference:
                return CastField<RC::Unreal::FObjectProperty>(&Property) != nullptr &&
                       CastField<RC::Unreal::FClassProperty>(&Property) == nullptr;
            case ParamType::ClassReference:
                return CastField<RC::Unreal::FClassProperty>(&Property) != nullptr;
            case ParamType::Value8:
                return true;
            }
            return false;
        }

        auto Number(int32_t Value) -> RC::StringType
        {
            const std::string Digits = std::to_string(Value);
            return RC::StringType(Digits.begin(), Digits.end());
        }

        auto Describe(RC::StringType& Out, const RC::StringType& Type, int32_t Offset, bool Output, bool Return)
            -> void
        {
            if (!Out.empty())
            {
                Out.append(STR(", "));
            }
            Out.append(Return ? STR("return ") : Output ? STR("out ") : STR(""));
            Out.append(Type).append(STR(" at ")).append(Number(Offset));
        }
    } // namespace

    auto CheckParameters(RC::Unreal::UFunction& Function, const HookedFunction& Hook) -> bool
    {
        bool Same = true;
        size_t Index = 0;
        RC::StringType Found;
        // The function's own properties in declaration order; those without CPF_Parm are a
        // Blueprint function's local variables.
        for (FProperty* const Property : Function.ForEachProperty())
        {
            if (!Property->HasAnyPropertyFlags(RC::Unreal::CPF_Parm))
            {
                continue;
            }
            Same = Same && Index < Hook.Params.size() && Matches(*Property, Hook.Params[Index]);
            ++Index;
            Describe(Found, TypeName(*Property), Property->GetOffset_Internal(),
                     Property->HasAnyPropertyFlags(RC::Unreal::CPF_OutParm),
                     Property->HasAnyPropertyFlags(RC::Unreal::CPF_ReturnParm));
        }
        if (Same && Index == Hook.Params.size())
        {
            return true;
        }
        RC::StringType Wanted;
        for (const Param& Declared : Hook.Params)
        {
            Describe(Wanted, TypeName(Declared.Type), Declared.Offset, Declared.Dir == Direction::Out, false);
        }
        RC::StringType Line(Hook.Prefix);
        Line.append(STR(" : ")).append(Hook.Function).append(STR(" parameters differ : expected "));
        Line.append(Wanted.empty() ? STR("nothing") : Wanted).append(STR(" : found "));
        Line.append(Found.empty() ? STR("nothing") : Found);
        LogLine(Line);
        return false;
    }
} // namespace BRMB::Bridge
