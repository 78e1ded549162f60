// Scenario files to Scenario: the file is checked against the scenario schema first, so only what
// a schema cannot say is checked here; every field is read through a Node that knows its JSON
// path, so any complaint names the file, the step and the field.
#include "sim/loader.hpp"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sim/paths.hpp"
#include "sim/schema.hpp"

namespace BRMB::Sim
{
    namespace
    {
        using Json = nlohmann::json;

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
            [[nodiscard]] auto Find(std::string_view Key) const -> std::optional<Node>
            {
                if (!Has(Key))
                {
                    return std::nullopt;
                }
                return Child(Key);
            }

            [[nodiscard]] auto Items() const -> std::vector<Node>
            {
                std::vector<Node> Result;
                for (size_t Index = 0; Index < Value.size(); ++Index)
                {
                    Result.emplace_back(Value[Index], Path + "[" + std::to_string(Index) + "]", At);
                }
                return Result;
            }

            // Fields of an object in file order (nlohmann keeps them sorted; order does not matter
            // where this is used).
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
            [[nodiscard]] auto Strings() const -> std::vector<std::string>
            {
                std::vector<std::string> Result;
                for (const auto& Item : Items())
                {
                    Result.push_back(Item.String());
                }
                return Result;
            }

        private:
            const Json& Value;
            std::string Path;
            Where& At;
        };

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

        auto ReadType(const Node& From) -> Type
        {
            static const std::vector<std::pair<std::string_view, Type>> Names = {
                {"text", Type::Text},       {"object", Type::Object}, {"class", Type::Class},
                {"name", Type::Name},       {"entry", Type::Entry},   {"int32", Type::Int32},
                {"float", Type::Float},     {"bool", Type::Bool},     {"objects", Type::Objects},
                {"entries", Type::Entries}, {"int32s", Type::Int32s}, {"struct", Type::Struct},
                {"structs", Type::Structs}, {"classes", Type::Classes},
            };
            const auto Text = From.String();
            for (const auto& [Name, Kind] : Names)
            {
                if (Name == Text)
                {
                    return Kind;
                }
            }
            return Type::Text; // the schema admits only the names above
        }

        // A typed value: plain text, or an object with exactly one of text, object, class, name, entry.
        auto ReadValue(const Node& From) -> Value
        {
            Value Result;
            if (From.IsString())
            {
                Result.Text = From.String();
                return Result;
            }
            if (const auto Text = From.Find("text"))
            {
                Result.Null = Text->IsNull();
                Result.Text = Result.Null ? "" : Text->String();
            }
            else if (const auto Units = From.Find("utf16"))
            {
                Result.Units.emplace();
                for (const auto& Unit : Units->Items())
                {
                    Result.Units->push_back(static_cast<char16_t>(Unit.Whole<int64_t>()));
                }
                if (const auto Count = From.Find("count"))
                {
                    Result.Count = Count->Whole<int32_t>();
                    if (*Result.Count > static_cast<int32_t>(Result.Units->size()) + 1)
                    {
                        Count->Fail("runs past the units and their NUL");
                    }
                }
            }
            else if (const auto Names = From.Find("names"))
            {
                Result.Names = Names->Strings();
            }
            else if (const auto Object = From.Find("object"); Object || From.Has("class"))
            {
                const auto Reference = Object ? *Object : From.Child("class");
                Result.Kind = Object ? Type::Object : Type::Class;
                Result.Null = Reference.IsNull();
                if (!Result.Null)
                {
                    Result.Text = Reference.String();
                }
            }
            else if (const auto Name = From.Find("name"))
            {
                Result.Kind = Type::Name;
                Result.Text = Name->String();
            }
            else
            {
                Result.Kind = Type::Entry;
                Result.Entry = ReadEntry(From.Child("entry"));
            }
            return Result;
        }

        // "capacity" and "count" beside a list of elements: the array laid out exactly.
        auto ReadExact(const Node& From) -> std::optional<ExactArray>
        {
            if (!From.Has("capacity") && !From.Has("count"))
            {
                return std::nullopt;
            }
            ExactArray Exact;
            if (const auto Capacity = From.Find("capacity"))
            {
                Exact.Capacity = Capacity->Whole<int32_t>();
            }
            if (const auto Count = From.Find("count"))
            {
                Exact.Count = Count->Whole<int32_t>();
            }
            return Exact;
        }

        auto ReadHeader(const Node& From) -> Header
        {
            Header Result{static_cast<int32_t>(From.Child("num").Whole<int64_t>()),
                          static_cast<int32_t>(From.Child("max").Whole<int64_t>())};
            // Without storage: inconsistent, or claiming room it does not have; (0, 0) is merely empty.
            if (Result.Num == 0 && Result.Max == 0)
            {
                From.Fail("a header without storage needs num below 0, num above max or max above 0");
            }
            return Result;
        }

        auto ReadParams(const Node& From) -> std::vector<ParamDecl>
        {
            std::vector<ParamDecl> Result;
            for (const auto& Item : From.Items())
            {
                ParamDecl Param{Item.Child("name").String(), ReadType(Item.Child("type")), -1, "", "", ParamDirection::In};
                if (const auto Struct = Item.Find("struct"))
                {
                    Param.Struct = Struct->String();
                }
                if (const auto Class = Item.Find("class"))
                {
                    Param.Class = Class->String();
                }
                if (const auto Direction = Item.Find("direction"))
                {
                    const auto Text = Direction->String();
                    Param.Direction = Text == "out"     ? ParamDirection::Out
                                      : Text == "local" ? ParamDirection::Local
                                                        : ParamDirection::In;
                }
                if (const auto Offset = Item.Find("offset"))
                {
                    Param.Offset = static_cast<int32_t>(Offset->Whole<int64_t>());
                }
                Result.push_back(std::move(Param));
            }
            return Result;
        }

        auto ReadFunctions(const Node& From) -> std::vector<FunctionDecl>
        {
            std::vector<FunctionDecl> Result;
            for (const auto& Item : From.Items())
            {
                FunctionDecl Function{Item.Child("name").String(), {}};
                if (const auto Params = Item.Find("params"))
                {
                    Function.Params = ReadParams(*Params);
                }
                Result.push_back(std::move(Function));
            }
            return Result;
        }

        auto ReadLibraries(const Node& From) -> std::vector<LibraryDecl>
        {
            std::vector<LibraryDecl> Result;
            for (const auto* Key : {"VEXA", "VEXA_Anim", "BRMB"})
            {
                LibraryDecl Library{Key, true, 0.0, {}, {}};
                if (const auto Entry = From.Find(Key))
                {
                    if (Entry->Raw().is_boolean())
                    {
                        Library.Present = Entry->Boolean();
                    }
                    else
                    {
                        if (const auto LoadAt = Entry->Find("loadAt"))
                        {
                            Library.LoadAt = LoadAt->Number();
                        }
                        if (const auto Lacks = Entry->Find("lacks"))
                        {
                            Library.Lacks = Lacks->Strings();
                        }
                        if (const auto Functions = Entry->Find("functions"))
                        {
                            Library.Functions = ReadFunctions(*Functions);
                        }
                    }
                }
                Result.push_back(std::move(Library));
            }
            return Result;
        }

        auto ReadClass(const Node& From) -> ClassDecl
        {
            ClassDecl Class;
            if (const auto Path = From.Find("path"))
            {
                Class.Path = Path->String();
                const auto Dot = Class.Path.rfind('.');
                Class.Name = Class.Path.substr(Dot + 1);
                if (const auto Name = From.Find("name"); Name && Name->String() != Class.Name)
                {
                    Name->Fail("differs from the name at the end of path (" + Class.Name + ")");
                }
            }
            else
            {
                Class.Name = From.Child("name").String();
                Class.Path = "/Game/Mods/Scenario/" + Class.Name + "." + Class.Name;
            }
            if (const auto Like = From.Find("like"))
            {
                Class.Like = Like->String();
            }
            if (const auto Parent = From.Find("parent"))
            {
                Class.Parent = Parent->String();
            }
            if (const auto Lacks = From.Find("lacks"))
            {
                Class.Lacks = Lacks->Strings();
            }
            if (const auto Functions = From.Find("functions"))
            {
                Class.Functions = ReadFunctions(*Functions);
            }
            if (const auto Variables = From.Find("variables"))
            {
                Class.Variables = ReadParams(*Variables);
            }
            return Class;
        }

        auto ReadReference(const Node& From) -> Value
        {
            return Value{Type::Object, From.IsNull() ? "" : From.String(), From.IsNull(), 0, {}, {}, {}};
        }

        auto ReadObject(const Node& From) -> ObjectDecl
        {
            ObjectDecl Object{From.Child("name").String(), From.Child("class").String(), {}};
            if (const auto Variables = From.Find("variables"))
            {
                for (const auto& [Name, Item] : Variables->Members())
                {
                    VariableInit Init{Name, std::nullopt, {}, std::nullopt, std::nullopt, std::nullopt};
                    if (const auto One = Item.Find("object"))
                    {
                        Init.One = ReadReference(*One);
                    }
                    else if (const auto Many = Item.Find("objects"))
                    {
                        Init.Many = Many->Strings();
                        Init.Exact = ReadExact(Item);
                    }
                    else if (const auto Hex = Item.Find("hex"))
                    {
                        Init.Bytes = ReadHex(*Hex);
                    }
                    else
                    {
                        Init.CorruptHeader = ReadHeader(Item.Child("header"));
                    }
                    Object.Variables.push_back(std::move(Init));
                }
            }
            return Object;
        }

        auto ReadBytesAt(const Node& From) -> std::vector<BytesAt>;

        auto ReadTable(const Node& From) -> TableDecl
        {
            TableDecl Table;
            Table.Name = From.Child("name").String();
            Table.Path = From.Has("path") ? From.Child("path").String()
                                          : "/Game/Data/" + Table.Name + "." + Table.Name;
            Table.RowStruct = From.Has("rowStruct") ? From.Child("rowStruct").String() : "ObjectSelectionRow";
            if (const auto Rows = From.Find("rows"))
            {
                for (const auto& Item : Rows->Items())
                {
                    RowDecl Row;
                    Row.Name = Item.Child("name").String();
                    Row.Id = Item.Has("id") ? Item.Child("id").String() : Row.Name;
                    if (const auto Sets = Item.Find("selectionSets"))
                    {
                        for (const auto& SetNode : Sets->Items())
                        {
                            SelectionSetDecl Set;
                            if (const auto Group = SetNode.Find("stateGroupId"))
                            {
                                Set.StateGroupId = Group->String();
                            }
                            if (const auto Entries = SetNode.Find("entries"))
                            {
                                Set.Entries = ReadEntries(*Entries);
                            }
                            if (const auto Corrupt = SetNode.Find("entriesHeader"))
                            {
                                Set.CorruptEntries = ReadHeader(*Corrupt);
                            }
                            Set.Exact = ReadExact(SetNode);
                            Row.Sets.push_back(std::move(Set));
                        }
                    }
                    if (const auto Corrupt = Item.Find("selectionSetHeader"))
                    {
                        Row.CorruptSets = ReadHeader(*Corrupt);
                    }
                    if (const auto Bytes = Item.Find("bytes"))
                    {
                        Row.Bytes = ReadBytesAt(*Bytes);
                    }
                    if (const auto Values = Item.Find("values"))
                    {
                        Row.Values = Values->Raw().dump();
                    }
                    Table.Rows.push_back(std::move(Row));
                }
            }
            return Table;
        }

        // The "path" of a file the scenario makes or checks: relative, inside the working folder.
        auto ReadWorkdirPath(const Node& From) -> std::string
        {
            const auto PathNode = From.Child("path");
            std::string Path = PathNode.String();
            if (!IsInsideWorkdir(Path))
            {
                PathNode.Fail("must be a relative path inside the working folder");
            }
            return Path;
        }

        auto ReadFile(const Node& From) -> FileDecl
        {
            FileDecl File;
            File.Path = ReadWorkdirPath(From);
            File.Folder = From.Has("folder") && From.Child("folder").Boolean();
            if (const auto Text = From.Find("text"))
            {
                File.Bytes = Text->String();
            }
            if (const auto Hex = From.Find("hex"))
            {
                File.Bytes = ReadHex(*Hex);
            }
            if (const auto Mode = From.Find("mode"))
            {
                const auto Text = Mode->String();
                if (Text == "readonly")
                {
                    File.Mode = FileMode::ReadOnly;
                }
                else if (Text == "unreadable")
                {
                    File.Mode = FileMode::Unreadable;
                }
            }
            return File;
        }

        auto ReadLine(const Node& From) -> LineMatch
        {
            if (From.IsString())
            {
                return {From.String(), false, 1, std::nullopt};
            }
            LineMatch Line;
            Line.Part = From.Has("contains");
            Line.Text = From.Child(Line.Part ? "contains" : "text").String();
            if (const auto Level = From.Find("level"))
            {
                Line.Level = static_cast<int32_t>(Level->Whole<int64_t>());
            }
            if (const auto Newline = From.Find("newline"))
            {
                Line.Newline = Newline->Boolean();
            }
            return Line;
        }

        auto ReadLines(const Node& From) -> std::vector<LineMatch>
        {
            std::vector<LineMatch> Result;
            for (const auto& Item : From.Items())
            {
                Result.push_back(ReadLine(Item));
            }
            return Result;
        }

        auto ReadBytesAt(const Node& From) -> std::vector<BytesAt>
        {
            std::vector<BytesAt> Result;
            for (const auto& Item : From.Items())
            {
                Result.push_back({static_cast<size_t>(Item.Child("offset").Whole<int64_t>()),
                                  ReadHex(Item.Child("hex"))});
            }
            return Result;
        }

        // The expectations of a step; those under "windows" or "posix" only on that platform.
        auto ReadExpectations(const Node& From, Expectations& Expect) -> void
        {
            const auto AddLines = [&](const char* Key, std::vector<LineMatch>& To) {
                if (const auto Lines = From.Find(Key))
                {
                    const auto Read = ReadLines(*Lines);
                    To.insert(To.end(), Read.begin(), Read.end());
                }
            };
            if (From.Has("log"))
            {
                AddLines("log", Expect.Log.emplace());
            }
            AddLines("logContains", Expect.LogContains);
            AddLines("logLacks", Expect.LogLacks);
            if (From.Has("logAnyOrder"))
            {
                AddLines("logAnyOrder", Expect.LogAnyOrder.emplace());
            }
            if (const auto Params = From.Find("params"))
            {
                for (const auto& [Name, Item] : Params->Members())
                {
                    Expect.Params.push_back({Name, ReadValue(Item)});
                }
            }
            if (const auto Bytes = From.Find("paramBytes"))
            {
                const auto Read = ReadBytesAt(*Bytes);
                Expect.ParamBytes.insert(Expect.ParamBytes.end(), Read.begin(), Read.end());
            }
            if (const auto Variables = From.Find("variables"))
            {
                for (const auto& [Object, PerObject] : Variables->Members())
                {
                    for (const auto& [Variable, Item] : PerObject.Members())
                    {
                        VariableExpect Expected{Object, Variable, {}, {}, {}, {}, {}, {}, {}, {}, {}};
                        if (const auto One = Item.Find("object"))
                        {
                            Expected.One = ReadReference(*One);
                        }
                        if (const auto OfClass = Item.Find("objectOfClass"))
                        {
                            Expected.OfClass = OfClass->String();
                        }
                        if (const auto Many = Item.Find("objects"))
                        {
                            Expected.Many = Many->Strings();
                        }
                        if (const auto Capacity = Item.Find("capacity"))
                        {
                            Expected.Capacity = Capacity->Whole<int32_t>();
                        }
                        if (const auto Count = Item.Find("count"))
                        {
                            Expected.Count = Count->Whole<int32_t>();
                        }
                        if (const auto Moved = Item.Find("moved"))
                        {
                            Expected.Moved = Moved->Boolean();
                        }
                        if (const auto As = Item.Find("as"))
                        {
                            Expected.As = As->String();
                        }
                        if (const auto Outer = Item.Find("outer"))
                        {
                            Expected.Outer = ReadReference(*Outer);
                        }
                        if (const auto Hex = Item.Find("hex"))
                        {
                            Expected.Bytes = ReadHex(*Hex);
                        }
                        Expect.Variables.push_back(std::move(Expected));
                    }
                }
            }
            if (const auto Rows = From.Find("rows"))
            {
                for (const auto& [Table, PerTable] : Rows->Members())
                {
                    for (const auto& [Row, Item] : PerTable.Members())
                    {
                        // One selection set at "set", or several from the first on under "sets".
                        const auto ReadSet = [&](const Node& SetNode, std::optional<size_t> Set) {
                            RowExpect Expected{Table, Row, Set, {}, {}, {}, {}, {}, false};
                            if (const auto Entries = SetNode.Find("entries"))
                            {
                                Expected.Entries = ReadEntries(*Entries);
                            }
                            if (const auto Capacity = SetNode.Find("capacity"))
                            {
                                Expected.Capacity = Capacity->Whole<int32_t>();
                            }
                            if (const auto Count = SetNode.Find("count"))
                            {
                                Expected.Count = Count->Whole<int32_t>();
                            }
                            if (const auto Moved = SetNode.Find("moved"))
                            {
                                Expected.Moved = Moved->Boolean();
                            }
                            if (!Expected.Set && (Expected.Entries || Expected.Capacity || Expected.Count || Expected.Moved))
                            {
                                Expected.Set = 0;
                            }
                            return Expected;
                        };
                        auto Whole = ReadSet(Item, Item.Has("set") ? std::optional<size_t>(Item.Child("set").Whole<size_t>())
                                                                   : std::nullopt);
                        if (const auto Bytes = Item.Find("bytes"))
                        {
                            Whole.Bytes = ReadBytesAt(*Bytes);
                        }
                        Whole.Unchanged = Item.Has("unchanged") && Item.Child("unchanged").Boolean();
                        Expect.Rows.push_back(std::move(Whole));
                        if (const auto Sets = Item.Find("sets"))
                        {
                            const auto List = Sets->Items();
                            for (size_t Index = 0; Index < List.size(); ++Index)
                            {
                                Expect.Rows.push_back(ReadSet(List[Index], Index));
                            }
                        }
                    }
                }
            }
            if (const auto Files = From.Find("files"))
            {
                for (const auto& Item : Files->Items())
                {
                    FileExpect Expected;
                    Expected.Path = ReadWorkdirPath(Item);
                    if (const auto Exists = Item.Find("exists"))
                    {
                        Expected.Exists = Exists->Boolean();
                    }
                    if (const auto Folder = Item.Find("folder"))
                    {
                        Expected.Folder = Folder->Boolean();
                    }
                    if (const auto Text = Item.Find("text"))
                    {
                        Expected.Bytes = Text->String();
                    }
                    if (const auto Hex = Item.Find("hex"))
                    {
                        Expected.Bytes = ReadHex(*Hex);
                    }
                    if (const auto Entries = Item.Find("entries"))
                    {
                        Expected.Entries = Entries->Strings();
                    }
                    Expect.Files.push_back(std::move(Expected));
                }
            }
            if (const auto Hooks = From.Find("hooks"))
            {
                for (const auto& [Key, Item] : Hooks->Members())
                {
                    const auto Dot = Key.find('.');
                    Expect.Hooks.push_back({Key.substr(0, Dot), Key.substr(Dot + 1),
                                            static_cast<int>(Item.Whole<int64_t>())});
                }
            }
            if (const auto Count = From.Find("tickCallbacks"))
            {
                Expect.TickCallbacks = static_cast<int>(Count->Whole<int64_t>());
            }
            if (const auto Answers = From.Find("answers"))
            {
                for (const auto& [Name, Item] : Answers->Members())
                {
                    AnswerExpect Expected{Name, AnswerExpect::Relation::Same, ""};
                    if (const auto Same = Item.Find("sameAs"))
                    {
                        Expected.Other = Same->String();
                    }
                    else if (const auto Different = Item.Find("differentFrom"))
                    {
                        Expected.Is = AnswerExpect::Relation::Different;
                        Expected.Other = Different->String();
                    }
                    else
                    {
                        Expected.Is = Item.Child("null").Boolean() ? AnswerExpect::Relation::Null
                                                                    : AnswerExpect::Relation::NotNull;
                    }
                    Expect.Answers.push_back(std::move(Expected));
                }
            }
            if (const auto Answer = From.Find("answer"))
            {
                Expect.Answer = ReadValue(*Answer);
            }
            if (const auto Constructed = From.Find("constructed"))
            {
                auto& List = Expect.Constructed.emplace();
                for (const auto& Item : Constructed->Items())
                {
                    ConstructExpect Expected;
                    if (const auto Class = Item.Find("class"))
                    {
                        Expected.Class = ReadReference(*Class);
                        Expected.Class->Kind = Type::Class;
                    }
                    if (const auto Outer = Item.Find("outer"))
                    {
                        Expected.Outer = ReadReference(*Outer);
                    }
                    if (const auto Template = Item.Find("template"))
                    {
                        Expected.Template = ReadReference(*Template);
                    }
                    if (const auto Name = Item.Find("name"))
                    {
                        Expected.Name = Name->String();
                    }
                    if (const auto Flags = Item.Find("flags"))
                    {
                        Expected.Flags = Flags->Whole<uint32_t>();
                    }
                    if (const auto Flags = Item.Find("internalFlags"))
                    {
                        Expected.InternalFlags = Flags->Whole<uint32_t>();
                    }
                    const auto Flag = [&](const char* Key, std::optional<bool>& To) {
                        if (const auto Found = Item.Find(Key))
                        {
                            To = Found->Boolean();
                        }
                    };
                    Flag("copyTransients", Expected.CopyTransients);
                    Flag("templateIsArchetype", Expected.TemplateIsArchetype);
                    Flag("instanceGraph", Expected.InstanceGraph);
                    Flag("externalPackage", Expected.ExternalPackage);
                    if (const auto As = Item.Find("as"))
                    {
                        Expected.As = As->String();
                    }
                    List.push_back(std::move(Expected));
                }
            }
            if (const auto Live = From.Find("liveObjects"))
            {
                for (const auto& [Class, Count] : Live->Members())
                {
                    Expect.LiveObjects.emplace_back(Class, Count.Whole<int>());
                }
            }
#if defined(_WIN32)
            constexpr const char* Platform = "windows";
#else
            constexpr const char* Platform = "posix";
#endif
            if (const auto Here = From.Find(Platform))
            {
                ReadExpectations(*Here, Expect);
            }
        }

        auto ReadStep(const Node& From, size_t Index) -> Step
        {
            Step Result;
            Result.Index = Index;
            if (const auto Section = From.Find("section"))
            {
                Result.Section = Section->String();
            }
            if (const auto Note = From.Find("note"))
            {
                Result.Note = Note->String();
            }
            if (From.Has("start"))
            {
                Result.Kind = Action::Start;
            }
            else if (From.Has("reinstall"))
            {
                Result.Kind = Action::Reinstall;
            }
            else if (const auto Tick = From.Find("tick"))
            {
                Result.Kind = Action::Tick;
                if (Tick->Raw().is_number())
                {
                    Result.Seconds = Tick->Number();
                }
                else
                {
                    Result.Seconds = Tick->Child("seconds").Number();
                    if (const auto Frame = Tick->Find("frame"))
                    {
                        Result.Frame = Frame->Number();
                    }
                    if (const auto Paced = Tick->Find("paced"))
                    {
                        Result.Paced = Paced->Boolean();
                    }
                }
                if (Result.Seconds / Result.Frame > 10'000'000.0)
                {
                    Tick->Fail("at most ten million frames");
                }
            }
            else if (const auto Export = From.Find("export"))
            {
                Result.Kind = Action::Export;
                Result.Export = Export->String();
                if (const auto As = From.Find("as"))
                {
                    Result.As = As->String();
                }
                if (const auto With = From.Find("with"))
                {
                    Result.With = With->IsNull() ? std::string() : With->String();
                }
            }
            else if (const auto Member = From.Find("member"))
            {
                Result.Kind = Action::Member;
                Result.Member = Member->String();
                Result.Text = ReadValue(From.Child("text"));
            }
            else if (const auto Call = From.Find("call"))
            {
                Result.Kind = Action::Call;
                Result.Function = Call->String();
                Result.On = From.Child("on").String();
                if (const auto Args = From.Find("args"))
                {
                    for (const auto& [Name, Item] : Args->Members())
                    {
                        Result.Args.push_back({Name, ReadValue(Item)});
                    }
                }
                if (const auto Bytes = From.Find("bytes"))
                {
                    Result.Bytes = ReadBytesAt(*Bytes);
                }
            }
            if (const auto Expect = From.Find("expect"))
            {
                ReadExpectations(*Expect, Result.Expect);
            }
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
        switch (Kind)
        {
        case Type::Text: return "text";
        case Type::Object: return "object";
        case Type::Class: return "class";
        case Type::Name: return "name";
        case Type::Entry: return "entry";
        case Type::Int32: return "int32";
        case Type::Float: return "float";
        case Type::Bool: return "bool";
        case Type::Objects: return "objects";
        case Type::Entries: return "entries";
        case Type::Int32s: return "int32s";
        case Type::Classes: return "classes";
        case Type::Struct: return "struct";
        case Type::Structs: return "structs";
        }
        return "?";
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
        Result.Name = Root.Has("name") ? Root.Child("name").String() : PathStem(File);
        if (const auto Description = Root.Find("description"))
        {
            Result.Description = Description->String();
        }

        std::optional<Node> Blueprint = Root.Find("blueprint");
        if (Blueprint)
        {
        }
        const auto Part = [&](std::string_view Key) { return Blueprint ? Blueprint->Find(Key) : std::nullopt; };
        if (const auto Libraries = Part("libraries"))
        {
            Result.Libraries = ReadLibraries(*Libraries);
        }
        else
        {
            Result.Libraries = ReadLibraries(Node(Json::object(), "blueprint.libraries", At));
        }
        if (const auto Filler = Part("filler"))
        {
            Result.FillerObjects = Filler->Child("objects").Whole<size_t>();
            if (const auto Packages = Filler->Find("packages"))
            {
                Result.FillerPackages = Packages->Whole<size_t>();
            }
        }
        if (const auto Structs = Part("structs"))
        {
            for (const auto& Item : Structs->Items())
            {
                StructDecl Struct{Item.Child("name").String(), -1, ReadParams(Item.Child("members"))};
                if (const auto Size = Item.Find("size"))
                {
                    Struct.Size = static_cast<int32_t>(Size->Whole<int64_t>());
                }
                Result.Structs.push_back(std::move(Struct));
            }
        }
        if (const auto Classes = Part("classes"))
        {
            for (const auto& Item : Classes->Items())
            {
                Result.Classes.push_back(ReadClass(Item));
            }
        }
        if (const auto Objects = Part("objects"))
        {
            for (const auto& Item : Objects->Items())
            {
                Result.Objects.push_back(ReadObject(Item));
            }
        }
        if (const auto Tables = Part("dataTables"))
        {
            for (const auto& Item : Tables->Items())
            {
                Result.Tables.push_back(ReadTable(Item));
            }
        }
        if (const auto Files = Root.Find("files"))
        {
            for (const auto& Item : Files->Items())
            {
                Result.Files.push_back(ReadFile(Item));
            }
        }
        if (const auto Faults = Root.Find("faults"))
        {
            if (const auto Names = Faults->Find("registerHookFails"))
            {
                Result.Faults.RegisterHookFails = Names->Strings();
            }
            if (const auto Names = Faults->Find("registerHookThrows"))
            {
                Result.Faults.RegisterHookThrows = Names->Strings();
            }
            if (const auto NoDevices = Faults->Find("noLogDevices"))
            {
                Result.Faults.NoLogDevices = NoDevices->Boolean();
            }
            if (const auto NoTick = Faults->Find("noEngineTick"))
            {
                Result.Faults.NoEngineTick = NoTick->Boolean();
            }
            if (const auto NoProcessEvent = Faults->Find("noProcessEvent"))
            {
                Result.Faults.NoProcessEvent = NoProcessEvent->Boolean();
            }
        }

        const auto Steps = Root.Child("steps").Items();
        bool Started = false;
        for (size_t Index = 0; Index < Steps.size(); ++Index)
        {
            At.Step = Index + 1;
            const Node StepNode(Steps[Index].Raw(), "", At);
            auto Parsed = ReadStep(StepNode, Index + 1);
            if (Parsed.Kind == Action::Start)
            {
                if (Started)
                {
                    StepNode.Child("start").Fail("the engine starts only once");
                }
                Started = true;
            }
            Result.Steps.push_back(std::move(Parsed));
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
