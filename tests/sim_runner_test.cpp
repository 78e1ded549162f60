// The simulator's own behaviour: scenarios it must refuse (and where it says the fault is), and
// the command line as a user runs it: exit codes, the difference shown on a failure, the log
// file and the working folder.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "sim/loader.hpp"
#include "sim/paths.hpp"
#include "sim/report.hpp"
#include "sim/rows.hpp"
#include "sim/runner.hpp"
#include "sim/workdir.hpp"
#include "support/scratch_folder.hpp"

#if !defined(_WIN32)
#  include <sys/wait.h>
#endif

namespace
{
    using BRMB::Sim::InvalidScenario;
    namespace fs = std::filesystem;

    auto Has(const std::string& Text, const std::string& Part) -> bool
    {
        return Text.find(Part) != std::string::npos;
    }

    struct Refusal
    {
        const char* Case;
        const char* Json;
        size_t Step;
        const char* Field;
        const char* Problem; // a part of the message
    };

    // Where the complaint points, or a failure naming what was accepted.
    auto Check(const Refusal& Expected, bool Validate) -> void
    {
        SCOPED_TRACE(Expected.Case);
        try
        {
            const auto Plan = BRMB::Sim::ParseScenario(Expected.Json, "case.json");
            if (Validate)
            {
                BRMB::Sim::Validate(Plan);
            }
            ADD_FAILURE() << "accepted";
        }
        catch (const InvalidScenario& Error)
        {
            EXPECT_EQ(Error.File, "case.json");
            EXPECT_EQ(Error.Step, Expected.Step) << Error.what();
            EXPECT_EQ(Error.Field, Expected.Field) << Error.what();
            EXPECT_NE(Error.Problem.find(Expected.Problem), std::string::npos) << Error.what();
        }
    }

    TEST(ScenarioLoader, RefusesMalformedFilesNamingStepAndField)
    {
        const Refusal Cases[] = {
            {"malformed JSON", "{\"steps\": [\n  {\"tick\": 1},\n]}", 0, "", "line 3"},
            {"unknown top-level field", R"({"stepz": []})", 0, "stepz", "unknown field"},
            {"steps missing", R"({"name": "x"})", 0, "steps", "missing"},
            {"misspelt step field", R"({"steps": [{"tick": 1}, {"tick": 1, "exepct": {}}]})", 2, "exepct",
             "unknown field"},
            {"seconds as text", R"({"steps": [{"tick": {"seconds": "1"}}]})", 1, "tick.seconds", "wrong type"},
            {"frame of zero", R"({"steps": [{"tick": {"seconds": 1, "frame": 0}}]})", 1, "tick.frame", "above 0"},
            {"two actions", R"({"steps": [{"tick": 1, "start": true}]})", 1, "", "one of start, tick, call"},
            {"nothing to do", R"({"steps": [{"note": "idle"}]})", 1, "", "needs one of start, tick, call, export, member, reinstall or expect"},
            {"args without call", R"({"steps": [{"tick": 1, "args": {}}]})", 1, "", "belong to a call"},
            {"call without target", R"({"steps": [{"call": "VEXA_CPP_SaveFile"}]})", 1, "on", "missing"},
            {"argument of two types", R"({"steps": [{"call": "F", "on": "VEXA", "args": {"Path": {"text": "a", "name": "b"}}}]})",
             1, "args.Path.name", "unknown field"},
            {"entry that is not a number",
             R"({"steps": [{"call": "F", "on": "VEXA", "args": {"EntryID": {"entry": "0xZZ"}}}]})", 1,
             "args.EntryID.entry", "hex digits"},
            {"odd hex bytes", R"({"steps": [{"call": "F", "on": "VEXA", "bytes": [{"offset": 0, "hex": "abc"}]}]})", 1,
             "bytes[0].hex", "pairs of hex digits"},
            {"second start", R"({"steps": [{"start": true}, {"tick": 1}, {"start": true}]})", 3, "start", "only once"},
            {"parameters after a tick", R"({"steps": [{"tick": 1, "expect": {"params": {"Path": "x"}}}]})", 1, "expect",
             "after a call"},
            {"log level out of range", R"({"steps": [{"tick": 1, "expect": {"log": [{"text": "a", "level": 9}]}}]})", 1,
             "expect.log[0].level", "at most 4"},
            {"file outside the working folder", R"({"files": [{"path": "../escape.txt"}], "steps": []})", 0,
             "files[0].path", "inside the working folder"},
            {"absolute file", R"({"files": [{"path": "/etc/passwd", "text": "x"}], "steps": []})", 0, "files[0].path",
             "inside the working folder"},
            {"unknown file mode", R"({"files": [{"path": "a", "mode": "hidden"}], "steps": []})", 0, "files[0].mode",
             "normal, readonly or unreadable"},
            {"header without storage that claims nothing",
             R"({"blueprint": {"dataTables": [{"name": "T", "rows": [{"name": "R", "selectionSetHeader": {"num": 0, "max": 0}}]}]}, "steps": []})",
             0, "blueprint.dataTables[0].rows[0].selectionSetHeader", "num below 0, num above max or max above 0"},
            {"unknown type", R"({"blueprint": {"classes": [{"name": "C", "variables": [{"name": "V", "type": "string"}]}]}, "steps": []})",
             0, "blueprint.classes[0].variables[0].type", "unknown type"},
            {"hook key without owner", R"({"steps": [{"tick": 1, "expect": {"hooks": {"VEXA_CPP_SaveFile": 1}}}]})", 1,
             "expect.hooks.VEXA_CPP_SaveFile", "Owner.Function"},
            {"count past the units", R"({"steps": [{"call": "F", "on": "VEXA", "args": {"Text": {"utf16": [97], "count": 3}}}]})", 1,
             "args.Text.count", "past the units"},
            {"unknown export", R"({"steps": [{"export": "VEXA_Nope"}]})", 1, "export", "allowed values"},
            {"uninstall without its argument", R"({"steps": [{"export": "uninstall_mod"}]})", 1, "with", "missing"},
        };
        for (const auto& Case : Cases)
        {
            Check(Case, false);
        }
    }

    // Long values are read in time linear in their length and with a stack that does not grow
    // with it: a hex text of 200,000 bytes (the default matcher overflowed at 11,000), a long object path; a long odd hex text is refused.
    TEST(ScenarioLoader, ReadsLongValuesWithoutRecursion)
    {
        constexpr size_t Bytes = 200'000;
        std::string Hex;
        for (size_t Index = 0; Index < Bytes; ++Index)
        {
            Hex += Index % 2 == 0 ? "ab " : "cd ";
        }
        const auto Row = [](const std::string& Text) {
            return R"({"blueprint": {"dataTables": [{"name": "T", "rows": [{"name": "R", "bytes": [{"offset": 0, "hex": ")" + Text +
                   R"("}]}]}]}, "steps": []})";
        };
        const auto Plan = BRMB::Sim::ParseScenario(Row(Hex), "case.json");
        ASSERT_EQ(Plan.Tables.at(0).Rows.at(0).Bytes.at(0).Bytes.size(), Bytes);
        EXPECT_EQ(Plan.Tables.at(0).Rows.at(0).Bytes.at(0).Bytes.substr(Bytes - 2), "\xab\xcd");

        const std::string Path = "/Game/" + std::string(Bytes, 'a') + ".BP_A_C";
        const auto Long = BRMB::Sim::ParseScenario(R"({"blueprint": {"classes": [{"path": ")" + Path + R"("}]}, "steps": []})",
                                                   "case.json");
        EXPECT_EQ(Long.Classes.at(0).Name, "BP_A_C");

        const std::string OddHex = Row(Hex + "a");
        const std::string LongKey = R"({"steps": [{"tick": 1, "expect": {"hooks": {")" + std::string(Bytes, 'a') + R"(.F": 1}}}]})";
        const Refusal Cases[] = {
            {"odd long hex", OddHex.c_str(), 0, "blueprint.dataTables[0].rows[0].bytes[0].hex", "pairs of hex digits"},
            {"long hook key", LongKey.c_str(), 0, "", "a field name of 200002 characters"},
        };
        for (const auto& Case : Cases)
        {
            Check(Case, false);
        }
    }

    TEST(ScenarioValidation, RefusesReferencesTheBlueprintHalfLacks)
    {
        const Refusal Cases[] = {
            {"code units for a narrow member", R"({"steps": [{"member": "NarrowToFString", "text": {"utf16": [97]}}]})", 1,
             "text", "a narrow string is text"},
            {"unknown function", R"({"steps": [{"call": "VEXA_CPP_ReadFile", "on": "VEXA"}]})", 1, "call",
             "unknown function VEXA_CPP_ReadFile on VEXA"},
            {"function the library lacks",
             R"({"blueprint": {"libraries": {"VEXA": {"lacks": ["VEXA_CPP_SaveFile"]}}}, "steps": [{"tick": 1}, {"call": "VEXA_CPP_SaveFile", "on": "VEXA"}]})",
             2, "call", "unknown function"},
            {"library left out", R"({"blueprint": {"libraries": {"BRMB": false}}, "steps": [{"call": "BRMB_CPP_RegisterProxy", "on": "BRMB"}]})",
             1, "on", "not part of this scenario"},
            {"unknown target", R"({"steps": [{"call": "VEXA_CPP_FindFirstOf", "on": "Actor"}]})", 1, "on",
             "names no library or object"},
            {"unknown parameter", R"({"steps": [{"call": "VEXA_CPP_SaveFile", "on": "VEXA", "args": {"Folder": "x"}}]})", 1,
             "args.Folder", "has no parameter Folder (it has Path, FileName, Content)"},
            {"text for an object", R"({"steps": [{"call": "VEXA_CPP_RegisterWorldActor", "on": "VEXA", "args": {"Actor": "Me"}}]})",
             1, "args.Actor", "expected object, got text"},
            {"object that does not exist",
             R"({"steps": [{"call": "VEXA_CPP_RegisterWorldActor", "on": "VEXA", "args": {"Actor": {"object": "Ghost"}}}]})", 1,
             "args.Actor", "Ghost names no object"},
            {"bytes past the block", R"({"steps": [{"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "bytes": [{"offset": 12, "hex": "0102030405"}]}]})",
             1, "bytes[0]", "past the parameter block of 16 bytes"},
            {"lacking an unknown function", R"({"blueprint": {"libraries": {"VEXA": {"lacks": ["VEXA_CPP_Nope"]}}}, "steps": []})", 0,
             "blueprint.libraries.VEXA.lacks", "no function VEXA_CPP_Nope"},
            {"object of an unknown class", R"({"blueprint": {"objects": [{"name": "A", "class": "BP_Nope_C"}]}, "steps": []})", 0,
             "blueprint.objects[0].class", "names no class"},
            {"object named like a library", R"({"blueprint": {"objects": [{"name": "VEXA", "class": "BRMB_Proxy_C"}]}, "steps": []})",
             0, "blueprint.objects[0].name", "already the name"},
            {"standard class given a function it lacks",
             R"({"blueprint": {"classes": [{"name": "BRMB_Proxy_C", "functions": [{"name": "F"}]}]}, "steps": []})", 0,
             "blueprint.classes[0].functions[0].name", "BRMB_Proxy_C has no function F"},
            {"standard class given variables",
             R"({"blueprint": {"classes": [{"name": "BRMB_Proxy_C", "variables": [{"name": "V", "type": "int32"}]}]}, "steps": []})", 0,
             "blueprint.classes[0].name", "can only take functions away"},
            {"variable the class lacks",
             R"({"blueprint": {"objects": [{"name": "P", "class": "BRMB_Proxy_C", "variables": {"ObjectRef": {"object": null}}}]}, "steps": []})",
             0, "blueprint.objects[0].variables.ObjectRef", "no variable ObjectRef"},
            {"expected variable of the wrong kind",
             R"({"blueprint": {"objects": [{"name": "A", "class": "VEXA_WorldActor_C"}]}, "steps": [{"expect": {"variables": {"A": {"ObjectRefs": {"object": null}}}}}]})",
             1, "expect.variables.A.ObjectRefs", "expected objects, got object"},
            {"row the table lacks",
             R"({"blueprint": {"dataTables": [{"name": "T", "rows": [{"name": "R"}]}]}, "steps": [{"expect": {"rows": {"T": {"Nope": {"entries": []}}}}}]})",
             1, "expect.rows.T.Nope", "has no row Nope"},
            {"hook on an unknown owner", R"({"steps": [{"expect": {"hooks": {"BP_Nope_C.VEXA_CPP_FindFirstOf": 1}}}]})", 1,
             "expect.hooks.BP_Nope_C.VEXA_CPP_FindFirstOf", "neither a library"},
            {"fault for an unknown function", R"({"faults": {"registerHookFails": ["VEXA_CPP_Nope"]}, "steps": []})", 0,
             "faults.registerHookFails", "no function"},
            {"uninstalling a mod never started", R"({"steps": [{"export": "uninstall_mod", "with": "Other"}]})", 1, "with",
             "no mod object that start_mod answered"},
            {"remembering what answers nothing", R"({"steps": [{"export": "VEXA_FunctionYo", "as": "Yo"}]})", 1, "as",
             "answers nothing"},
            {"answer never remembered", R"({"steps": [{"expect": {"answers": {"Core": {"null": false}}}}]})", 1,
             "expect.answers.Core", "no answer remembered"},
            {"a listing as an argument", R"({"steps": [{"call": "VEXA_CPP_DoesFileExist", "on": "VEXA", "args": {"Path": {"names": []}}}]})",
             1, "args.Path", "compares an answer"},
            {"named object used before it is named",
             R"({"blueprint": {"objects": [{"name": "A", "class": "VEXA_WorldActor_C"}]}, "steps": [{"expect": {"variables": {"A": {"ObjectRef": {"object": "Spawned"}}}}}, {"expect": {"variables": {"A": {"ObjectRef": {"objectOfClass": "VEXA_WorldActor_C", "as": "Spawned"}}}}}]})",
             1, "expect.variables.A.ObjectRef.object", "Spawned names no object"},
            {"structure declared later",
             R"({"blueprint": {"structs": [{"name": "A", "members": [{"name": "B", "type": "structs", "struct": "Later"}]}]}, "steps": []})",
             0, "blueprint.structs[0].members[0].struct", "declared before it"},
            {"value of a member the row lacks",
             R"({"blueprint": {"structs": [{"name": "S", "members": [{"name": "N", "type": "int32"}]}], "dataTables": [{"name": "T", "rowStruct": "S", "rows": [{"name": "R", "values": {"M": 1}}]}]}, "steps": []})",
             0, "blueprint.dataTables[0].rows[0].values", "M: the structure has no such member"},
            {"bytes past the row", R"({"blueprint": {"dataTables": [{"name": "T", "rows": [{"name": "R", "bytes": [{"offset": 47, "hex": "0102"}]}]}]}, "steps": []})",
             0, "blueprint.dataTables[0].rows[0].bytes[0]", "past the row of 48 bytes"},
        };
        for (const auto& Case : Cases)
        {
            Check(Case, true);
        }
    }

    TEST(ScenarioValidation, AcceptsEveryScenarioFile)
    {
        for (const auto& Entry : fs::directory_iterator(BRAMBLEON_SCENARIOS))
        {
            SCOPED_TRACE(Entry.path().string());
            EXPECT_NO_THROW(BRMB::Sim::Validate(BRMB::Sim::LoadScenario(Entry.path().string())));
        }
    }

    // docs/scenario.schema.json is what editors check files against: the format the loader reads,
    // written out with --schema.
    TEST(ScenarioLoader, PublishedSchemaIsTheOneFilesAreCheckedAgainst)
    {
        std::ifstream In(fs::path(BRAMBLEON_SCENARIOS) / ".." / "docs" / "scenario.schema.json", std::ios::binary);
        ASSERT_TRUE(In);
        std::ostringstream Published;
        Published << In.rdbuf();
        auto Text = Published.str();
        std::erase(Text, '\r');
        EXPECT_EQ(Text, BRMB::Sim::ScenarioSchema()) << "write it again with brambleon-sim --schema";
    }

    // Every kind of expectation must notice when it does not hold: each case is a step whose
    // expectation is wrong, after a start that registers an actor and a proxy, remembers an
    // export's answer and constructs an object. The worked scenarios show each kind holding.
    TEST(ScenarioRunner, EveryKindOfExpectationFailsWhenItDoesNotHold)
    {
        const std::string Start = R"({
          "blueprint": {
            "classes": [ { "name": "BP_Enemy_C" } ],
            "objects": [ { "name": "Actor", "class": "VEXA_WorldActor_C" }, { "name": "Proxy", "class": "BRMB_Proxy_C" },
                         { "name": "Goblin", "class": "BP_Enemy_C" },
                         { "name": "Broken", "class": "VEXA_WorldActor_C", "variables": { "ObjectRefs": { "header": { "num": 3, "max": 1 } } } } ],
            "dataTables": [ { "name": "T", "rows": [ { "name": "R", "selectionSets": [ { "entries": [1, 2] } ] },
                                                     { "name": "E", "selectionSets": [ { "entries": [1], "capacity": 1 } ] },
                                                     { "name": "Bare", "bytes": [ { "offset": 0, "hex": "ff" } ] },
                                                     { "name": "O", "selectionSets": [ { "entries": [1], "capacity": 1, "count": 5 } ] } ] } ]
          },
          "files": [ { "path": "a.txt", "text": "abc" }, { "path": "d/x.txt", "text": "" } ],
          "steps": [
            { "tick": 1.0 },
            { "call": "VEXA_CPP_RegisterWorldActor", "on": "VEXA", "args": { "Actor": { "object": "Actor" } } },
            { "call": "VEXA_CPP_FindAllOf", "on": "Actor", "args": { "ClassName": "BP_Enemy_C" } },
            { "call": "BRMB_CPP_RegisterProxy", "on": "BRMB", "args": { "Proxy": { "object": "Proxy" } } },
            { "export": "Get_VEXA_CORE", "as": "Core" },
            { "call": "VEXA_CPP_NewObject", "on": "Actor", "args": { "Outer": { "object": "Actor" }, "Class": { "class": "BP_Enemy_C" } },
              "expect": { "variables": { "Actor": { "ObjectRef": { "objectOfClass": "BP_Enemy_C", "as": "Made" } } } } },
            )";
        struct Case
        {
            const char* Step;
            const char* What;
            const char* Shown = ""; // a part of what the failure shows
        };
        const Case Cases[] = {
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "a"}, "expect": {"log": [{"text": "a", "level": 2}]}})",
             "log lines"},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "a"}, "expect": {"log": ["a", "b"]}})",
             "log lines"},
            {R"({"call": "VEXA_CPP_RegisterWorldActor", "on": "VEXA", "args": {"Actor": {"object": "Proxy"}}, "expect": {"logContains": ["VEXA : SetNewWorldActor : Finished SetNewWorldActor", "VEXA : SetNewWorldActor"]}})",
             "log lines in this order, missing \"VEXA : SetNewWorldActor\""},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "abc"}, "expect": {"logLacks": [{"contains": "b"}]}})",
             "a line that must not appear"},
            {R"({"call": "VEXA_CPP_DoesFileExist", "on": "VEXA", "args": {"Path": "a.txt"}, "expect": {"params": {"Path": "false"}}})",
             "parameter Path"},
            {R"({"call": "VEXA_CPP_RegisterWorldActor", "on": "VEXA", "args": {"Actor": {"object": "Actor"}}, "expect": {"params": {"Actor": {"object": "Actor"}}}})",
             "parameter Actor"},
            {R"({"call": "BRMB_CPP_TestDT", "on": "Proxy", "args": {"RowName": {"name": "R"}, "EntryID": {"entry": 3}}, "expect": {"params": {"RowName": {"name": "S"}}}})",
             "parameter RowName"},
            {R"({"call": "BRMB_CPP_TestDT", "on": "Proxy", "args": {"EntryID": {"entry": 3}}, "expect": {"params": {"EntryID": {"entry": 4}}}})",
             "parameter EntryID"},
            {R"({"call": "BRMB_CPP_TestDT", "on": "Proxy", "args": {"EntryID": {"entry": 3}}, "expect": {"paramBytes": [{"offset": 24, "hex": "04"}]}})",
             "parameter bytes at offset 24"},
            {R"({"expect": {"variables": {"Actor": {"ObjectRefs": {"objects": ["Goblin", "Goblin"]}}}}})", "variable ObjectRefs of Actor"},
            {R"({"expect": {"variables": {"Actor": {"ObjectRefs": {"capacity": 8}}}}})", "capacity of variable ObjectRefs of Actor"},
            {R"({"expect": {"variables": {"Actor": {"ObjectRef": {"object": "Goblin"}}}}})", "variable ObjectRef of Actor"},
            {R"({"expect": {"variables": {"Actor": {"ObjectRef": {"objectOfClass": "VEXA_WorldActor_C"}}}}})", "variable ObjectRef of Actor",
             "seen:     Made of class BP_Enemy_C"},
            {R"({"expect": {"rows": {"T": {"R": {"entries": [1, 2, 3]}}}}})", "entries of T.R, selection set 0"},
            {R"({"expect": {"rows": {"T": {"R": {"entries": [1, 2], "capacity": 5}}}}})", "capacity of entries of T.R"},
            {R"({"expect": {"rows": {"T": {"R": {"set": 1, "entries": []}}}}})", "entries of T.R, selection set 1"},
            {R"({"expect": {"files": [{"path": "a.txt", "text": "abd"}]}})", "file a.txt"},
            {R"({"expect": {"files": [{"path": "a.txt", "exists": false}]}})", "file a.txt"},
            {R"({"expect": {"files": [{"path": "a.txt", "folder": true}]}})", "file a.txt"},
            {R"({"expect": {"files": [{"path": "b.txt", "hex": "00"}]}})", "file b.txt"},
            {R"({"expect": {"hooks": {"VEXA.VEXA_CPP_SaveFile": 2}}})", "hooks on VEXA.VEXA_CPP_SaveFile"},
            {R"({"expect": {"tickCallbacks": 1}})", "engine-tick callbacks registered"},
            {R"({"export": "VEXA_FunctionYo", "expect": {"log": [{"text": "VEXA_FunctionYo Was Called!", "level": 2, "newline": true}]}})",
             "log lines", "\"VEXA_FunctionYo Was Called!\" without a newline at level 2"},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "a"}, "expect": {"logAnyOrder": ["b", "a"]}})",
             "log lines in any order, missing \"b\""},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "a"}, "expect": {"logAnyOrder": []}})",
             "log lines in any order, and no others"},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": {"utf16": [97]}}, "expect": {"params": {"Text": {"utf16": [98]}}}})",
             "parameter Text", "seen:     [0x0061, 0x0000]"},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "a"}, "expect": {"params": {"Text": {"text": null}}}})",
             "parameter Text", "expected: no storage"},
            {R"({"call": "VEXA_CPP_GetNamesFromDir", "on": "VEXA", "args": {"Path": "d"}, "expect": {"params": {"Path": {"names": ["y.txt"]}}}})",
             "parameter Path", "seen:     [x.txt] from \"|x.txt|\""},
            {R"({"expect": {"files": [{"path": "d", "entries": ["x.txt", "y.txt"]}]}})", "entries of folder d", "seen:     [x.txt]"},
            {R"({"export": "Get_VEXA_Anim_CORE", "as": "Anim", "expect": {"answers": {"Anim": {"sameAs": "Core"}}}})", "answer Anim",
             "expected: the same as Core"},
            {R"({"export": "Get_VEXA_CORE", "as": "Again", "expect": {"answers": {"Again": {"differentFrom": "Core"}}}})", "answer Again"},
            {R"({"export": "Get_VEXA_CORE", "as": "Again", "expect": {"answers": {"Again": {"null": true}}}})", "answer Again"},
            {R"({"member": "FStringToUtf8", "text": "\u00e9", "expect": {"answer": "e"}})", "FStringToUtf8's answer",
             "seen:     \"\u00e9\" (c3 a9)"},
            {R"({"member": "WideToFString", "text": {"utf16": [97, 0, 98]}, "expect": {"answer": {"utf16": [97, 0, 98]}}})",
             "WideToFString's answer", "seen:     [0x0061, 0x0000]"},
            {R"({"call": "VEXA_CPP_NewObject", "on": "Actor", "args": {"Outer": {"object": "Actor"}, "Class": {"class": "BP_Enemy_C"}}, "expect": {"constructed": [{"class": "BP_Enemy_C", "outer": "Goblin"}]}})",
             "construction 1: outer", "seen:     Actor"},
            {R"({"call": "VEXA_CPP_NewObject", "on": "Actor", "args": {"Outer": {"object": "Actor"}, "Class": {"class": "BP_Enemy_C"}}, "expect": {"constructed": [{"copyTransients": true}]}})",
             "construction 1: copyTransients"},
            {R"({"expect": {"constructed": [{}]}})", "constructions asked of the engine"},
            {R"({"expect": {"liveObjects": {"BP_Enemy_C": 3}}})", "live objects of BP_Enemy_C", "seen:     2"},
            {R"({"expect": {"variables": {"Actor": {"ObjectRef": {"object": "Goblin"}}}}})", "variable ObjectRef of Actor",
             "seen:     Made"},
            {R"({"expect": {"variables": {"Actor": {"ObjectRef": {"objectOfClass": "BP_Enemy_C", "outer": "Goblin"}}}}})",
             "outer of Made", "seen:     Actor"},
            {R"({"expect": {"variables": {"Actor": {"ObjectRefs": {"moved": true}}}}})", "storage of variable ObjectRefs of Actor"},
            {R"({"expect": {"rows": {"T": {"Bare": {"bytes": [{"offset": 0, "hex": "00"}]}}}}})", "bytes of T.Bare at offset 0",
             "seen:     ff"},
            {R"({"expect": {"rows": {"T": {"Bare": {"entries": [5]}}}}})", "entries of T.Bare, selection set 0",
             "the row has 0 selection sets"},
            {R"({"expect": {"rows": {"T": {"E": {"capacity": 4}}}}})", "capacity of entries of T.E", "seen:     1"},
            {R"({"expect": {"rows": {"T": {"E": {"count": 2}}}}})", "count of entries of T.E", "seen:     1"},
            {R"({"call": "BRMB_CPP_AddObjectSelectionSetID", "on": "Proxy", "args": {"DataTable": {"object": "T"}, "RowName": {"name": "E"}, "EntryID": {"entry": 2}}, "expect": {"rows": {"T": {"E": {"moved": false}}}}})",
             "storage of entries of T.E", "seen:     moved"},
            {R"({"expect": {"rows": {"T": {"R": {"sets": [{"entries": [1, 2]}, {"entries": []}]}}}}})",
             "entries of T.R, selection set 1", "the row has 1 selection sets"},
            // A corrupt header's count, capacity and storage are still read and checked.
            {R"({"expect": {"rows": {"T": {"O": {"count": 5, "capacity": 2}}}}})", "capacity of entries of T.O, selection set 0",
             "seen:     1"},
            {R"({"expect": {"rows": {"T": {"O": {"sets": [{"count": 5, "capacity": 2}]}}}}})",
             "capacity of entries of T.O, selection set 0", "seen:     1"},
            {R"({"expect": {"rows": {"T": {"O": {"count": 5, "moved": true}}}}})", "storage of entries of T.O, selection set 0",
             "seen:     where it was"},
            {R"({"expect": {"rows": {"T": {"O": {"count": 5, "entries": [1]}}}}})", "entries of T.O, selection set 0",
             "seen:     corrupt header (num 5, max 1)"},
            {R"({"expect": {"variables": {"Broken": {"ObjectRefs": {"count": 3, "capacity": 2}}}}})",
             "capacity of variable ObjectRefs of Broken", "seen:     1"},
            {R"({"expect": {"variables": {"Broken": {"ObjectRefs": {"count": 3, "moved": true}}}}})",
             "storage of variable ObjectRefs of Broken", "seen:     where it was"},
            // A listing is "|" and each name followed by "|".
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "x.txt|"}, "expect": {"params": {"Text": {"names": ["x.txt"]}}}})",
             "parameter Text", "seen:     not a listing from \"x.txt|\""},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "|x.txt"}, "expect": {"params": {"Text": {"names": ["x.txt"]}}}})",
             "parameter Text", "not a listing"},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "||x.txt|"}, "expect": {"params": {"Text": {"names": ["x.txt"]}}}})",
             "parameter Text", "not a listing"},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": "|x.txt||"}, "expect": {"params": {"Text": {"names": ["x.txt"]}}}})",
             "parameter Text", "not a listing"},
            {R"({"call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA", "args": {"Text": ""}, "expect": {"params": {"Text": {"names": []}}}})",
             "parameter Text", "not a listing"},
            {R"({"expect": {"posix": {"files": [{"path": "a.txt", "text": "abd"}]}, "windows": {"files": [{"path": "a.txt", "text": "abd"}]}}})",
             "file a.txt"},
        };
        BRMB::Sim::Options Settings;
        Settings.ModPath = BRAMBLEON_MOD_PATH;
        Settings.Quiet = true;
        for (const auto& Wrong : Cases)
        {
            SCOPED_TRACE(Wrong.Step);
            const auto Plan = BRMB::Sim::ParseScenario(Start + Wrong.Step + "]}", "case.json");
            BRMB::Sim::Validate(Plan);
            std::ostringstream Out;
            BRMB::Sim::Reporter Report(Out, Settings);
            EXPECT_FALSE(BRMB::Sim::RunScenario(Plan, Settings, Report));
            EXPECT_TRUE(Out.str().find("case.json, step 7 (") != std::string::npos) << Out.str();
            EXPECT_TRUE(Out.str().find(std::string("): ") + Wrong.What) != std::string::npos) << Out.str();
            EXPECT_TRUE(Out.str().find(Wrong.Shown) != std::string::npos) << Out.str();
            EXPECT_FALSE(Report.Summary());
        }
    }

    TEST(ScenarioPaths, OnlyRelativePathsThatStayInsideAreAccepted)
    {
        const std::pair<const char*, bool> Cases[] = {
            {"a.txt", true},          {"Saves/slot1.txt", true}, {"Saves\\slot1.txt", true}, {"a..b/c", true},
            {"../a.txt", false},      {"Saves/../../a", false},  {"Saves\\..\\..\\a", false}, {"..", false},
            {"/etc/passwd", false},   {"\\server\\x", false}, {"C:/Windows", false},        {"C:x", false},
            {"", false},
        };
        for (const auto& [Path, Inside] : Cases)
        {
            EXPECT_EQ(BRMB::Sim::IsInsideWorkdir(Path), Inside) << Path;
        }
    }

    TEST(ScenarioRows, CorruptHeadersAreReportedNotRead)
    {
        alignas(8) std::array<uint8_t, 16> Header{};
        BRMB::Sim::WriteCorruptHeader(Header.data(), {3, 1});
        const auto Corrupt = BRMB::Sim::ReadArray8(Header.data());
        EXPECT_TRUE(Corrupt.Elements.empty());
        EXPECT_EQ(Corrupt.Problem, "corrupt header (num 3, max 1)");

        BRMB::Sim::WriteCorruptHeader(Header.data(), {-1, 4});
        EXPECT_EQ(BRMB::Sim::ReadArray8(Header.data()).Problem, "corrupt header (num -1, max 4)");

        const std::array<uint8_t, 16> Empty{};
        const auto Nothing = BRMB::Sim::ReadArray8(Empty.data());
        EXPECT_TRUE(Nothing.Problem.empty());
        EXPECT_TRUE(Nothing.Elements.empty());
        EXPECT_EQ(Nothing.Capacity, 0);
    }

#if !defined(_WIN32)
    // Modes as the scenario asks, open to others only when the host restricts Blueprint calls, and
    // a folder that removes itself even when locked folders are inside.
    TEST(ScenarioWorkdir, LaysOutModesAndCleansUpLockedFolders)
    {
        using BRMB::Sim::FileDecl;
        using BRMB::Sim::FileMode;
        using fs::perms;
        const auto Caller = fs::current_path();
        fs::path Made;
        {
            BRMB::Sim::Workdir Folder(false);
            Made = Folder.Path();
            EXPECT_EQ(fs::current_path(), Made);
            Folder.LayOut({FileDecl{"Saves/a.txt", false, "abc", FileMode::Normal},
                           FileDecl{"Saves/ro.txt", false, "x", FileMode::ReadOnly},
                           FileDecl{"Locked", true, "", FileMode::Unreadable},
                           FileDecl{"Locked/inner.txt", false, "y", FileMode::Normal}},
                          true);
            const auto Mode = [&](const char* Path) { return fs::status(Made / Path).permissions() & perms::all; };
            EXPECT_EQ(Mode("."), perms::all);
            EXPECT_EQ(Mode("Saves"), perms::all);
            EXPECT_EQ(Mode("Saves/ro.txt"), perms::owner_read | perms::group_read | perms::others_read);
            EXPECT_EQ(Mode("Locked"), perms::none);
            EXPECT_EQ(Mode("Saves/a.txt") & perms::others_write, perms::others_write);
            std::ifstream In(Made / "Saves/a.txt");
            std::string Text;
            In >> Text;
            EXPECT_EQ(Text, "abc");
        }
        EXPECT_EQ(fs::current_path(), Caller);
        EXPECT_FALSE(fs::exists(Made));
    }
#endif

    TEST(ScenarioReport, SumsUpOneScenarioBySectionAndSeveralByScenario)
    {
        BRMB::Sim::Options Settings;
        Settings.Quiet = true;
        const auto One = BRMB::Sim::ParseScenario(
            R"({"name": "One", "steps": [{"section": "files", "tick": 1}, {"tick": 1}, {"section": "log", "tick": 1}]})", "one.json");
        const auto Two = BRMB::Sim::ParseScenario(R"({"name": "Two", "steps": [{"tick": 1}]})", "two.json");

        std::ostringstream Single;
        BRMB::Sim::Reporter Report(Single, Settings);
        Report.BeginScenario(One);
        for (const auto& Current : One.Steps)
        {
            Report.BeginStep(Current);
            Report.Held(Current);
        }
        Report.Failed(One, &One.Steps[2], "what", "a", "b");
        Report.EndScenario(One, false);
        EXPECT_FALSE(Report.Summary());
        EXPECT_TRUE(Has(Single.str(), "  files  ok      2 held\n")) << Single.str();
        EXPECT_TRUE(Has(Single.str(), "  log    FAILED  1 held, 1 failed\n")) << Single.str();
        EXPECT_TRUE(Has(Single.str(), "1 scenario, 3 steps, 3 expectations held, 1 failed: FAILED")) << Single.str();

        std::ostringstream Several;
        BRMB::Sim::Reporter Both(Several, Settings);
        for (const auto* Plan : {&One, &Two})
        {
            Both.BeginScenario(*Plan);
            Both.BeginStep(Plan->Steps[0]);
            Both.Held(Plan->Steps[0]);
            Both.EndScenario(*Plan, true);
        }
        EXPECT_TRUE(Both.Summary());
        EXPECT_TRUE(Has(Several.str(), "  One  ok      1 held\n  Two  ok      1 held\n")) << Several.str();
        EXPECT_FALSE(Has(Several.str(), "files")) << Several.str();
    }

    // Names and messages are escaped for XML, and a skipped scenario stays skipped through the
    // record its process hands back.
    TEST(ScenarioReport, JUnitEscapesTextsAndKeepsSkipsThroughTheRecord)
    {
        BRMB::Sim::Options Settings;
        Settings.Quiet = true;
        const auto Failing = BRMB::Sim::ParseScenario(R"({"name": "Fish & chips <hot>", "steps": [{"tick": 1}]})", "a&b.json");
        const auto Skipping = BRMB::Sim::ParseScenario(R"({"name": "Locked \"files\"", "steps": [{"tick": 1}]})", "locked.json");
        std::ostringstream Out;
        BRMB::Sim::Reporter Child(Out, Settings);
        Child.BeginScenario(Failing);
        Child.BeginStep(Failing.Steps[0]);
        Child.Failed(Failing, &Failing.Steps[0], "salt & vinegar", "<a>", "b & c");
        Child.EndScenario(Failing, false);
        const auto FailedRecord = Child.Record();
        Child.Skipped(Skipping, "modes & Windows");
        const auto SkippedRecord = Child.Record();

        BRMB::Sim::Reporter Parent(Out, Settings);
        Parent.Adopt(FailedRecord);
        Parent.Adopt(SkippedRecord);
        std::ostringstream Stream;
        Parent.WriteJUnit(Stream);
        const auto Xml = Stream.str();
        EXPECT_TRUE(Has(Xml, "tests=\"2\" failures=\"1\" errors=\"0\" skipped=\"1\"")) << Xml;
        EXPECT_TRUE(Has(Xml, "<testcase name=\"Fish &amp; chips &lt;hot&gt;\" classname=\"a&amp;b\" file=\"a&amp;b.json\">")) << Xml;
        EXPECT_TRUE(Has(Xml, "): salt &amp; vinegar\">")) << Xml;
        EXPECT_TRUE(Has(Xml, "  expected: &lt;a&gt;\n  seen:     b &amp; c\n</failure>")) << Xml;
        EXPECT_TRUE(Has(Xml, "<testcase name=\"Locked &quot;files&quot;\" classname=\"locked\" file=\"locked.json\">\n"
                             "      <skipped message=\"modes &amp; Windows\"/>\n    </testcase>\n"))
            << Xml;
        for (size_t At = Xml.find('&'); At != std::string::npos; At = Xml.find('&', At + 1))
        {
            const auto Rest = std::string_view(Xml).substr(At);
            EXPECT_TRUE(Rest.starts_with("&amp;") || Rest.starts_with("&lt;") || Rest.starts_with("&gt;") ||
                        Rest.starts_with("&quot;"))
                << "a bare & at " << At << " in\n" << Xml;
        }
    }

    struct Outcome
    {
        int Exit = -1;
        std::string Output;
    };

    // Runs the simulator with Arguments from Folder, standard output and errors together.
    auto RunSim(const std::string& Arguments, const fs::path& Folder) -> Outcome
    {
        const auto Previous = fs::current_path();
        fs::current_path(Folder);
        const std::string Command = "\"" + std::string(BRAMBLEON_SIM_PATH) + "\" " + Arguments + " 2>&1";
        Outcome Result;
#if defined(_WIN32)
        // cmd.exe drops the first and the last quote of a command line that holds more than two.
        FILE* Pipe = _popen(("\"" + Command + "\"").c_str(), "r");
#else
        FILE* Pipe = popen(Command.c_str(), "r");
#endif
        if (Pipe != nullptr)
        {
            std::array<char, 4096> Buffer{};
            size_t Read = 0;
            while ((Read = std::fread(Buffer.data(), 1, Buffer.size(), Pipe)) > 0)
            {
                Result.Output.append(Buffer.data(), Read);
            }
#if defined(_WIN32)
            Result.Exit = _pclose(Pipe);
#else
            const int Status = pclose(Pipe);
            Result.Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
#endif
        }
        fs::current_path(Previous);
        return Result;
    }

    auto BadScenario(const char* Name) -> std::string
    {
        return "\"" + (fs::path(BRAMBLEON_BAD_SCENARIOS) / Name).string() + "\"";
    }

    auto GoodScenario(const char* Name) -> std::string
    {
        return "\"" + (fs::path(BRAMBLEON_SCENARIOS) / Name).string() + "\"";
    }

    // A fresh empty folder to run the simulator from; it must stay empty. The simulator's own
    // temporary files and working folders go to a folder of the test's own, not the system's.
    class SimCommand : public testing::Test
    {
    protected:
        void SetUp() override
        {
            Folder = Scratch.MakeFolder("caller");
            Temporary = Scratch.MakeFolder("temporary");
            const auto Text = Temporary.string();
#if defined(_WIN32)
            _putenv_s("TMP", Text.c_str());
#else
            setenv("TMPDIR", Text.c_str(), 1);
#endif
        }
        void TearDown() override
        {
#if defined(_WIN32)
            _putenv_s("TMP", "");
#else
            unsetenv("TMPDIR");
#endif
        }

        BrambleonTest::ScratchFolder Scratch;
        fs::path Folder;
        fs::path Temporary;
    };

    TEST_F(SimCommand, InvalidScenarioExitsTwoNamingFileStepAndFieldAndRunsNothing)
    {
        struct Case
        {
            const char* File;
            const char* Where;
        };
        const Case Cases[] = {
            {"unknown_function.json", "step 2, field \"call\": unknown function VEXA_CPP_ReadFile on VEXA"},
            {"wrong_argument_type.json", "step 3, field \"args.RowName\": expected name, got text"},
            {"malformed.json", "malformed JSON: parse error at line 5, column 3"},
        };
        for (const auto& Bad : Cases)
        {
            SCOPED_TRACE(Bad.File);
            // A good scenario first: it must not run either.
            const auto Result = RunSim(GoodScenario("log_and_animation.json") + " " + BadScenario(Bad.File), Folder);
            EXPECT_EQ(Result.Exit, 2) << Result.Output;
            EXPECT_TRUE(Has(Result.Output, std::string(Bad.File) + ": " + Bad.Where)) << Result.Output;
            EXPECT_FALSE(Has(Result.Output, "VEXA_Core initialize has been ran.")) << Result.Output;
            EXPECT_FALSE(Has(Result.Output, "Summary")) << Result.Output;
        }
    }

    TEST_F(SimCommand, FailedExpectationExitsOneShowingStepExpectedAndSeen)
    {
        const auto Result = RunSim("--quiet " + BadScenario("failing_expectation.json"), Folder);
        EXPECT_EQ(Result.Exit, 1) << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "failing_expectation.json, step 2 (call VEXA_Anim_CPP_GetResponse on VEXA_Anim): "
                                       "parameter Request\n"
                                       "  expected: \"Waved back\"\n"
                                       "  seen:     \"CPPResponse\"\n"))
            << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "0 expectations held, 1 failed: FAILED")) << Result.Output;
        // The scenario stops at its failing step.
        EXPECT_FALSE(Has(Result.Output, "after the failure")) << Result.Output;
    }

    // The crash ends only its own scenario's process: the next scenario runs, the report says
    // how the process ended and shows the lines of the crashing step itself, the JUnit report
    // names the crashing step, and no working folder is left behind.
    TEST_F(SimCommand, CrashingModFailsItsScenarioNamingStepAndLastLinesAndTheRestRun)
    {
        const auto Result = RunSim("--quiet --junit results.xml " + BadScenario("crashing_mod.json") + " " +
                                       BadScenario("crash_after_logging.json") + " " + GoodScenario("log_and_animation.json"),
                                   Folder);
        EXPECT_EQ(Result.Exit, 1) << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "crashing_mod.json, step 3 (call VEXA_CPP_SendToUE4SSLog on VEXA): the scenario's "
                                       "process ended: "))
            << Result.Output;
        // Under the sanitizers the crash is their report's exit code; never a clean exit.
#if !defined(__SANITIZE_ADDRESS__)
#  if defined(_WIN32)
        EXPECT_TRUE(Has(Result.Output, "process ended: the mod crashed: exception 0xc0000005 (access violation)\n"))
#  else
        EXPECT_TRUE(Has(Result.Output, "process ended: the mod crashed: signal 11 ("))
#  endif
            << Result.Output;
#endif
        EXPECT_FALSE(Has(Result.Output, "exited with code 0")) << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "  last log lines:\n")) << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "    \"last words\\n\" at level 1\n")) << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "crash_after_logging.json, step 2 (call VEXA_CPP_RegisterWorldActor on VEXA)"))
            << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "    \"VEXA : SetNewWorldActor\\n\" at level 1\n")) << Result.Output;
        const auto Passed = Result.Output.find("  Blueprint log lines and the animation bridge ");
        ASSERT_NE(Passed, std::string::npos) << Result.Output;
        EXPECT_TRUE(Result.Output.substr(Passed, Result.Output.find('\n', Passed) - Passed).find(" ok ") != std::string::npos)
            << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "3 scenarios, ")) << Result.Output;
        EXPECT_TRUE(fs::is_empty(Temporary)) << "a crashed scenario left its working folder";

        std::ifstream In(Folder / "results.xml", std::ios::binary);
        std::stringstream Xml;
        Xml << In.rdbuf();
        EXPECT_TRUE(Has(Xml.str(), "tests=\"3\" failures=\"2\"")) << Xml.str();
        EXPECT_TRUE(Has(Xml.str(), "<testcase name=\"A corrupt text that takes the mod down\" classname=\"crashing_mod\"")) << Xml.str();
        EXPECT_TRUE(Has(Xml.str(), "<failure message=\"step 3 (call VEXA_CPP_SendToUE4SSLog on VEXA): the scenario's"
                                   " process ended: ")) << Xml.str();
        EXPECT_TRUE(Has(Xml.str(), "<testcase name=\"Fish &amp; chips: a step that logs")) << Xml.str();
        EXPECT_TRUE(Has(Xml.str(), "<testcase name=\"Blueprint log lines and the animation bridge\" classname=\"log_and_animation\""))
            << Xml.str();
    }

    TEST_F(SimCommand, QuietPrintsNoLogAndLoudPrintsItAll)
    {
        const auto Quiet = RunSim("--quiet " + GoodScenario("log_and_animation.json"), Folder);
        EXPECT_EQ(Quiet.Exit, 0) << Quiet.Output;
        EXPECT_FALSE(Has(Quiet.Output, "Idle->Wave")) << Quiet.Output;
        EXPECT_TRUE(Has(Quiet.Output, "PASSED")) << Quiet.Output;

        const auto Loud = RunSim(GoodScenario("log_and_animation.json"), Folder);
        EXPECT_EQ(Loud.Exit, 0) << Loud.Output;
        EXPECT_TRUE(Has(Loud.Output, "Idle->Wave\n")) << Loud.Output;
        EXPECT_TRUE(Has(Loud.Output, "step 5: call VEXA_Anim_CPP_GetResponse on VEXA_Anim")) << Loud.Output;
        // Piped output carries no colour codes.
        EXPECT_FALSE(Has(Loud.Output, "\x1b[")) << Loud.Output;
    }

    TEST_F(SimCommand, LogFileReceivesTheWholeLogEvenWhenQuiet)
    {
        const auto Result = RunSim("--quiet --log sim.log " + GoodScenario("log_and_animation.json"), Folder);
        EXPECT_EQ(Result.Exit, 0) << Result.Output;
        std::ifstream In(Folder / "sim.log", std::ios::binary);
        std::stringstream Log;
        Log << In.rdbuf();
        EXPECT_TRUE(Has(Log.str(), "VEXA_Core initialize has been ran.")) << Log.str();
        EXPECT_TRUE(Has(Log.str(), "Quest {0} started: \xc3\x96lm\xc3\xbchle")) << Log.str();
    }

    TEST_F(SimCommand, ScenarioFilesStayInsideTheirWorkingFolder)
    {
        const auto Result = RunSim("--quiet " + GoodScenario("files_save_and_load.json"), Folder);
        EXPECT_EQ(Result.Exit, 0) << Result.Output;
        EXPECT_TRUE(fs::is_empty(Folder)) << "the scenario wrote beside the caller";
    }

    TEST_F(SimCommand, KeptWorkingFolderHoldsWhatTheModWrote)
    {
        const auto Result = RunSim("--quiet --keep-workdir " + GoodScenario("files_save_and_load.json"), Folder);
        EXPECT_EQ(Result.Exit, 0) << Result.Output;
        const std::string Marker = "working folder kept: ";
        const auto At = Result.Output.find(Marker);
        ASSERT_NE(At, std::string::npos) << Result.Output;
        const auto End = Result.Output.find('\n', At);
        const fs::path Kept = Result.Output.substr(At + Marker.size(), End - At - Marker.size());
        EXPECT_TRUE(fs::exists(Kept / "Saves" / "Backup1.txt")) << Kept;
        EXPECT_TRUE(fs::is_directory(Kept / "Saves" / "Backup")) << Kept;
        fs::remove_all(Kept);
    }

    TEST_F(SimCommand, DemoPassesAndSumsUpEveryService)
    {
        const auto Result = RunSim("--quiet", Folder);
        EXPECT_EQ(Result.Exit, 0) << Result.Output;
        for (const char* Service : {"start-up", "discovery", "log", "files", "world actor", "animation bridge", "proxy",
                                    "data-table patch"})
        {
            EXPECT_TRUE(Has(Result.Output, "\n  " + std::string(Service) + " ")) << Service << "\n" << Result.Output;
        }
        EXPECT_TRUE(Has(Result.Output, "0 failed: PASSED")) << Result.Output;
    }

    TEST_F(SimCommand, ModThatCannotBeLoadedExitsThree)
    {
        const auto Result = RunSim("--quiet --mod no-such-mod.so", Folder);
        EXPECT_EQ(Result.Exit, 3) << Result.Output;
        EXPECT_TRUE(Has(Result.Output, "cannot load the mod")) << Result.Output;
    }
} // namespace
