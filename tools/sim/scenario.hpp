// A scenario as read from its file: the Blueprint half to build, the files to lay out, the
// host faults to inject and the steps to play. Texts are UTF-8 as the file holds them. The file's
// fields and how they map onto these are the loader's (loader.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace BRMB::Sim
{
    // A scenario that cannot run: names the file, the step (1-based, 0 when outside the steps)
    // and the field, as a JSON path such as "args.Path".
    class InvalidScenario : public std::runtime_error
    {
    public:
        InvalidScenario(std::string File, size_t Step, std::string Field, const std::string& Message);

        std::string File;
        size_t Step;
        std::string Field;
        std::string Problem;
    };

    // Types of parameters, variables and structure members.
    enum class Type
    {
        Text,    // FString
        Object,  // object reference
        Class,   // class reference
        Name,    // FName
        Entry,   // 8-byte value
        Int32,
        Float,
        Bool,
        Objects, // engine array of object references
        Entries, // engine array of 8-byte values
        Int32s,  // engine array of 4-byte values
        Classes, // engine array of class references
        Struct,  // a structure of the scenario, embedded
        Structs, // engine array of a structure of the scenario
    };

    // A typed value of an argument or of an expected parameter.
    struct Value
    {
        Type Kind = Type::Text;
        std::string Text;      // text, or the name of an object, class or engine name
        bool Null = false;     // a null object or class; a text with no storage at all
        uint64_t Entry = 0;
        // A text as UTF-16 code units: stored as given with a NUL after them, counted as Count
        // (the units and the NUL when not given).
        std::optional<std::u16string> Units;
        std::optional<int32_t> Count;
        // A "|"-joined listing compared as a set of names.
        std::optional<std::vector<std::string>> Names;
    };

    enum class ParamDirection
    {
        In,
        Out,
        Local, // a Blueprint local variable of the function
    };

    struct ParamDecl
    {
        std::string Name;
        Type Kind = Type::Text;
        int32_t Offset = -1; // -1: next free offset
        std::string Struct;  // of Struct and Structs: a structure declared before
        std::string Class;   // of Object, Objects and Class: the class referred to (Object when empty)
        ParamDirection Direction = ParamDirection::In; // of a function's parameter
    };

    struct FunctionDecl
    {
        std::string Name;
        std::vector<ParamDecl> Params;
    };

    // One of the three Blueprint libraries, by its prefix "VEXA", "VEXA_Anim" or "BRMB".
    struct LibraryDecl
    {
        std::string Key;
        bool Present = true;
        double LoadAt = 0.0; // engine seconds from which the library is loaded
        std::vector<std::string> Lacks;
        std::vector<FunctionDecl> Functions; // standard functions declared with other parameters
    };

    // A class of the scenario; one that names a standard class (VEXA_WorldActor_C, BRMB_Proxy_C)
    // only takes members away from it.
    struct ClassDecl
    {
        std::string Name; // short name, e.g. "BP_Guard_C"
        std::string Path;
        std::string Like; // a standard class whose functions and variables this one starts from
        std::string Parent; // a class declared before this one (or a standard one) that this one derives from
        std::vector<std::string> Lacks;
        std::vector<FunctionDecl> Functions;
        std::vector<ParamDecl> Variables;
    };

    struct Header
    {
        int32_t Num = 0;
        int32_t Max = 0;
    };

    // An engine array laid out exactly: storage for Capacity elements (at least the elements
    // given), and a header whose count may be set apart from the elements.
    struct ExactArray
    {
        std::optional<int32_t> Capacity;
        std::optional<int32_t> Count;
    };

    // Initial value of an object variable.
    struct VariableInit
    {
        std::string Variable;
        std::optional<Value> One;          // "ObjectRef"-like
        std::vector<std::string> Many;     // "ObjectRefs"-like
        std::optional<Header> CorruptHeader;
        std::optional<ExactArray> Exact;
        std::optional<std::string> Bytes; // raw bytes from the variable's start
    };

    struct ObjectDecl
    {
        std::string Name;
        std::string Class;
        std::vector<VariableInit> Variables;
    };

    struct StructDecl
    {
        std::string Name;
        int32_t Size = -1;
        std::vector<ParamDecl> Members;
    };

    struct BytesAt
    {
        size_t Offset = 0;
        std::string Bytes;
    };

    struct SelectionSetDecl
    {
        std::string StateGroupId;
        std::vector<uint64_t> Entries;
        std::optional<Header> CorruptEntries;
        std::optional<ExactArray> Exact;
    };

    struct RowDecl
    {
        std::string Name;
        std::string Id;
        std::vector<SelectionSetDecl> Sets;
        std::optional<Header> CorruptSets;
        std::vector<BytesAt> Bytes; // written over the row last: filler and anything else
        std::string Values;         // a row of a scenario structure: its members' values, as JSON
    };

    struct TableDecl
    {
        std::string Name;
        std::string Path;
        std::string RowStruct; // "ObjectSelectionRow" or a struct of the scenario
        std::vector<RowDecl> Rows;
    };

    enum class FileMode
    {
        Normal,
        ReadOnly,
        Unreadable,
    };

    struct FileDecl
    {
        std::string Path; // relative to the working folder
        bool Folder = false;
        std::string Bytes;
        FileMode Mode = FileMode::Normal;
    };

    struct FaultDecl
    {
        std::vector<std::string> RegisterHookFails;  // answered (0, 0), as older hosts do
        std::vector<std::string> RegisterHookThrows; // std::runtime_error, as current hosts do
        bool NoLogDevices = false;
        bool NoEngineTick = false;   // engine-tick callbacks never run
        bool NoProcessEvent = false; // ProcessEvent callbacks never run
    };

    // One expected log line: exact text, or a part of the text; whether it ends with a newline
    // only when Newline is given.
    struct LineMatch
    {
        std::string Text;
        bool Part = false;
        int32_t Level = 1;
        std::optional<bool> Newline;
    };

    struct ParamExpect
    {
        std::string Param;
        Value Expected;
    };

    struct VariableExpect
    {
        std::string Object;
        std::string Variable;
        std::optional<Value> One;              // an object by name, or null
        std::optional<std::string> OfClass;    // any object of this class
        std::optional<std::vector<std::string>> Many;
        std::optional<int32_t> Capacity;
        std::optional<int32_t> Count;       // the header's count, also when it is corrupt
        std::optional<bool> Moved;          // the array's storage is another than before the step
        std::string As;                     // names the object found, for later steps
        std::optional<Value> Outer;         // the outer of the object found
        std::optional<std::string> Bytes;   // the variable's first bytes, raw
    };

    struct RowExpect
    {
        std::string Table;
        std::string Row;
        std::optional<size_t> Set;          // with Entries, Capacity, Moved
        std::optional<std::vector<uint64_t>> Entries;
        std::optional<int32_t> Capacity;
        std::optional<int32_t> Count;
        std::optional<bool> Moved;
        std::vector<BytesAt> Bytes;         // bytes of the row itself
        bool Unchanged = false;             // every byte of the row as before the step
    };

    struct FileExpect
    {
        std::string Path;
        std::optional<bool> Exists;
        std::optional<bool> Folder;
        std::optional<std::string> Bytes;
        std::optional<std::vector<std::string>> Entries; // a folder's entries, in any order
    };

    // A remembered answer of an export against another or null.
    struct AnswerExpect
    {
        std::string Name;
        enum class Relation { Same, Different, Null, NotNull } Is = Relation::NotNull;
        std::string Other;
    };

    // One construction the mod asked for; fields not given are not checked.
    struct ConstructExpect
    {
        std::optional<Value> Class;
        std::optional<Value> Outer;
        std::optional<std::string> Name;
        std::optional<uint32_t> Flags;
        std::optional<uint32_t> InternalFlags;
        std::optional<Value> Template;
        std::optional<bool> CopyTransients;
        std::optional<bool> TemplateIsArchetype;
        std::optional<bool> InstanceGraph;   // whether one was given
        std::optional<bool> ExternalPackage; // whether one was given
        std::string As;                      // names the constructed object
    };

    struct HookExpect
    {
        std::string Owner; // library key or class name
        std::string Function;
        int Count = 0;
    };

    struct Expectations
    {
        std::optional<std::vector<LineMatch>> Log; // exactly these lines of the step
        std::vector<LineMatch> LogContains;         // these, in this order, among the step's lines
        std::vector<LineMatch> LogLacks;            // none of these
        std::optional<std::vector<LineMatch>> LogAnyOrder; // exactly these lines, in any order
        std::vector<ParamExpect> Params;
        std::vector<BytesAt> ParamBytes;
        std::vector<VariableExpect> Variables;
        std::vector<RowExpect> Rows;
        std::vector<FileExpect> Files;
        std::vector<HookExpect> Hooks;
        std::optional<int> TickCallbacks;
        std::vector<AnswerExpect> Answers;
        std::optional<std::vector<ConstructExpect>> Constructed; // exactly these, in order
        std::vector<std::pair<std::string, int>> LiveObjects;     // class name, live objects of it
        std::optional<Value> Answer;                              // a member step's answer
    };

    enum class Action
    {
        Start, // the engine-initialised callback
        Tick,
        Call,
        Export, // an exported function of the mod called directly
        Member, // a conversion member of the core, called by a module linked against the mod
        Reinstall, // Ctrl+R: uninstall, unload, load, start_mod and, once started, the engine callbacks
        Check,
    };

    struct Step
    {
        size_t Index = 0; // 1-based
        std::string Section;
        std::string Note;
        Action Kind = Action::Check;
        double Seconds = 0.0;
        double Frame = 1.0 / 60.0;
        bool Paced = false; // frames at the wall clock's pace
        std::string Function;
        std::string On;
        std::vector<ParamExpect> Args;
        std::vector<BytesAt> Bytes;
        std::string Export;
        std::string As;                       // remembers an export's answer under this name
        std::optional<std::string> With;      // uninstall_mod's argument: a remembered mod, "mod", or null
        std::string Member;                   // FStringToUtf8, NarrowToFString or WideToFString
        Value Text;                           // the member's argument
        Expectations Expect;
    };

    struct Scenario
    {
        std::string File;
        std::string Name;
        std::string Description;
        std::vector<LibraryDecl> Libraries;
        size_t FillerObjects = 0; // other live objects, before the Blueprint half
        size_t FillerPackages = 0; // 0: one per 1,000 objects
        std::vector<StructDecl> Structs;
        std::vector<ClassDecl> Classes;
        std::vector<ObjectDecl> Objects;
        std::vector<TableDecl> Tables;
        std::vector<FileDecl> Files;
        FaultDecl Faults;
        std::vector<Step> Steps;
    };

    [[nodiscard]] auto TypeName(Type Kind) -> const char*;
} // namespace BRMB::Sim
