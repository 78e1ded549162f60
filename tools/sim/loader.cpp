// Scenario files to Scenario. The format is stated once, in the shapes below: each field names its
// key, its JSON Schema and where it goes in the Scenario. The schema the files are checked against
// (and docs/scenario.schema.json, which is its output) is written from the shapes, and the same
// shapes read a checked file, so only what a schema cannot say is checked while reading. Every
// field is read through a Node that knows its JSON path, so any complaint names the file, the step
// and the field.
#include "sim/loader.hpp"

#include <array>
#include <concepts>
#include <fstream>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sim/paths.hpp"
#include "sim/schema.hpp"

namespace BRMB::Sim
{
    namespace
    {
        using Json = nlohmann::json;
        using Rule = nlohmann::ordered_json;

        struct Where
        {
            const std::string& File;
            size_t Step = 0;
        };

        // A JSON value with its path, relative to the step when inside one.
        class Node
        {
        public:
            Node(const Json& InValue, std::string InPath, Where& InAt) : Value(InValue), Path(std::move(InPath)), At(InAt) {}

            [[noreturn]] auto Fail(const std::string& Message) const -> void
            {
                throw InvalidScenario(At.File, At.Step, Path, Message);
            }

            [[nodiscard]] auto Raw() const -> const Json& { return Value; }
            [[nodiscard]] auto IsString() const -> bool { return Value.is_string(); }
            [[nodiscard]] auto IsNull() const -> bool { return Value.is_null(); }

            [[nodiscard]] auto Child(std::string_view Key) const -> Node
            {
                return {Value.at(std::string(Key)), Path.empty() ? std::string(Key) : Path + "." + std::string(Key), At};
            }
            [[nodiscard]] auto Has(std::string_view Key) const -> bool { return Value.contains(std::string(Key)); }

            [[nodiscard]] auto Items() const -> std::vector<Node>
            {
                std::vector<Node> Result;
                for (size_t Index = 0; Index < Value.size(); ++Index)
                {
                    Result.emplace_back(Value[Index], Path + "[" + std::to_string(Index) + "]", At);
                }
                return Result;
            }

            // Fields of an object (nlohmann keeps them sorted; order does not matter where this is used).
            [[nodiscard]] auto Members() const -> std::vector<std::pair<std::string, Node>>
            {
                std::vector<std::pair<std::string, Node>> Result;
                for (const auto& Item : Value.items())
                {
                    Result.emplace_back(Item.key(), Child(Item.key()));
                }
                return Result;
            }

            // The schema has checked every type and range already.
            [[nodiscard]] auto String() const -> std::string { return Value.get<std::string>(); }
            [[nodiscard]] auto Number() const -> double { return Value.get<double>(); }
            template <typename Integer>
            [[nodiscard]] auto Whole() const -> Integer
            {
                return static_cast<Integer>(Value.get<int64_t>());
            }
            [[nodiscard]] auto Boolean() const -> bool { return Value.get<bool>(); }

        private:
            const Json& Value;
            std::string Path;
            Where& At;
        };

        // Plain members read by their C++ type; vectors gain the items, optionals are replaced.
        auto Assign(const Node& From, std::string& To) -> void { To = From.String(); }
        auto Assign(const Node& From, bool& To) -> void { To = From.Boolean(); }
        auto Assign(const Node& From, double& To) -> void { To = From.Number(); }
        template <std::integral Integer>
        auto Assign(const Node& From, Integer& To) -> void
        {
            To = From.Whole<Integer>();
        }
        template <typename Item>
        auto Assign(const Node& From, std::optional<Item>& To) -> void
        {
            Assign(From, To.emplace());
        }
        template <typename Item>
        auto Assign(const Node& From, std::vector<Item>& To) -> void
        {
            for (const auto& Each : From.Items())
            {
                Assign(Each, To.emplace_back());
            }
        }

        auto Parse(const char* Text) -> Rule
        {
            return Rule::parse(Text);
        }

        auto Described(Rule Schema, const char* Description) -> Rule
        {
            if (Description != nullptr)
            {
                Schema["description"] = Description;
            }
            return Schema;
        }

        auto Ref(const char* Definition, const char* Description = nullptr) -> Rule
        {
            return Described({{"$ref", std::string("#/definitions/") + Definition}}, Description);
        }

        auto ArrayOf(Rule Items) -> Rule
        {
            return {{"type", "array"}, {"items", std::move(Items)}};
        }

        // The names of an enumeration, as the schema admits them.
        template <typename Enum>
        auto EnumOf(const std::vector<std::pair<std::string, Enum>>& Names, const char* Description = nullptr) -> Rule
        {
            Rule Result{{"enum", Rule::array()}};
            for (const auto& Each : Names)
            {
                Result["enum"].push_back(Each.first);
            }
            return Described(std::move(Result), Description);
        }

        // A JSON object of the format: its fields, and the rules that tie them together.
        template <typename Owner>
        struct Shape
        {
            struct Field
            {
                std::string Key;
                Rule Schema;
                std::function<void(const Node&, Owner&)> Read;
            };

            std::vector<Field> Fields;
            Rule Rules = Rule::object(); // keywords beside "properties": required, oneOf, not, ...
            std::function<void(const Node&, Owner&)> Finish = nullptr; // what the schema cannot say

            [[nodiscard]] auto Schema() const -> Rule
            {
                Rule Result{{"type", "object"}, {"additionalProperties", false}};
                Result.update(Rules);
                auto& Properties = Result["properties"] = Rule::object();
                for (const auto& Each : Fields)
                {
                    Properties[Each.Key] = Each.Schema;
                }
                return Result;
            }

            auto Read(const Node& From, Owner& To) const -> void
            {
                for (const auto& Each : Fields)
                {
                    if (From.Has(Each.Key))
                    {
                        Each.Read(From.Child(Each.Key), To);
                    }
                }
                if (Finish)
                {
                    Finish(From, To);
                }
            }
        };

        // Objects of which exactly one shape matches.
        template <typename Owner>
        auto Alternatives(const std::vector<Shape<Owner>>& Shapes) -> Rule
        {
            Rule Result{{"oneOf", Rule::array()}};
            for (const auto& Each : Shapes)
            {
                Result["oneOf"].push_back(Each.Schema());
            }
            return Result;
        }

        // The schema let exactly one alternative match; the others' fields are absent.
        template <typename Owner>
        auto ReadAlternatives(const std::vector<Shape<Owner>>& Shapes, const Node& From, Owner& To) -> void
        {
            for (const auto& Each : Shapes)
            {
                Each.Read(From, To);
            }
        }

        template <typename Item>
        constexpr bool IsList = false;
        template <typename Item>
        constexpr bool IsList<std::vector<Item>> = true;

        // A field read into a member by its type, or through Convert; vectors gain the items (a
        // platform's expectations add to the others), anything else is replaced.
        template <typename Owner, typename Member>
        auto Put(const char* Key, Member Owner::*To, Rule Schema) -> typename Shape<Owner>::Field
        {
            return {Key, std::move(Schema), [To](const Node& From, Owner& Into) { Assign(From, Into.*To); }};
        }
        template <typename Owner, typename Member, typename Converter>
        auto Put(const char* Key, Member Owner::*To, Rule Schema, Converter Convert) -> typename Shape<Owner>::Field
        {
            return {Key, std::move(Schema), [To, Convert](const Node& From, Owner& Into) {
                        auto Read = Convert(From);
                        if constexpr (IsList<Member>)
                        {
                            (Into.*To).insert((Into.*To).end(), Read.begin(), Read.end());
                        }
                        else
                        {
                            Into.*To = std::move(Read);
                        }
                    }};
        }
        // A field that does more than fill one member.
        template <typename Owner>
        auto Do(const char* Key, Rule Schema, std::function<void(const Node&, Owner&)> Read) -> typename Shape<Owner>::Field
        {
            return {Key, std::move(Schema), std::move(Read)};
        }

        // An object whose members, keyed by a name of the scenario, are each read into an item of a
        // list that remembers the key.
        template <typename Owner, typename Item>
        auto Keyed(const char* Key, std::vector<Item> Owner::*To, std::string Item::*Name,
                   const std::vector<Shape<Item>>& Shapes, const char* Description = nullptr) -> typename Shape<Owner>::Field
        {
            return {Key, Described({{"type", "object"}, {"additionalProperties", Alternatives(Shapes)}}, Description),
                    [To, Name, &Shapes](const Node& From, Owner& Into) {
                        for (const auto& [Label, Each] : From.Members())
                        {
                            auto& Read = (Into.*To).emplace_back();
                            Read.*Name = Label;
                            ReadAlternatives(Shapes, Each, Read);
                        }
                    }};
        }

        // A list of objects of one shape.
        template <typename Owner>
        auto ListOf(const Shape<Owner>& Layout)
        {
            return [&Layout](const Node& From) {
                std::vector<Owner> Result;
                for (const auto& Item : From.Items())
                {
                    Layout.Read(Item, Result.emplace_back());
                }
                return Result;
            };
        }

        // An 8-byte entry: a whole number (negative ones as two's complement) or "0x" hex text.
        auto ReadEntry(const Node& From) -> uint64_t
        {
            if (From.IsString())
            {
                return std::stoull(From.String().substr(2), nullptr, 16);
            }
            if (From.Raw().is_number_unsigned())
            {
                return From.Raw().get<uint64_t>();
            }
            return static_cast<uint64_t>(From.Whole<int64_t>());
        }

        auto ReadEntries(const Node& From) -> std::vector<uint64_t>
        {
            std::vector<uint64_t> Result;
            for (const auto& Item : From.Items())
            {
                Result.push_back(ReadEntry(Item));
            }
            return Result;
        }

        // Hex digits, blanks allowed between bytes.
        auto ReadHex(const Node& From) -> std::string
        {
            std::string Digits;
            for (const char Char : From.String())
            {
                if (Char != ' ')
                {
                    Digits += Char;
                }
            }
            std::string Bytes;
            for (size_t Index = 0; Index < Digits.size(); Index += 2)
            {
                Bytes += static_cast<char>(std::stoi(Digits.substr(Index, 2), nullptr, 16));
            }
            return Bytes;
        }

        auto ReadReference(const Node& From) -> Value
        {
            return Value{Type::Object, From.IsNull() ? "" : From.String(), From.IsNull(), 0, {}, {}, {}};
        }

        // The "path" of a file the scenario makes or checks: relative, inside the working folder.
        auto ReadWorkdirPath(const Node& From) -> std::string
        {
            if (!IsInsideWorkdir(From.String()))
            {
                From.Fail("must be a relative path inside the working folder");
            }
            return From.String();
        }

        const std::array<const char*, 3> LibraryKeys = {"VEXA", "VEXA_Anim", "BRMB"};

        const std::vector<std::pair<std::string, Type>> TypeNames = {
            {"text", Type::Text},       {"object", Type::Object},   {"class", Type::Class},    {"name", Type::Name},
            {"entry", Type::Entry},     {"int32", Type::Int32},     {"float", Type::Float},    {"bool", Type::Bool},
            {"objects", Type::Objects}, {"entries", Type::Entries}, {"int32s", Type::Int32s},  {"classes", Type::Classes},
            {"struct", Type::Struct},   {"structs", Type::Structs},
        };

        // A name of the enumeration the schema admits.
        template <typename Enum>
        auto OneOfNames(const std::vector<std::pair<std::string, Enum>>& Names)
        {
            return [&Names](const Node& From) {
                const auto Text = From.String();
                for (const auto& [Name, Item] : Names)
                {
                    if (Name == Text)
                    {
                        return Item;
                    }
                }
                return Names.front().second;
            };
        }

        auto HeaderShape() -> const Shape<Header>&
        {
            static const Shape<Header> Layout{
                {Put("num", &Header::Num, Ref("int32")), Put("max", &Header::Max, Ref("int32"))},
                Parse(R"({"description": "A corrupt engine array header over no storage: num below 0 or above max.",
                          "required": ["num", "max"]})"),
                [](const Node& From, const Header& Read) {
                    // Without storage: inconsistent, or claiming room it does not have; (0, 0) is merely empty.
                    if (Read.Num == 0 && Read.Max == 0)
                    {
                        From.Fail("a header without storage needs num below 0, num above max or max above 0");
                    }
                }};
            return Layout;
        }

        auto ReadHeader(const Node& From) -> Header
        {
            Header Result;
            HeaderShape().Read(From, Result);
            return Result;
        }

        auto BytesAtShape() -> const Shape<BytesAt>&
        {
            static const Shape<BytesAt> Layout{
                {Put("offset", &BytesAt::Offset, Parse(R"({"type": "integer", "minimum": 0, "maximum": 4096})")),
                 Put("hex", &BytesAt::Bytes, Ref("hex"), ReadHex)},
                Parse(R"({"required": ["offset", "hex"]})")};
            return Layout;
        }

        // "capacity" and "count" beside a list of elements: the array laid out exactly.
        template <typename Owner>
        auto ExactFields(std::optional<ExactArray> Owner::*To, const char* CapacityDescription = nullptr,
                         const char* CountDescription = nullptr) -> std::vector<typename Shape<Owner>::Field>
        {
            const auto Part = [To](std::optional<int32_t> ExactArray::*Member) {
                return [To, Member](const Node& From, Owner& Into) {
                    auto& Exact = Into.*To;
                    if (!Exact)
                    {
                        Exact.emplace();
                    }
                    (*Exact).*Member = From.Whole<int32_t>();
                };
            };
            return {Do<Owner>("capacity", Ref("count", CapacityDescription), Part(&ExactArray::Capacity)),
                    Do<Owner>("count", Ref("int32", CountDescription), Part(&ExactArray::Count))};
        }

        template <typename Owner>
        auto Joined(std::vector<typename Shape<Owner>::Field> Fields, const std::vector<typename Shape<Owner>::Field>& More)
        {
            Fields.insert(Fields.end(), More.begin(), More.end());
            return Fields;
        }

        // A typed value: plain text, or an object with exactly one of its alternatives.
        auto ValueAlternatives() -> const std::vector<Shape<Value>>&
        {
            const auto Reference = [](Type Kind) {
                return [Kind](const Node& From, Value& Into) {
                    Into.Kind = Kind;
                    Into.Null = From.IsNull();
                    Into.Text = Into.Null ? "" : From.String();
                };
            };
            static const std::vector<Shape<Value>> Alternatives = {
                {{Do<Value>("text", Parse(R"({"type": ["string", "null"]})"),
                            [](const Node& From, Value& Into) {
                                Into.Null = From.IsNull();
                                Into.Text = Into.Null ? "" : From.String();
                            })},
                 Parse(R"({"required": ["text"]})")},
                {{Do<Value>("utf16", Parse(R"({"type": "array", "items": {"type": "integer", "minimum": 0, "maximum": 65535}})"),
                            [](const Node& From, Value& Into) {
                                auto& Units = Into.Units.emplace();
                                for (const auto& Unit : From.Items())
                                {
                                    Units.push_back(static_cast<char16_t>(Unit.Whole<int64_t>()));
                                }
                            }),
                  Put("count", &Value::Count,
                      Parse(R"({"type": "integer", "minimum": 0, "maximum": 2147483647,
                                "description": "The engine string's count; the units and their NUL when not given."})"))},
                 Parse(R"({"required": ["utf16"]})"),
                 [](const Node& From, const Value& Read) {
                     if (Read.Count && *Read.Count > static_cast<int32_t>(Read.Units->size()) + 1)
                     {
                         From.Child("count").Fail("runs past the units and their NUL");
                     }
                 }},
                {{Put("names", &Value::Names, Parse(R"({"type": "array", "items": {"type": "string"}})"))},
                 Parse(R"({"required": ["names"]})")},
                {{Do<Value>("object", Ref("reference"), Reference(Type::Object))}, Parse(R"({"required": ["object"]})")},
                {{Do<Value>("class", Ref("reference"), Reference(Type::Class))}, Parse(R"({"required": ["class"]})")},
                {{Do<Value>("name", Parse(R"({"type": "string"})"),
                            [](const Node& From, Value& Into) {
                                Into.Kind = Type::Name;
                                Into.Text = From.String();
                            })},
                 Parse(R"({"required": ["name"]})")},
                {{Do<Value>("entry", Ref("entry"),
                            [](const Node& From, Value& Into) {
                                Into.Kind = Type::Entry;
                                Into.Entry = ReadEntry(From);
                            })},
                 Parse(R"({"required": ["entry"]})")},
            };
            return Alternatives;
        }

        auto ReadValue(const Node& From) -> Value
        {
            Value Result;
            if (From.IsString())
            {
                Result.Text = From.String();
                return Result;
            }
            ReadAlternatives(ValueAlternatives(), From, Result);
            return Result;
        }

        // Named values: arguments of a call, or expected parameters.
        auto ReadNamedValues(const Node& From) -> std::vector<ParamExpect>
        {
            std::vector<ParamExpect> Result;
            for (const auto& [Name, Item] : From.Members())
            {
                Result.push_back({Name, ReadValue(Item)});
            }
            return Result;
        }

        auto ParamShape() -> const Shape<ParamDecl>&
        {
            static const std::vector<std::pair<std::string, ParamDirection>> Directions = {
                {"in", ParamDirection::In}, {"out", ParamDirection::Out}, {"local", ParamDirection::Local}};
            static const Shape<ParamDecl> Layout{
                {Put("name", &ParamDecl::Name, Ref("name")),
                 Put("type", &ParamDecl::Kind, Ref("type"), OneOfNames(TypeNames)),
                 Put("offset", &ParamDecl::Offset,
                     Parse(R"({"type": "integer", "minimum": 0, "maximum": 4096,
                               "description": "The next free offset when missing."})")),
                 Put("struct", &ParamDecl::Struct, Ref("name", "Of struct and structs: a structure declared before.")),
                 Put("class", &ParamDecl::Class,
                     Ref("name", "Of object and objects: the class referred to; of class: the class named. A class "
                                 "declared before (or a standard one); Object when missing.")),
                 Put("direction", &ParamDecl::Direction,
                     EnumOf(Directions, "Of a function's parameter: an input (the default), an output, or a Blueprint local variable."),
                     OneOfNames(Directions))},
                Parse(R"({"required": ["name", "type"]})")};
            return Layout;
        }

        auto FunctionShape() -> const Shape<FunctionDecl>&
        {
            static const Shape<FunctionDecl> Layout{
                {Put("name", &FunctionDecl::Name, Ref("name")),
                 Put("params", &FunctionDecl::Params, Ref("params"), ListOf(ParamShape()))},
                Parse(R"({"required": ["name"]})")};
            return Layout;
        }

        auto LibraryShape() -> const Shape<LibraryDecl>&
        {
            static const Shape<LibraryDecl> Layout{
                {Put("loadAt", &LibraryDecl::LoadAt,
                     Parse(R"({"type": "number", "minimum": 0, "description": "Engine seconds from which the library is loaded."})")),
                 Put("lacks", &LibraryDecl::Lacks, Ref("names", "Functions the library does not declare.")),
                 Put("functions", &LibraryDecl::Functions,
                     Ref("functions", "Functions of the library declared with these parameters instead of the standard ones."),
                     ListOf(FunctionShape()))}};
            return Layout;
        }

        // One of the three libraries, by its index in Scenario::Libraries.
        auto Library(size_t Index) -> Shape<Scenario>::Field
        {
            return Do<Scenario>(LibraryKeys[Index], Ref("library"), [Index](const Node& From, Scenario& Into) {
                auto& Library = Into.Libraries[Index];
                if (From.Raw().is_boolean())
                {
                    Library.Present = From.Boolean();
                }
                else
                {
                    LibraryShape().Read(From, Library);
                }
            });
        }

        auto StructShape() -> const Shape<StructDecl>&
        {
            static const Shape<StructDecl> Layout{
                {Put("name", &StructDecl::Name, Ref("name")),
                 Put("size", &StructDecl::Size, Parse(R"({"type": "integer", "minimum": 1, "maximum": 4096})")),
                 Put("members", &StructDecl::Members, Ref("params"), ListOf(ParamShape()))},
                Parse(R"({"required": ["name", "members"]})")};
            return Layout;
        }

        auto ClassShape() -> const Shape<ClassDecl>&
        {
            static const Shape<ClassDecl> Layout{
                {Put("name", &ClassDecl::Name, Ref("name")),
                 Put("path", &ClassDecl::Path,
                     Parse(R"({"type": "string", "pattern": "^/.*\\.[^.]+$",
                               "description": "An object path such as /Game/Mods/X/BP_X.BP_X_C."})")),
                 Put("like", &ClassDecl::Like, Ref("name")),
                 Put("lacks", &ClassDecl::Lacks, Ref("names")),
                 Put("functions", &ClassDecl::Functions,
                     Ref("functions", "Functions of the class; for a standard class, its own functions declared with "
                                      "these parameters instead of the standard ones."),
                     ListOf(FunctionShape())),
                 Put("variables", &ClassDecl::Variables, Ref("params"), ListOf(ParamShape())),
                 Put("parent", &ClassDecl::Parent,
                     Ref("name", "A class declared before this one (or a standard one) that this one derives from."))},
                Parse(R"({"anyOf": [{"required": ["name"]}, {"required": ["path"]}]})"),
                [](const Node& From, ClassDecl& Read) {
                    if (!From.Has("path"))
                    {
                        Read.Path = "/Game/Mods/Scenario/" + Read.Name + "." + Read.Name;
                        return;
                    }
                    const auto Name = Read.Path.substr(Read.Path.rfind('.') + 1);
                    if (From.Has("name") && Read.Name != Name)
                    {
                        From.Child("name").Fail("differs from the name at the end of path (" + Name + ")");
                    }
                    Read.Name = Name;
                }};
            return Layout;
        }

        // Initial values of an object's variables, by variable name.
        auto VariableInitAlternatives() -> const std::vector<Shape<VariableInit>>&
        {
            static const std::vector<Shape<VariableInit>> Alternatives = {
                {{Put("object", &VariableInit::One, Ref("reference"), ReadReference)}, Parse(R"({"required": ["object"]})")},
                {Joined<VariableInit>({Put("objects", &VariableInit::Many, Ref("names"))}, ExactFields(&VariableInit::Exact)),
                 Parse(R"({"required": ["objects"],
                           "description": "The array laid out exactly when capacity or count is given: storage for capacity elements, and count in the header (also a corrupt one over that storage)."})")},
                {{Put("header", &VariableInit::CorruptHeader, Ref("header"), ReadHeader)}, Parse(R"({"required": ["header"]})")},
                {{Put("hex", &VariableInit::Bytes,
                      Ref("hex", "Raw bytes from the variable's start, for a variable of a plain type or a structure."), ReadHex)},
                 Parse(R"({"required": ["hex"]})")},
            };
            return Alternatives;
        }

        auto ObjectShape() -> const Shape<ObjectDecl>&
        {
            static const Shape<ObjectDecl> Layout{
                {Put("name", &ObjectDecl::Name, Ref("name")), Put("class", &ObjectDecl::Class, Ref("name")),
                 Keyed("variables", &ObjectDecl::Variables, &VariableInit::Variable, VariableInitAlternatives())},
                Parse(R"({"required": ["name", "class"]})")};
            return Layout;
        }

        auto SelectionSetShape() -> const Shape<SelectionSetDecl>&
        {
            static const Shape<SelectionSetDecl> Layout{Joined<SelectionSetDecl>(
                {Put("stateGroupId", &SelectionSetDecl::StateGroupId, Parse(R"({"type": "string"})")),
                 Put("entries", &SelectionSetDecl::Entries, Ref("entries"), ReadEntries),
                 Put("entriesHeader", &SelectionSetDecl::CorruptEntries, Ref("header"), ReadHeader)},
                ExactFields(&SelectionSetDecl::Exact, "Lay the entries out exactly: storage for this many.",
                            "The header's count, apart from the entries given (a corrupt header over real storage)."))};
            return Layout;
        }

        auto RowShape() -> const Shape<RowDecl>&
        {
            static const Shape<RowDecl> Layout{
                {Put("name", &RowDecl::Name, Ref("name")), Put("id", &RowDecl::Id, Parse(R"({"type": "string"})")),
                 Put("selectionSets", &RowDecl::Sets, ArrayOf(SelectionSetShape().Schema()), ListOf(SelectionSetShape())),
                 Put("selectionSetHeader", &RowDecl::CorruptSets, Ref("header"), ReadHeader),
                 Put("bytes", &RowDecl::Bytes, Ref("bytesAt", "Bytes written over the row last (filler between members, say)."),
                     ListOf(BytesAtShape())),
                 Put("values", &RowDecl::Values,
                     Parse(R"({"type": "object",
                               "description": "A row of a scenario structure: its members' values (numbers, names, lists of numbers, structures and lists of structures)."})"),
                     [](const Node& From) { return From.Raw().dump(); })},
                Parse(R"({"required": ["name"]})"),
                [](const Node& From, RowDecl& Read) {
                    if (!From.Has("id"))
                    {
                        Read.Id = Read.Name;
                    }
                }};
            return Layout;
        }

        auto TableShape() -> const Shape<TableDecl>&
        {
            static const Shape<TableDecl> Layout{
                {Put("name", &TableDecl::Name, Ref("name")), Put("path", &TableDecl::Path, Ref("name")),
                 Put("rowStruct", &TableDecl::RowStruct, Ref("name")),
                 Put("rows", &TableDecl::Rows, ArrayOf(RowShape().Schema()), ListOf(RowShape()))},
                Parse(R"({"required": ["name"]})"),
                [](const Node& From, TableDecl& Read) {
                    if (!From.Has("path"))
                    {
                        Read.Path = "/Game/Data/" + Read.Name + "." + Read.Name;
                    }
                    if (!From.Has("rowStruct"))
                    {
                        Read.RowStruct = "ObjectSelectionRow";
                    }
                }};
            return Layout;
        }

        auto BlueprintShape() -> const Shape<Scenario>&
        {
            static const Shape<Scenario> Filler{
                {Put("objects", &Scenario::FillerObjects, Parse(R"({"type": "integer", "minimum": 0, "maximum": 1000000})")),
                 Put("packages", &Scenario::FillerPackages,
                     Parse(R"({"type": "integer", "minimum": 1, "maximum": 100000,
                               "description": "Packages the objects are spread over; one per 1,000 objects when left out."})"))},
                Parse(R"({"required": ["objects"],
                          "description": "A game's worth of other live objects, in the object array before the Blueprint half, so that a search of the array costs what it costs in a game."})")};
            static const Shape<Scenario> Libraries{{Library(0), Library(1), Library(2)}};
            static const Shape<Scenario> Layout{
                {Do<Scenario>("filler", Filler.Schema(), [](const Node& From, Scenario& Into) { Filler.Read(From, Into); }),
                 Do<Scenario>("libraries", Libraries.Schema(),
                              [](const Node& From, Scenario& Into) { Libraries.Read(From, Into); }),
                 Put("structs", &Scenario::Structs, ArrayOf(StructShape().Schema()), ListOf(StructShape())),
                 Put("classes", &Scenario::Classes, ArrayOf(ClassShape().Schema()), ListOf(ClassShape())),
                 Put("objects", &Scenario::Objects, ArrayOf(ObjectShape().Schema()), ListOf(ObjectShape())),
                 Put("dataTables", &Scenario::Tables, ArrayOf(TableShape().Schema()), ListOf(TableShape()))}};
            return Layout;
        }

        auto FileShape() -> const Shape<FileDecl>&
        {
            static const std::vector<std::pair<std::string, FileMode>> Modes = {
                {"normal", FileMode::Normal}, {"readonly", FileMode::ReadOnly}, {"unreadable", FileMode::Unreadable}};
            static const Shape<FileDecl> Layout{
                {Put("path", &FileDecl::Path, Ref("path"), ReadWorkdirPath),
                 Put("folder", &FileDecl::Folder, Parse(R"({"type": "boolean"})")),
                 Put("text", &FileDecl::Bytes, Parse(R"({"type": "string"})")),
                 Put("hex", &FileDecl::Bytes, Ref("hex"), ReadHex),
                 Put("mode", &FileDecl::Mode, EnumOf(Modes), OneOfNames(Modes))},
                Parse(R"({"required": ["path"], "not": {"required": ["text", "hex"]},
                          "if": {"properties": {"folder": {"const": true}}, "required": ["folder"]},
                          "then": {"not": {"anyOf": [{"required": ["text"]}, {"required": ["hex"]}]}}})")};
            return Layout;
        }

        auto FaultShape() -> const Shape<FaultDecl>&
        {
            static const Shape<FaultDecl> Layout{
                {Put("registerHookFails", &FaultDecl::RegisterHookFails,
                     Ref("names", "RegisterHook answers (0, 0) for these functions.")),
                 Put("noLogDevices", &FaultDecl::NoLogDevices,
                     Parse(R"({"type": "boolean", "description": "The host has no log device at all."})")),
                 Put("registerHookThrows", &FaultDecl::RegisterHookThrows,
                     Ref("names", "RegisterHook throws std::runtime_error for these functions, as current hosts do.")),
                 Put("noEngineTick", &FaultDecl::NoEngineTick,
                     Parse(R"({"type": "boolean", "description": "The host could not hook the game's engine tick: engine-tick callbacks register but never run."})")),
                 Put("noProcessEvent", &FaultDecl::NoProcessEvent,
                     Parse(R"({"type": "boolean", "description": "The host could not hook ProcessEvent: ProcessEvent callbacks register but never run."})"))}};
            return Layout;
        }

        auto LineShape() -> const Shape<LineMatch>&
        {
            static const Shape<LineMatch> Layout{
                {Put("text", &LineMatch::Text, Parse(R"({"type": "string"})")),
                 Do<LineMatch>("contains", Parse(R"({"type": "string"})"),
                               [](const Node& From, LineMatch& Into) {
                                   Into.Text = From.String();
                                   Into.Part = true;
                               }),
                 Put("level", &LineMatch::Level, Parse(R"({"type": "integer", "minimum": 0, "maximum": 4})")),
                 Put("newline", &LineMatch::Newline,
                     Parse(R"({"type": "boolean", "description": "Whether the line ends with its newline; not checked when missing."})"))},
                Parse(R"({"oneOf": [{"required": ["text"]}, {"required": ["contains"]}]})")};
            return Layout;
        }

        auto Assign(const Node& From, LineMatch& To) -> void
        {
            if (From.IsString())
            {
                To.Text = From.String();
                return;
            }
            LineShape().Read(From, To);
        }

        auto VariableExpectShape() -> const Shape<VariableExpect>&
        {
            static const Shape<VariableExpect> Layout{
                {Put("object", &VariableExpect::One, Ref("reference"), ReadReference),
                 Put("objectOfClass", &VariableExpect::OfClass, Ref("name")),
                 Put("objects", &VariableExpect::Many, Ref("names")),
                 Put("capacity", &VariableExpect::Capacity, Ref("count")),
                 Put("moved", &VariableExpect::Moved,
                     Parse(R"({"type": "boolean", "description": "The array's storage is another than before the step."})")),
                 Put("as", &VariableExpect::As, Ref("name", "Names the object found, for later steps.")),
                 Put("outer", &VariableExpect::Outer, Ref("reference", "The outer of the object found."), ReadReference),
                 Put("count", &VariableExpect::Count, Ref("int32", "The header's count, also when the header is corrupt.")),
                 Put("hex", &VariableExpect::Bytes, Ref("hex", "The variable's first bytes, of any type."), ReadHex)},
                Parse(R"({"minProperties": 1,
                          "oneOf": [{"required": ["object"]}, {"required": ["objectOfClass"]},
                                    {"anyOf": [{"required": ["objects"]}, {"required": ["capacity"]},
                                               {"required": ["moved"]}, {"required": ["count"]}]},
                                    {"required": ["hex"]}]})")};
            return Layout;
        }

        // One selection set's expectations: at "set" of a row, or each of "sets".
        template <typename Owner>
        auto SetFields() -> std::vector<typename Shape<Owner>::Field>
        {
            return {Put("entries", &Owner::Entries, Ref("entries"), ReadEntries),
                    Put("capacity", &Owner::Capacity, Ref("count")),
                    Put("moved", &Owner::Moved, Parse(R"({"type": "boolean"})")),
                    Put("count", &Owner::Count, Ref("int32", "The header's count, also when the header is corrupt."))};
        }

        auto SetExpectShape() -> const Shape<RowExpect>&
        {
            static const Shape<RowExpect> Layout{SetFields<RowExpect>()};
            return Layout;
        }

        auto RowExpectShape() -> const Shape<RowExpect>&
        {
            static const Shape<RowExpect> Layout{
                Joined<RowExpect>(
                    {Do<RowExpect>("set", Parse(R"({"type": "integer", "minimum": 0, "maximum": 1024})"),
                                   [](const Node& From, RowExpect& Into) { Into.Set = From.Whole<size_t>(); }),
                     Do<RowExpect>("sets", Described(ArrayOf(SetExpectShape().Schema()), "Several selection sets from the first on."),
                                   [](const Node&, RowExpect&) {}),
                     Put("bytes", &RowExpect::Bytes, Ref("bytesAt", "Bytes of the row itself."), ListOf(BytesAtShape())),
                     Put("unchanged", &RowExpect::Unchanged,
                         Parse(R"({"const": true, "description": "Every byte of the row as before the step."})"))},
                    SetFields<RowExpect>()),
                Parse(R"({"minProperties": 1})")};
            return Layout;
        }

        // A row's expectations, then one for each of its "sets".
        auto ReadRowExpects(const std::string& Table, const std::string& Row, const Node& From, std::vector<RowExpect>& To)
        {
            const auto Finish = [](RowExpect& Read) {
                if (!Read.Set && (Read.Entries || Read.Capacity || Read.Count || Read.Moved))
                {
                    Read.Set = 0;
                }
            };
            auto& Whole = To.emplace_back(RowExpect{Table, Row, std::nullopt, {}, {}, {}, {}, {}, false});
            RowExpectShape().Read(From, Whole);
            Finish(Whole);
            if (From.Has("sets"))
            {
                const auto Sets = From.Child("sets").Items();
                for (size_t Index = 0; Index < Sets.size(); ++Index)
                {
                    auto& Set = To.emplace_back(RowExpect{Table, Row, Index, {}, {}, {}, {}, {}, false});
                    SetExpectShape().Read(Sets[Index], Set);
                }
            }
        }

        auto FileExpectShape() -> const Shape<FileExpect>&
        {
            static const Shape<FileExpect> Layout{
                {Put("path", &FileExpect::Path, Ref("path"), ReadWorkdirPath),
                 Put("exists", &FileExpect::Exists, Parse(R"({"type": "boolean"})")),
                 Put("folder", &FileExpect::Folder, Parse(R"({"type": "boolean"})")),
                 Put("text", &FileExpect::Bytes, Parse(R"({"type": "string"})")),
                 Put("hex", &FileExpect::Bytes, Ref("hex"), ReadHex),
                 Put("entries", &FileExpect::Entries, Ref("names", "The folder's entries, in any order."))},
                Parse(R"({"required": ["path"],
                          "anyOf": [{"required": ["exists"]}, {"required": ["folder"]}, {"required": ["text"]},
                                    {"required": ["hex"]}, {"required": ["entries"]}],
                          "not": {"required": ["text", "hex"]}})")};
            return Layout;
        }

        auto AnswerAlternatives() -> const std::vector<Shape<AnswerExpect>>&
        {
            using Relation = AnswerExpect::Relation;
            const auto Other = [](Relation Is) {
                return [Is](const Node& From, AnswerExpect& Into) {
                    Into.Is = Is;
                    Into.Other = From.String();
                };
            };
            static const std::vector<Shape<AnswerExpect>> Alternatives = {
                {{Do<AnswerExpect>("sameAs", Ref("name"), Other(Relation::Same))}, Parse(R"({"required": ["sameAs"]})")},
                {{Do<AnswerExpect>("differentFrom", Ref("name"), Other(Relation::Different))},
                 Parse(R"({"required": ["differentFrom"]})")},
                {{Do<AnswerExpect>("null", Parse(R"({"type": "boolean"})"),
                                   [](const Node& From, AnswerExpect& Into) {
                                       Into.Is = From.Boolean() ? Relation::Null : Relation::NotNull;
                                   })},
                 Parse(R"({"required": ["null"]})")},
            };
            return Alternatives;
        }

        auto ConstructShape() -> const Shape<ConstructExpect>&
        {
            static const Shape<ConstructExpect> Layout{
                {Put("class", &ConstructExpect::Class, Ref("reference"),
                     [](const Node& From) {
                         auto Class = ReadReference(From);
                         Class.Kind = Type::Class;
                         return Class;
                     }),
                 Put("outer", &ConstructExpect::Outer, Ref("reference"), ReadReference),
                 Put("name", &ConstructExpect::Name, Parse(R"({"type": "string"})")),
                 Put("flags", &ConstructExpect::Flags, Parse(R"({"type": "integer", "minimum": 0, "maximum": 4294967295})")),
                 Put("internalFlags", &ConstructExpect::InternalFlags,
                     Parse(R"({"type": "integer", "minimum": 0, "maximum": 4294967295})")),
                 Put("template", &ConstructExpect::Template, Ref("reference"), ReadReference),
                 Put("copyTransients", &ConstructExpect::CopyTransients, Parse(R"({"type": "boolean"})")),
                 Put("templateIsArchetype", &ConstructExpect::TemplateIsArchetype, Parse(R"({"type": "boolean"})")),
                 Put("instanceGraph", &ConstructExpect::InstanceGraph,
                     Parse(R"({"type": "boolean", "description": "Whether an instance graph was given."})")),
                 Put("externalPackage", &ConstructExpect::ExternalPackage,
                     Parse(R"({"type": "boolean", "description": "Whether an external package was given."})")),
                 Put("as", &ConstructExpect::As, Ref("name", "Names the constructed object, for later steps."))}};
            return Layout;
        }

#if defined(_WIN32)
        constexpr const char* Platform = "windows";
#else
        constexpr const char* Platform = "posix";
#endif

        auto ExpectShape() -> const Shape<Expectations>&;

        // Expectations that hold only on one platform, besides the rest.
        auto Platformed(const char* Key, const char* Description) -> Shape<Expectations>::Field
        {
            return Do<Expectations>(Key, Ref("expect", Description), [Key](const Node& From, Expectations& Into) {
                if (std::string_view(Key) == Platform)
                {
                    ExpectShape().Read(From, Into);
                }
            });
        }

        auto ExpectShape() -> const Shape<Expectations>&
        {
            // Objects keyed by a name of the scenario, and inside them by another.
            const auto ByName = [](Rule Item) { return Rule{{"type", "object"}, {"additionalProperties", std::move(Item)}}; };
            static const Shape<Expectations> Layout{
                {Put("log", &Expectations::Log, Ref("lines", "Exactly these lines of the step, in order.")),
                 Put("logContains", &Expectations::LogContains, Ref("lines", "These lines, in this order, among the step's.")),
                 Put("logLacks", &Expectations::LogLacks, Ref("lines", "None of these.")),
                 Put("params", &Expectations::Params, Ref("values"), ReadNamedValues),
                 Put("paramBytes", &Expectations::ParamBytes, Ref("bytesAt"), ListOf(BytesAtShape())),
                 Do<Expectations>("variables", ByName(ByName(VariableExpectShape().Schema())),
                                  [](const Node& From, Expectations& Into) {
                                      for (const auto& [Object, PerObject] : From.Members())
                                      {
                                          for (const auto& [Variable, Item] : PerObject.Members())
                                          {
                                              auto& Expected = Into.Variables.emplace_back();
                                              Expected.Object = Object;
                                              Expected.Variable = Variable;
                                              VariableExpectShape().Read(Item, Expected);
                                          }
                                      }
                                  }),
                 Do<Expectations>("rows", ByName(ByName(RowExpectShape().Schema())),
                                  [](const Node& From, Expectations& Into) {
                                      for (const auto& [Table, PerTable] : From.Members())
                                      {
                                          for (const auto& [Row, Item] : PerTable.Members())
                                          {
                                              ReadRowExpects(Table, Row, Item, Into.Rows);
                                          }
                                      }
                                  }),
                 Put("files", &Expectations::Files, ArrayOf(FileExpectShape().Schema()), ListOf(FileExpectShape())),
                 Do<Expectations>("hooks",
                                  Parse(R"({"type": "object",
                                            "description": "Owner.Function: the number of hooks on a function of a library prefix or a class.",
                                            "patternProperties": {"^[^.]+\\..+$": {"type": "integer", "minimum": 0, "maximum": 1000}},
                                            "additionalProperties": false})"),
                                  [](const Node& From, Expectations& Into) {
                                      for (const auto& [Key, Item] : From.Members())
                                      {
                                          const auto Dot = Key.find('.');
                                          Into.Hooks.push_back({Key.substr(0, Dot), Key.substr(Dot + 1), Item.Whole<int>()});
                                      }
                                  }),
                 Put("tickCallbacks", &Expectations::TickCallbacks, Parse(R"({"type": "integer", "minimum": 0, "maximum": 1000})")),
                 Put("logAnyOrder", &Expectations::LogAnyOrder, Ref("lines", "Exactly these lines of the step, in any order.")),
                 Keyed("answers", &Expectations::Answers, &AnswerExpect::Name, AnswerAlternatives(),
                       "Remembered answers of exports (step as), by name."),
                 Put("answer", &Expectations::Answer,
                     Ref("value", "A member step's answer: text; an engine string also as utf16 or null text."), ReadValue),
                 Put("constructed", &Expectations::Constructed,
                     Described(ArrayOf(ConstructShape().Schema()),
                               "Exactly the constructions the mod asked the engine for during the step, in order; "
                               "fields not given are not checked."),
                     ListOf(ConstructShape())),
                 Do<Expectations>("liveObjects",
                                  Parse(R"({"type": "object",
                                            "description": "The number of live objects of a class (and its child classes).",
                                            "additionalProperties": {"type": "integer", "minimum": 0, "maximum": 1000000}})"),
                                  [](const Node& From, Expectations& Into) {
                                      for (const auto& [Class, Count] : From.Members())
                                      {
                                          Into.LiveObjects.emplace_back(Class, Count.Whole<int>());
                                      }
                                  }),
                 Platformed("windows", "Expected only on Windows, besides the rest."),
                 Platformed("posix", "Expected only on POSIX systems, besides the rest.")}};
            return Layout;
        }

        auto TickShape() -> const Shape<Step>&
        {
            static const Shape<Step> Layout{
                {Put("seconds", &Step::Seconds, Parse(R"({"type": "number", "minimum": 0})")),
                 Put("frame", &Step::Frame, Parse(R"({"type": "number", "exclusiveMinimum": 0})")),
                 Put("paced", &Step::Paced,
                     Parse(R"({"type": "boolean", "description": "Frames come at the wall clock's pace (the tick takes its seconds of real time): for what the mod times with its own clock, as discovery without an engine tick."})"))},
                Parse(R"({"required": ["seconds"]})")};
            return Layout;
        }

        // A step's action: the field that names it sets its kind.
        auto Act(const char* Key, Action Kind, Rule Schema, std::function<void(const Node&, Step&)> Read = nullptr)
            -> Shape<Step>::Field
        {
            return Do<Step>(Key, std::move(Schema), [Kind, Read](const Node& From, Step& Into) {
                Into.Kind = Kind;
                if (Read)
                {
                    Read(From, Into);
                }
            });
        }

        auto StepShape() -> const Shape<Step>&
        {
            static const Shape<Step> Layout{
                {Put("section", &Step::Section, Ref("name", "A heading; the summary counts checks per section.")),
                 Put("note", &Step::Note, Parse(R"({"type": "string"})")),
                 Act("start", Action::Start, Parse(R"({"const": true, "description": "The engine-initialised callback."})")),
                 Act("reinstall", Action::Reinstall,
                     Parse(R"({"const": true, "description": "Ctrl+R as the host does it: uninstall_mod (which must leave nothing of the mod registered), the library unloaded and loaded again from the same path, start_mod, and, when the engine had started, the engine-initialised callback and on_program_start."})")),
                 Act("tick", Action::Tick,
                     Rule{{"oneOf", {Parse(R"({"type": "number", "minimum": 0})"), TickShape().Schema()}}},
                     [](const Node& From, Step& Into) {
                         if (From.Raw().is_number())
                         {
                             Into.Seconds = From.Number();
                         }
                         else
                         {
                             TickShape().Read(From, Into);
                         }
                         if (Into.Seconds / Into.Frame > 10'000'000.0)
                         {
                             From.Fail("at most ten million frames");
                         }
                     }),
                 Act("call", Action::Call, Ref("name"), [](const Node& From, Step& Into) { Into.Function = From.String(); }),
                 Put("on", &Step::On, Ref("name")),
                 Put("args", &Step::Args, Ref("values"), ReadNamedValues),
                 Put("bytes", &Step::Bytes, Ref("bytesAt"), ListOf(BytesAtShape())),
                 Act("export", Action::Export,
                     Parse(R"({"enum": ["start_mod", "uninstall_mod", "Get_VEXA_CORE", "Get_VEXA_Anim_CORE", "VEXA_FunctionYo", "VEXA_Anim_FunctionYo"],
                               "description": "Calls an exported function of the mod directly."})"),
                     [](const Node& From, Step& Into) { Into.Export = From.String(); }),
                 Put("as", &Step::As, Ref("name", "Remembers the export's answer under this name.")),
                 Put("with", &Step::With,
                     Parse(R"({"oneOf": [{"$ref": "#/definitions/name"}, {"type": "null"}],
                               "description": "uninstall_mod's argument: a remembered answer of start_mod, mod (the host's mod object), or null."})"),
                     [](const Node& From) { return From.IsNull() ? std::string() : From.String(); }),
                 Act("member", Action::Member,
                     Parse(R"({"enum": ["FStringToUtf8", "NarrowToFString", "WideToFString"],
                               "description": "Calls a conversion member of the core through the pointer Get_VEXA_CORE answers, from a module linked against the mod."})"),
                     [](const Node& From, Step& Into) { Into.Member = From.String(); }),
                 Put("text", &Step::Text,
                     Ref("value", "The member's argument: text; for FStringToUtf8 also utf16 (with count) or null text; for "
                                  "WideToFString also utf16."),
                     ReadValue),
                 // Last, so that a step's own fields are checked before its expectations.
                 Do<Step>("expect", Ref("expect"), [](const Node& From, Step& Into) { ExpectShape().Read(From, Into.Expect); })},
                Parse(R"({
                  "anyOf": [{"required": ["start"]}, {"required": ["tick"]}, {"required": ["call"]}, {"required": ["export"]},
                            {"required": ["member"]}, {"required": ["reinstall"]}, {"required": ["expect"]}],
                  "not": {"anyOf": [
                    {"required": ["reinstall", "start"]}, {"required": ["reinstall", "tick"]}, {"required": ["reinstall", "call"]},
                    {"required": ["reinstall", "export"]}, {"required": ["reinstall", "member"]}, {"required": ["start", "tick"]},
                    {"required": ["start", "call"]}, {"required": ["tick", "call"]}, {"required": ["export", "start"]},
                    {"required": ["export", "tick"]}, {"required": ["export", "call"]}, {"required": ["member", "start"]},
                    {"required": ["member", "tick"]}, {"required": ["member", "call"]}, {"required": ["member", "export"]}]},
                  "dependencies": {"call": ["on"], "on": ["call"], "args": ["call"], "bytes": ["call"], "as": ["export"],
                                   "with": ["export"], "member": ["text"], "text": ["member"]},
                  "if": {"not": {"required": ["call"]}},
                  "then": {"properties": {"expect": {"not": {"anyOf": [{"required": ["params"]}, {"required": ["paramBytes"]}]}}}},
                  "allOf": [{"if": {"properties": {"export": {"const": "uninstall_mod"}}, "required": ["export"]},
                             "then": {"required": ["with"]},
                             "else": {"not": {"required": ["with"]}}}]})")};
            return Layout;
        }

        // The top of a file; its steps are read one by one, each with its number.
        auto ScenarioShape() -> const Shape<Scenario>&
        {
            static const Shape<Scenario> Layout{
                {Do<Scenario>("$schema", Parse(R"({"type": "string", "description": "This schema, for editors."})"),
                              [](const Node&, Scenario&) {}),
                 Put("name", &Scenario::Name, Ref("name", "Shown in the report; the file name without extension by default.")),
                 Put("description", &Scenario::Description, Parse(R"({"type": "string"})")),
                 Do<Scenario>("blueprint", Ref("blueprint"),
                              [](const Node& From, Scenario& Into) { BlueprintShape().Read(From, Into); }),
                 Put("files", &Scenario::Files, ArrayOf(Ref("fileDecl")), ListOf(FileShape())),
                 Put("faults", &Scenario::Faults, FaultShape().Schema(),
                     [](const Node& From) {
                         FaultDecl Faults;
                         FaultShape().Read(From, Faults);
                         return Faults;
                     }),
                 Do<Scenario>("steps", ArrayOf(Ref("step")), [](const Node&, Scenario&) {})},
                Parse(R"({"required": ["steps"]})")};
            return Layout;
        }

        auto Schema() -> Rule
        {
            auto Result = Parse(R"({"$schema": "http://json-schema.org/draft-07/schema#", "title": "brambleon-sim scenario",
                                    "description": "A scripted Blueprint side that brambleon-sim plays against the mod (docs/scenarios.md)."})");
            Result.update(ScenarioShape().Schema());
            auto& Definitions = Result["definitions"] = Parse(R"({
              "name": {"type": "string", "minLength": 1},
              "names": {"type": "array", "items": {"$ref": "#/definitions/name"}},
              "int32": {"type": "integer", "minimum": -2147483648, "maximum": 2147483647},
              "count": {"type": "integer", "minimum": 0, "maximum": 2147483647},
              "entry": {"description": "An 8-byte value: a whole number (negative ones as two's complement) or 0x and up to 16 hex digits.",
                        "oneOf": [{"type": "integer"}, {"type": "string", "pattern": "^0x[0-9a-fA-F]{1,16}$"}]},
              "entries": {"type": "array", "items": {"$ref": "#/definitions/entry"}},
              "hex": {"description": "Bytes as pairs of hex digits; blanks are ignored.", "type": "string",
                      "pattern": "^ *([0-9a-fA-F] *[0-9a-fA-F] *)*$"},
              "reference": {"description": "A name of the scenario, or null.",
                            "oneOf": [{"$ref": "#/definitions/name"}, {"type": "null"}]},
              "values": {"type": "object", "additionalProperties": {"$ref": "#/definitions/value"}},
              "path": {"type": "string", "minLength": 1, "description": "Relative to the working folder, and inside it."},
              "lines": {"type": "array", "items": {"$ref": "#/definitions/line"}}})");
            Definitions["bytesAt"] = ArrayOf(BytesAtShape().Schema());
            Definitions["header"] = HeaderShape().Schema();
            Definitions["value"] = Alternatives(ValueAlternatives());
            Definitions["value"]["oneOf"].insert(Definitions["value"]["oneOf"].begin(), Rule{{"type", "string"}});
            Definitions["value"]["description"] =
                "A typed value: plain text, or an object that gives one of text (null: a text with no storage at all), utf16 "
                "(code units, with an optional count), names (a \"|\"-joined listing compared as a set; expectations only), "
                "object, class, name, entry.";
            Definitions["type"] = EnumOf(TypeNames);
            Definitions["params"] = ArrayOf(ParamShape().Schema());
            Definitions["functions"] = ArrayOf(FunctionShape().Schema());
            Definitions["library"] = Rule{
                {"oneOf",
                 {Parse(R"({"type": "boolean", "description": "true: installed (the default); false: not installed."})"),
                  LibraryShape().Schema()}}};
            Definitions["blueprint"] = BlueprintShape().Schema();
            Definitions["fileDecl"] = FileShape().Schema();
            Definitions["line"] = Rule{{"description", "A log line: the exact text at level 1, or text or contains with a level."},
                                       {"oneOf", {Rule{{"type", "string"}}, LineShape().Schema()}}};
            Definitions["expect"] = ExpectShape().Schema();
            Definitions["step"] = StepShape().Schema();
            return Result;
        }
    } // namespace

    InvalidScenario::InvalidScenario(std::string InFile, size_t InStep, std::string InField, const std::string& Message)
        : std::runtime_error(InFile + ": " + (InStep > 0 ? "step " + std::to_string(InStep) + ", " : std::string()) +
                             (InField.empty() ? std::string() : "field \"" + InField + "\": ") + Message),
          File(std::move(InFile)), Step(InStep), Field(std::move(InField)), Problem(Message)
    {
    }

    auto TypeName(Type Kind) -> const char*
    {
        for (const auto& [Name, Each] : TypeNames)
        {
            if (Each == Kind)
            {
                return Name.c_str();
            }
        }
        return "?";
    }

    auto ScenarioSchema() -> std::string
    {
        return Schema().dump(2) + "\n";
    }

    auto ParseScenario(std::string_view Text, const std::string& File) -> Scenario
    {
        Json Document;
        try
        {
            Document = Json::parse(Text, nullptr, true, true);
        }
        catch (const Json::parse_error& Error)
        {
            // nlohmann's text already names the line and column; its "[json.exception...]" tag does not help.
            std::string What = Error.what();
            if (const auto Tag = What.find("] "); What.rfind("[json.exception", 0) == 0 && Tag != std::string::npos)
            {
                What.erase(0, Tag + 2);
            }
            throw InvalidScenario(File, 0, "", "malformed JSON: " + What);
        }
        CheckSchema(Document, File);

        Where At{File, 0};
        const Node Root(Document, "", At);
        Scenario Result;
        Result.File = File;
        Result.Name = PathStem(File);
        for (const auto* Key : LibraryKeys)
        {
            Result.Libraries.push_back({Key, true, 0.0, {}, {}});
        }
        ScenarioShape().Read(Root, Result);

        const auto Steps = Root.Child("steps").Items();
        bool Started = false;
        for (size_t Index = 0; Index < Steps.size(); ++Index)
        {
            At.Step = Index + 1;
            const Node StepNode(Steps[Index].Raw(), "", At);
            auto& Parsed = Result.Steps.emplace_back();
            Parsed.Index = Index + 1;
            StepShape().Read(StepNode, Parsed);
            if (Parsed.Kind == Action::Start)
            {
                if (Started)
                {
                    StepNode.Child("start").Fail("the engine starts only once");
                }
                Started = true;
            }
        }
        return Result;
    }

    auto LoadScenario(const std::string& Utf8Path) -> Scenario
    {
        std::ifstream In(PathFromUtf8(Utf8Path), std::ios::binary);
        if (!In)
        {
            throw InvalidScenario(Utf8Path, 0, "", "cannot be read");
        }
        std::ostringstream Text;
        Text << In.rdbuf();
        return ParseScenario(Text.str(), Utf8Path);
    }
} // namespace BRMB::Sim
