// Calls, exports and conversion members: how a step drives the mod, and the expectations on
// what the mod answered (parameters, remembered export answers, a member's answer).
#include <cstring>

#include <Unreal/Core/HAL/UnrealMemory.hpp>
#include <Unreal/FProperty.hpp>
#include <Unreal/UFunction.hpp>

#include "consumer/core_consumer.hpp"
#include "sim/run.hpp"
#include "sim/text.hpp"

namespace BRMB::Sim
{
    namespace
    {
        using RC::Unreal::FName;
        using RC::Unreal::UFunction;
        using RC::Unreal::UObject;

        // An engine string's header and code units, as the engine holds them.
        struct RawText
        {
            const char16_t* Data = nullptr;
            int32_t Num = 0;
            int32_t Max = 0;
        };
        static_assert(sizeof(RawText) == 16, "an engine string is 16 bytes");

        auto ShowUnits(const std::u16string& Units) -> std::string
        {
            std::string Text = "[";
            char Unit[8];
            for (size_t Index = 0; Index < Units.size(); ++Index)
            {
                std::snprintf(Unit, sizeof(Unit), "0x%04x", static_cast<unsigned>(Units[Index]));
                Text += (Index == 0 ? "" : ", ") + std::string(Unit);
            }
            return Text + "]";
        }

        // The names of a listing, "|" and then each name followed by "|"; none when the text is
        // not one (outer bars missing, an empty name between doubled bars).
        auto SplitListing(const std::string& Text) -> std::optional<std::vector<std::string>>
        {
            if (Text.empty() || Text.front() != '|' || Text.back() != '|')
            {
                return std::nullopt;
            }
            std::vector<std::string> Names;
            for (size_t Start = 1; Start < Text.size();)
            {
                const auto End = Text.find('|', Start);
                if (End == Start)
                {
                    return std::nullopt;
                }
                Names.push_back(Text.substr(Start, End - Start));
                Start = End + 1;
            }
            return Names;
        }

        // A text parameter as exact code units: storage from the host's allocator, as the
        // engine's own strings have, with a NUL after the units.
        auto MakeRawText(const std::u16string& Units, std::optional<int32_t> Count) -> RawText
        {
            const auto Size = Units.size() + 1;
            auto* Data = static_cast<char16_t*>(RC::Unreal::FMemory::Malloc(Size * sizeof(char16_t)));
            std::memcpy(Data, Units.data(), Units.size() * sizeof(char16_t));
            Data[Units.size()] = u'\0';
            return {Data, Count.value_or(static_cast<int32_t>(Size)), static_cast<int32_t>(Size)};
        }

        auto SetRawText(RC::Sim::ParamBlock& Params, const UFunction* Function, const std::string& Param,
                               const std::u16string& Units, std::optional<int32_t> Count) -> void
        {
            const auto Raw = MakeRawText(Units, Count);
            std::vector<uint8_t> Bytes(sizeof(Raw));
            std::memcpy(Bytes.data(), &Raw, sizeof(Raw));
            Params.SetBytes(static_cast<size_t>(FindParam(Function, Param)->GetOffset_Internal()), Bytes);
        }

        auto ReadRawText(const RC::Sim::ParamBlock& Params, const std::string& Param) -> RawText
        {
            const auto Bytes = Params.GetBytes(
                static_cast<size_t>(FindParam(Params.Function(), Param)->GetOffset_Internal()), sizeof(RawText));
            RawText Raw;
            std::memcpy(&Raw, Bytes.data(), sizeof(Raw));
            return Raw;
        }

        // What an expected text of code units holds, its NUL included, up to its count.
        auto ExpectedUnits(const Value& Wanted) -> std::u16string
        {
            auto Units = *Wanted.Units + u'\0';
            Units.resize(static_cast<size_t>(Wanted.Count.value_or(static_cast<int32_t>(Units.size()))));
            return Units;
        }

        // An engine string against a text of code units or one with no storage: what each holds.
        auto ShowRawText(const Value& Wanted, const RawText& Raw) -> std::pair<std::string, std::string>
        {
            auto Expected = Wanted.Null ? "no storage (null data, count 0, capacity 0)" : ShowUnits(ExpectedUnits(Wanted));
            auto Seen = Raw.Data == nullptr ? "null data, count " + std::to_string(Raw.Num) + ", capacity " + std::to_string(Raw.Max)
                                            : ShowUnits(std::u16string(Raw.Data, static_cast<size_t>(std::max(Raw.Num, 0))));
            if (Wanted.Null && Raw.Data == nullptr && (Raw.Num != 0 || Raw.Max != 0))
            {
                Seen = "null data with count " + std::to_string(Raw.Num) + ", capacity " + std::to_string(Raw.Max);
            }
            else if (Wanted.Null && Raw.Data == nullptr)
            {
                Seen = Expected;
            }
            return {std::move(Expected), std::move(Seen)};
        }
    } // namespace

    auto Run::Call(const Step& Current) -> std::unique_ptr<RC::Sim::ParamBlock>
    {
        auto* Function = FindFunction(Built, Current.On, Current.Function);
        auto Params = std::make_unique<RC::Sim::ParamBlock>(Function);
        for (const auto& Arg : Current.Args)
        {
            const auto Name = Wide(Arg.Param);
            const auto& Given = Arg.Expected;
            switch (Given.Kind)
            {
            case Type::Text:
                if (Given.Units)
                {
                    SetRawText(*Params, Function, Arg.Param, *Given.Units, Given.Count);
                }
                else if (!Given.Null) // a text with no storage is all zero, as the block starts
                {
                    Params->SetString(Name, Wide(Given.Text));
                }
                break;
            case Type::Object: Params->SetObject(Name, ObjectFor(Given)); break;
            case Type::Name: Params->SetName(Name, FName(Wide(Given.Text))); break;
            case Type::Entry: Params->SetInt64(Name, Given.Entry); break;
            case Type::Class:
            {
                const UObject* Class = ObjectFor(Given);
                std::vector<uint8_t> Bytes(sizeof(Class));
                std::memcpy(Bytes.data(), static_cast<const void*>(&Class), sizeof(Class));
                Params->SetBytes(static_cast<size_t>(FindParam(Function, Arg.Param)->GetOffset_Internal()), Bytes);
                break;
            }
            default: break;
            }
        }
        for (const auto& Bytes : Current.Bytes)
        {
            Params->SetBytes(Bytes.Offset, std::vector<uint8_t>(Bytes.Bytes.begin(), Bytes.Bytes.end()));
        }
        LoadDueLibraries(Built, Now);
        Engine.Call(CallTarget(Built, Current.On), Function, *Params);
        return Params;
    }

    auto Run::CheckParams(const Step& Current, const RC::Sim::ParamBlock& Params) -> void
    {
        const auto* Function = Params.Function();
        for (const auto& Param : Current.Expect.Params)
        {
            const auto Name = Wide(Param.Param);
            const auto& Wanted = Param.Expected;
            std::string Expected;
            std::string Seen;
            switch (Wanted.Kind)
            {
            case Type::Text:
                if (Wanted.Null || Wanted.Units)
                {
                    std::tie(Expected, Seen) = ShowRawText(Wanted, ReadRawText(Params, Param.Param));
                }
                else if (Wanted.Names)
                {
                    const auto Answer = Narrow(Params.GetString(Name));
                    Expected = ShowNames(Sorted(*Wanted.Names));
                    const auto Listed = SplitListing(Answer);
                    Seen = (Listed ? ShowNames(Sorted(*Listed)) : std::string("not a listing")) + " from " +
                           Quote(Answer);
                    if (Listed && Sorted(*Listed) == Sorted(*Wanted.Names))
                    {
                        Seen = Expected;
                    }
                }
                else
                {
                    Expected = Quote(Wanted.Text);
                    Seen = Quote(Narrow(Params.GetString(Name)));
                }
                break;
            case Type::Name:
                Expected = Quote(Wanted.Text);
                Seen = Quote(Narrow(Params.GetName(Name).ToString()));
                break;
            case Type::Entry:
                Expected = std::to_string(Wanted.Entry);
                Seen = std::to_string(Params.GetInt64(Name));
                break;
            case Type::Object:
            case Type::Class:
            {
                const auto Offset = static_cast<size_t>(FindParam(Function, Param.Param)->GetOffset_Internal());
                const auto Bytes = Params.GetBytes(Offset, sizeof(UObject*));
                UObject* Object = nullptr;
                std::memcpy(static_cast<void*>(&Object), Bytes.data(), sizeof(Object));
                Expected = NameOf(ObjectFor(Wanted));
                Seen = NameOf(Object);
                break;
            }
            default: break;
            }
            Check(Current, Expected == Seen, "parameter " + Param.Param, Expected, Seen);
        }
        for (const auto& Bytes : Current.Expect.ParamBytes)
        {
            const auto Seen = Params.GetBytes(Bytes.Offset, Bytes.Bytes.size());
            const std::string SeenText(Seen.begin(), Seen.end());
            Check(Current, SeenText == Bytes.Bytes, "parameter bytes at offset " + std::to_string(Bytes.Offset),
                  Hex(Bytes.Bytes), Hex(SeenText));
        }
    }

    auto Run::UninstallExport() const -> UninstallFunction
    {
        return reinterpret_cast<UninstallFunction>(Mod->Symbol("uninstall_mod"));
    }

    // An exported function called as other native code would: by name from the library.
    auto Run::Export(const Step& Current) -> void
    {
        void* Symbol = Mod->Symbol(Current.Export.c_str());
        if (Symbol == nullptr)
        {
            Fail(Current, "the mod exports no " + Current.Export, Current.Export, "no such export");
            return;
        }
        void* Answer = nullptr;
        if (Current.Export == "uninstall_mod")
        {
            if (*Current.With == "mod")
            {
                Mod->Uninstall();
                return;
            }
            RC::CppUserModBase* Target = nullptr;
            if (!Current.With->empty())
            {
                Target = static_cast<RC::CppUserModBase*>(Answers.at(*Current.With));
                const auto Live = std::find(StartedMods.begin(), StartedMods.end(), Target);
                if (Live == StartedMods.end())
                {
                    Fail(Current, "uninstall_mod with " + *Current.With, "a mod object still installed",
                         "one already uninstalled");
                    return;
                }
                StartedMods.erase(Live);
            }
            reinterpret_cast<UninstallFunction>(Symbol)(Target);
            return;
        }
        if (Current.Export == "start_mod")
        {
            auto* Started = reinterpret_cast<RC::CppUserModBase* (*)()>(Symbol)();
            if (Started != nullptr)
            {
                StartedMods.push_back(Started);
            }
            Answer = Started;
        }
        else if (Current.Export.rfind("Get_", 0) == 0)
        {
            Answer = reinterpret_cast<void* (*)()>(Symbol)();
        }
        else
        {
            reinterpret_cast<void (*)()>(Symbol)();
        }
        if (!Current.As.empty())
        {
            Answers[Current.As] = Answer;
        }
    }

    // The consumer is built beside the mod and linked against it; loaded after it, the
    // platform's loader binds it to the mod already loaded (by soname on Linux, by module
    // name on Windows).
    auto Run::ConsumerPath() const -> std::string
    {
#if defined(_WIN32)
        constexpr const char* Suffix = ".dll";
#else
        constexpr const char* Suffix = ".so";
#endif
        const auto Slash = Settings.ModPath.find_last_of("/\\");
        const auto Folder = Slash == std::string::npos ? std::string() : Settings.ModPath.substr(0, Slash + 1);
        return Folder + "brambleon_core_consumer" + Suffix;
    }

    template <typename Function>
    auto Run::ConsumerFunction(const char* Name) const -> Function
    {
        void* Symbol = ConsumerModule->Symbol(Name);
        if (Symbol == nullptr)
        {
            throw std::runtime_error(std::string("the core consumer lacks ") + Name);
        }
        return reinterpret_cast<Function>(Symbol);
    }

    // A conversion member of the core, called through the pointer Get_VEXA_CORE answers by
    // a module linked against the mod, as another native mod calls it.
    auto Run::Member(const Step& Current) -> void
    {
        if (!ConsumerModule)
        {
            ConsumerModule = std::make_unique<RC::Sim::LoadedLibrary>(ConsumerPath());
        }
        auto* Core = reinterpret_cast<Consumer::CoreFunction>(Mod->Symbol("Get_VEXA_CORE"))();
        if (ConsumerFunction<Consumer::CoreFunction>("Consumer_Core")() != Core)
        {
            Fail(Current, "the core consumer's Get_VEXA_CORE", "the loaded mod's core",
                 "another core: the consumer bound to another copy of the mod");
            return;
        }
        NarrowAnswer.reset();
        EngineAnswer.emplace();
        const auto& Given = Current.Text;
        if (Current.Member == "FStringToUtf8")
        {
            RC::Unreal::FString Text;
            if (Given.Units)
            {
                const auto Raw = MakeRawText(*Given.Units, Given.Count);
                std::memcpy(static_cast<void*>(&Text), &Raw, sizeof(Raw));
            }
            else if (!Given.Null)
            {
                Text = RC::Unreal::FString(Wide(Given.Text).c_str());
            }
            EngineAnswer.reset();
            NarrowAnswer.emplace();
            ConsumerFunction<Consumer::FStringToUtf8Function>("Consumer_FStringToUtf8")(
                Core, &Text,
                [](void* Context, const char* Bytes, size_t Size) { static_cast<std::string*>(Context)->assign(Bytes, Size); },
                &*NarrowAnswer);
        }
        else if (Current.Member == "NarrowToFString")
        {
            ConsumerFunction<Consumer::NarrowToFStringFunction>("Consumer_NarrowToFString")(
                Core, Given.Text.data(), Given.Text.size(), &*EngineAnswer);
        }
        else
        {
            const auto Text = Wide(Given.Text);
            const auto Units = Given.Units ? *Given.Units : std::u16string(Text.begin(), Text.end());
            ConsumerFunction<Consumer::WideToFStringFunction>("Consumer_WideToFString")(Core, Units.data(), Units.size(),
                                                                                      &*EngineAnswer);
        }
    }

    auto Run::CheckMemberAnswer(const Step& Current) -> void
    {
        if (!Current.Expect.Answer || !StepHeld)
        {
            return;
        }
        const auto& Wanted = *Current.Expect.Answer;
        const auto What = Current.Member + "'s answer";
        if (NarrowAnswer)
        {
            Check(Current, *NarrowAnswer == Wanted.Text, What, Quote(Wanted.Text) + " (" + Hex(Wanted.Text) + ")",
                  Quote(*NarrowAnswer) + " (" + Hex(*NarrowAnswer) + ")");
            return;
        }
        if (Wanted.Null || Wanted.Units)
        {
            RawText Raw;
            std::memcpy(&Raw, static_cast<const void*>(&*EngineAnswer), sizeof(Raw));
            const auto [Expected, Seen] = ShowRawText(Wanted, Raw);
            Check(Current, Expected == Seen, What, Expected, Seen);
            return;
        }
        const auto Seen = Quote(Narrow(**EngineAnswer));
        Check(Current, Seen == Quote(Wanted.Text), What, Quote(Wanted.Text), Seen);
    }

    auto Run::CheckAnswers(const Step& Current) -> void
    {
        const auto& Expect = Current.Expect;
        for (const auto& Answer : Expect.Answers)
        {
            using Relation = AnswerExpect::Relation;
            const void* Seen = Answers.at(Answer.Name);
            const auto What = "answer " + Answer.Name;
            switch (Answer.Is)
            {
            case Relation::Same:
                Check(Current, Seen == Answers.at(Answer.Other), What, "the same as " + Answer.Other,
                      Seen == Answers.at(Answer.Other) ? "the same" : "another");
                break;
            case Relation::Different:
                Check(Current, Seen != Answers.at(Answer.Other), What, "another than " + Answer.Other,
                      Seen == Answers.at(Answer.Other) ? "the same" : "another");
                break;
            case Relation::Null:
            case Relation::NotNull:
                Check(Current, (Seen == nullptr) == (Answer.Is == Relation::Null), What,
                      Answer.Is == Relation::Null ? "null" : "not null", Seen == nullptr ? "null" : "not null");
                break;
            }
        }
    }
} // namespace BRMB::Sim
