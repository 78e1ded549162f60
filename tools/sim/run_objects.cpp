// Object expectations: variables of named objects, the constructions the mod asked of the
// engine, and how many objects of a class are alive.
#include <cstring>

#include <Unreal/UObjectGlobals.hpp>

#include "sim/run.hpp"
#include "sim/text.hpp"

namespace BRMB::Sim
{
    using RC::Unreal::UClass;
    using RC::Unreal::UObject;

    auto Run::VariableStorage(const VariableExpect& Expected) const -> const void*
    {
        UObject* Object = Built.Objects.at(Expected.Object);
        return Object->GetValuePtrByPropertyNameInChain<void>(Wide(Expected.Variable).c_str());
    }

    auto Run::CheckVariable(const Step& Current, const VariableExpect& Expected) -> void
    {
        const void* Storage = VariableStorage(Expected);
        const auto What = "variable " + Expected.Variable + " of " + Expected.Object;
        if (Storage == nullptr)
        {
            Fail(Current, What, "the variable", "the object's class has no such variable");
            return;
        }
        if (Expected.Bytes)
        {
            const std::string Seen(static_cast<const char*>(Storage), Expected.Bytes->size());
            Check(Current, Seen == *Expected.Bytes, What, Hex(*Expected.Bytes), Hex(Seen));
            return;
        }
        if (Expected.One || Expected.OfClass)
        {
            UObject* Seen = nullptr;
            std::memcpy(static_cast<void*>(&Seen), Storage, sizeof(Seen));
            if (Expected.One)
            {
                Check(Current, Seen == ObjectFor(*Expected.One), What, NameOf(ObjectFor(*Expected.One)), NameOf(Seen));
            }
            else
            {
                const UClass* Class = FindClass(Built, *Expected.OfClass);
                const auto SeenText = Seen == nullptr ? "null" : NameOf(Seen) + " of class " + Narrow(Seen->GetClassPrivate()->GetName());
                Check(Current, Seen != nullptr && Seen->IsA(Class), What, "an object of class " + *Expected.OfClass,
                      SeenText);
            }
            if (Expected.Outer && Seen != nullptr)
            {
                Check(Current, Seen->GetOuterPrivate() == ObjectFor(*Expected.Outer), "outer of " + NameOf(Seen),
                      NameOf(ObjectFor(*Expected.Outer)), NameOf(Seen->GetOuterPrivate()));
            }
            Bind(Current, Expected.As, Seen, What);
            return;
        }
        const auto Contents = ReadArray8(Storage);
        if (Expected.Many)
        {
            std::vector<std::string> Names;
            for (const auto Element : Contents.Elements)
            {
                UObject* Seen = nullptr;
                std::memcpy(static_cast<void*>(&Seen), &Element, sizeof(Seen));
                Names.push_back(NameOf(Seen));
            }
            Check(Current, Contents.Problem.empty() && Names == *Expected.Many, What, ShowNames(*Expected.Many),
                  Contents.Problem.empty() ? ShowNames(Names) : Contents.Problem);
        }
        CheckHeader(Current, What, Contents, {Expected.Capacity, Expected.Count, Expected.Moved},
                    Expected.Object + "." + Expected.Variable);
    }

    // A corrupt header is still read: its count, capacity and storage are what a
    // scenario about broken arrays checks; only its elements cannot be.
    auto Run::CheckHeader(const Step& Current, const std::string& What, const ArrayContents& Contents,
                     const HeaderExpect& Expected, const std::string& Key) -> void
    {
        if (Expected.Capacity)
        {
            Check(Current, Contents.Capacity == *Expected.Capacity, "capacity of " + What,
                  std::to_string(*Expected.Capacity), std::to_string(Contents.Capacity));
        }
        if (Expected.Count)
        {
            Check(Current, Contents.Count == *Expected.Count, "count of " + What, std::to_string(*Expected.Count),
                  std::to_string(Contents.Count));
        }
        if (Expected.Moved)
        {
            const bool Moved = StorageBefore.at(Key) != Contents.Storage;
            Check(Current, Moved == *Expected.Moved, "storage of " + What, *Expected.Moved ? "moved" : "where it was",
                  Moved ? "moved" : "where it was");
        }
    }

    auto Run::CheckConstructed(const Step& Current, const std::vector<ConstructExpect>& Wanted) -> void
    {
        const auto& All = Engine.Constructions();
        const std::vector<RC::Sim::Construction> Made(All.begin() + static_cast<std::ptrdiff_t>(ConstructionsBefore),
                                                      All.end());
        if (Made.size() != Wanted.size())
        {
            Fail(Current, "constructions asked of the engine", std::to_string(Wanted.size()),
                 std::to_string(Made.size()));
            return;
        }
        for (size_t Index = 0; Index < Made.size(); ++Index)
        {
            const auto& Params = Made[Index].Params;
            const auto& Expected = Wanted[Index];
            const auto What = "construction " + std::to_string(Index + 1) + ": ";
            const auto Object = [&](const char* Field, const std::optional<Value>& Reference, const UObject* Seen) {
                if (Reference)
                {
                    Check(Current, ObjectFor(*Reference) == Seen, What + Field, NameOf(ObjectFor(*Reference)), NameOf(Seen));
                }
            };
            const auto Flag = [&](const char* Field, const std::optional<bool>& Given, bool Seen) {
                if (Given)
                {
                    Check(Current, *Given == Seen, What + Field, *Given ? "true" : "false", Seen ? "true" : "false");
                }
            };
            Object("class", Expected.Class, Params.Class);
            Object("outer", Expected.Outer, Params.Outer);
            Object("template", Expected.Template, Params.Template);
            if (Expected.Name)
            {
                const auto Seen = Narrow(Params.Name.ToString());
                Check(Current, Seen == *Expected.Name, What + "name", Quote(*Expected.Name), Quote(Seen));
            }
            if (Expected.Flags)
            {
                const auto Seen = static_cast<uint32_t>(Params.SetFlags);
                Check(Current, Seen == *Expected.Flags, What + "flags", std::to_string(*Expected.Flags), std::to_string(Seen));
            }
            if (Expected.InternalFlags)
            {
                const auto Seen = static_cast<uint32_t>(Params.InternalSetFlags);
                Check(Current, Seen == *Expected.InternalFlags, What + "internal flags",
                      std::to_string(*Expected.InternalFlags), std::to_string(Seen));
            }
            Flag("copyTransients", Expected.CopyTransients, Params.bCopyTransientsFromClassDefaults);
            Flag("templateIsArchetype", Expected.TemplateIsArchetype, Params.bAssumeTemplateIsArchetype);
            Flag("instanceGraph", Expected.InstanceGraph, Params.InstanceGraph != nullptr);
            Flag("externalPackage", Expected.ExternalPackage, Params.ExternalPackage != nullptr);
            Bind(Current, Expected.As, Made[Index].Result, What + "the object");
        }
    }

    auto Run::CheckLiveObjects(const Step& Current) -> void
    {
        for (const auto& [Class, Count] : Current.Expect.LiveObjects)
        {
            std::vector<UObject*> Found;
            RC::Unreal::UObjectGlobals::FindAllOf(Wide(Class), Found);
            Check(Current, static_cast<int>(Found.size()) == Count, "live objects of " + Class, std::to_string(Count),
                  std::to_string(Found.size()));
        }
    }
} // namespace BRMB::Sim
