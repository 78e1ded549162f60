#include "sim/schema.hpp"

#include <algorithm>
#include <regex>

#include <nlohmann/json.hpp>
#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/constraint_builder.hpp>
#include <valijson/constraints/concrete_constraints.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include "sim/loader.hpp"

namespace BRMB::Sim
{
    namespace
    {
        // valijson matches "pattern" with std::regex's default matcher, which recurses once per
        // character: a long hex text overflows the stack. The schema's patterns are matched here
        // instead, with libstdc++'s breadth-first matcher, whose depth does not grow with the
        // text; the keyword is renamed so that valijson's own check does not run as well.
        constexpr const char* PatternKeyword = "x-brambleon-pattern";

        class LinearPattern final : public valijson::constraints::PolyConstraint
        {
        public:
            explicit LinearPattern(const std::string& Pattern)
                : Expression(std::make_shared<const std::regex>(Pattern, Flags()))
            {
            }

            auto validate(const valijson::adapters::Adapter& Target, const std::vector<std::string>& Context,
                          valijson::ValidationResults* Results) const -> bool override
            {
                if (!Target.isString() || std::regex_search(Target.asString(), *Expression))
                {
                    return true;
                }
                if (Results != nullptr)
                {
                    Results->pushError(Context, "Failed to match regex specified by 'pattern' constraint.");
                }
                return false;
            }

        private:
            static auto Flags() -> std::regex::flag_type
            {
#if defined(__GLIBCXX__)
                return std::regex::ECMAScript | std::regex_constants::__polynomial;
#else
                return std::regex::ECMAScript;
#endif
            }
            auto cloneInto(void* Memory) const -> valijson::constraints::Constraint* override
            {
                return new (Memory) LinearPattern(*this);
            }
            auto sizeOf() const -> size_t override { return sizeof(LinearPattern); }

            std::shared_ptr<const std::regex> Expression;
        };

        class LinearPatternBuilder final : public valijson::ConstraintBuilder
        {
        public:
            auto make(const valijson::adapters::Adapter& Value) const -> valijson::constraints::Constraint* override
            {
                return new LinearPattern(Value.asString());
            }
        };

        // Every "pattern" keyword (a string; a property named "pattern" would be an object) under
        // the name the builder above answers to.
        auto RenamePatterns(nlohmann::json& Node) -> void
        {
            if (Node.is_object())
            {
                if (const auto Found = Node.find("pattern"); Found != Node.end() && Found->is_string())
                {
                    Node[PatternKeyword] = *Found;
                    Node.erase("pattern");
                }
            }
            if (Node.is_structured())
            {
                for (auto& Child : Node)
                {
                    RenamePatterns(Child);
                }
            }
        }

        auto BuiltSchema() -> const valijson::Schema&
        {
            static const auto Built = [] {
                auto Schema = std::make_unique<valijson::Schema>();
                auto Document = nlohmann::json::parse(ScenarioSchema());
                RenamePatterns(Document);
                valijson::adapters::NlohmannJsonAdapter Adapter(Document);
                valijson::SchemaParser Parser;
                // The parser takes ownership of the builder.
                Parser.addConstraintBuilder(PatternKeyword, std::make_unique<LinearPatternBuilder>().release());
                Parser.populateSchema(Adapter, *Schema);
                return Schema;
            }();
            return *Built;
        }

        // valijson names a place as "<root>", "[steps]", "[2]", "[expect]": the step (1-based)
        // and the field path as the simulator's messages give them, "expect.log[0].level".
        auto Locate(const std::vector<std::string>& Context, size_t& Step) -> std::string
        {
            std::vector<std::string> Parts;
            for (const auto& Item : Context)
            {
                if (Item.size() >= 2 && Item.front() == '[' && Item.back() == ']')
                {
                    Parts.push_back(Item.substr(1, Item.size() - 2));
                }
            }
            size_t First = 0;
            Step = 0;
            if (Parts.size() >= 2 && Parts[0] == "steps" && !Parts[1].empty() &&
                Parts[1].find_first_not_of("0123456789") == std::string::npos)
            {
                Step = std::stoul(Parts[1]) + 1;
                First = 2;
            }
            std::string Field;
            for (size_t Index = First; Index < Parts.size(); ++Index)
            {
                const bool IsIndex = !Parts[Index].empty() && Parts[Index].find_first_not_of("0123456789") == std::string::npos;
                Field += IsIndex ? "[" + Parts[Index] + "]" : (Field.empty() ? "" : ".") + Parts[Index];
            }
            return Field;
        }
    } // namespace

    namespace
    {
        auto StartsWith(const std::string& Text, const char* Prefix) -> bool
        {
            return Text.rfind(Prefix, 0) == 0;
        }

        auto EndsWith(const std::string& Text, const std::string& Suffix) -> bool
        {
            return Text.size() >= Suffix.size() && Text.compare(Text.size() - Suffix.size(), Suffix.size(), Suffix) == 0;
        }

        // The name valijson quotes at the end of a description: 'stepz'.
        auto Quoted(const std::string& Description) -> std::string
        {
            const auto Last = Description.rfind('\'');
            const auto First = Last == std::string::npos || Last == 0 ? std::string::npos : Description.rfind('\'', Last - 1);
            return First == std::string::npos ? std::string() : Description.substr(First + 1, Last - First - 1);
        }

        auto Member(const std::string& Field, const std::string& Name) -> std::string
        {
            return Field.empty() ? Name : Field + "." + Name;
        }

        // "4.000000" as "4".
        auto Number(const std::string& Description) -> std::string
        {
            auto Text = Description.substr(Description.rfind(' ') + 1);
            if (const auto Dot = Text.find('.'); Dot != std::string::npos)
            {
                Text.erase(Text.find_last_not_of('0') + 1);
                if (Text.back() == '.')
                {
                    Text.pop_back();
                }
            }
            return Text;
        }

        struct Complaint
        {
            std::string Field;
            std::string Problem;
        };

        // valijson's words for one problem as the simulator says it, naming the member itself
        // where valijson names it only in its text. Step is 0 outside the steps.
        auto Translate(const std::vector<valijson::ValidationResults::Error>& AtPlace, std::string Field, size_t Step)
            -> Complaint
        {
            const auto& Description = AtPlace.front().description;
            if (StartsWith(Description, "Object contains a property that could not be validated"))
            {
                if (EndsWith(Field, "hooks"))
                {
                    return {Member(Field, Quoted(Description)), "expected a key of the form Owner.Function"};
                }
                return {Member(Field, Quoted(Description)), "unknown field"};
            }
            if (StartsWith(Description, "Missing required property"))
            {
                if (AtPlace.size() == 1)
                {
                    return {Member(Field, Quoted(Description)), "missing"};
                }
                std::string Names;
                for (size_t Index = 0; Index < AtPlace.size(); ++Index)
                {
                    Names += (Index == 0 ? "" : Index + 1 == AtPlace.size() ? " or " : ", ") + Quoted(AtPlace[Index].description);
                }
                return {Field, "needs one of " + Names};
            }
            if (StartsWith(Description, "Missing dependency"))
            {
                const auto Name = Quoted(Description);
                if (Name == "call")
                {
                    return {Field, "on, args and bytes belong to a call"};
                }
                if (Name == "export")
                {
                    return {Field, "as and with belong to an export"};
                }
                return {Member(Field, Name), "missing"};
            }
            if (StartsWith(Description, "Target should not validate against schema specified in 'not'"))
            {
                if (Step > 0 && Field.empty())
                {
                    return {Field, "a step does one of start, tick, call, export, member"};
                }
                if (EndsWith(Field, "expect"))
                {
                    return {Field, "params and paramBytes can only be expected after a call"};
                }
                return {Field, "give text or hex, not both, and neither for a folder"};
            }
            if (StartsWith(Description, "Value type not permitted"))
            {
                return {Field, "a value of the wrong type"};
            }
            if (StartsWith(Description, "Failed to match regex"))
            {
                if (EndsWith(Field, "hex"))
                {
                    return {Field, "expected pairs of hex digits"};
                }
                if (EndsWith(Field, "path"))
                {
                    return {Field, "expected an object path such as /Game/Mods/X/BP_X.BP_X_C"};
                }
                return {Field, "expected a whole number or 0x followed by up to 16 hex digits"};
            }
            if (StartsWith(Description, "Failed to match against any enum values"))
            {
                if (EndsWith(Field, "mode"))
                {
                    return {Field, "expected normal, readonly or unreadable"};
                }
                if (EndsWith(Field, "type"))
                {
                    return {Field, "unknown type (text, object, class, name, entry, int32, float, bool, objects, entries, int32s, struct, structs)"};
                }
                return {Field, "not one of the allowed values (docs/scenario.schema.json lists them)"};
            }
            if (StartsWith(Description, "Object should have no more than") ||
                StartsWith(Description, "Object should have no fewer than"))
            {
                return {Field, "give exactly one field"};
            }
            if (StartsWith(Description, "Expected number less than or equal to"))
            {
                return {Field, "must be at most " + Number(Description)};
            }
            if (StartsWith(Description, "Expected number greater than or equal to"))
            {
                return {Field, "must be at least " + Number(Description)};
            }
            if (StartsWith(Description, "Expected number greater than"))
            {
                return {Field, "must be above " + Number(Description)};
            }
            if (StartsWith(Description, "Expected number less than"))
            {
                return {Field, "must be below " + Number(Description)};
            }
            if (StartsWith(Description, "Failed to validate against any child schemas allowed by oneOf"))
            {
                return {Field, "expected exactly one of its alternatives"};
            }
            return {Field, Description};
        }
    } // namespace

    namespace
    {
        // valijson matches "patternProperties" keys (Owner.Function of "hooks") with std::regex
        // directly; no real key comes near this length.
        constexpr size_t LongestKey = 1000;

        // The length of the first key longer than that, or 0. A loop rather than recursion: the
        // document's depth is the user's.
        auto LongKey(const nlohmann::json& Document) -> size_t
        {
            std::vector<const nlohmann::json*> Pending{&Document};
            while (!Pending.empty())
            {
                const auto* Node = Pending.back();
                Pending.pop_back();
                if (Node->is_object())
                {
                    for (const auto& Item : Node->items())
                    {
                        if (Item.key().size() > LongestKey)
                        {
                            return Item.key().size();
                        }
                    }
                }
                if (Node->is_structured())
                {
                    for (const auto& Child : *Node)
                    {
                        Pending.push_back(&Child);
                    }
                }
            }
            return 0;
        }
    } // namespace

    auto CheckSchema(const nlohmann::json& Document, const std::string& File) -> void
    {
        if (const auto Length = LongKey(Document); Length != 0)
        {
            throw InvalidScenario(File, 0, "", "a field name of " + std::to_string(Length) +
                                                   " characters; at most " + std::to_string(LongestKey) + " are read");
        }
        valijson::Validator Validator;
        valijson::ValidationResults Results;
        valijson::adapters::NlohmannJsonAdapter Adapter(Document);
        if (Validator.validate(BuiltSchema(), Adapter, &Results))
        {
            return;
        }
        // The deepest complaint is the most precise one: a wrong member rather than its object
        // failing to match. valijson's summaries of nested failures ("Failed to validate ...")
        // only count when nothing more precise was said, and a wrong type of one alternative
        // only when no alternative said more.
        std::vector<valijson::ValidationResults::Error> Errors;
        valijson::ValidationResults::Error Error;
        while (Results.popError(Error))
        {
            Errors.push_back(Error);
        }
        const auto Rank = [](const valijson::ValidationResults::Error& Item) {
            const bool Summary = StartsWith(Item.description, "Failed to validate");
            const bool Type = StartsWith(Item.description, "Value type not permitted");
            return std::make_pair(Summary ? 0 : 1, Item.context.size() * 2 + (Type ? 0 : 1));
        };
        const auto Best = *std::max_element(Errors.begin(), Errors.end(), [&](const auto& Left, const auto& Right) {
            return Rank(Left) < Rank(Right);
        });
        // Every complaint of the same kind at the same place: the alternatives of one "needs one of".
        std::vector<valijson::ValidationResults::Error> AtPlace{Best};
        if (StartsWith(Best.description, "Missing required property"))
        {
            AtPlace.clear();
            for (const auto& Item : Errors)
            {
                if (Item.context == Best.context && StartsWith(Item.description, "Missing required property"))
                {
                    AtPlace.push_back(Item);
                }
            }
        }
        size_t Step = 0;
        const auto Field = Locate(Best.context, Step);
        const auto Said = Translate(AtPlace, Field, Step);
        throw InvalidScenario(File, Step, Said.Field, Said.Problem);
    }
} // namespace BRMB::Sim
