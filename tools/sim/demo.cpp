#include "sim/demo.hpp"

namespace BRMB::Sim
{
    // What a Blueprint side does in one play session: it loads, logs, saves and reads a slot,
    // registers its world actor and searches the world, asks the animation bridge, registers its
    // proxy and patches a selection row.
    auto DemoScenario() -> std::string_view
    {
        return R"json({
  "name": "Brambleon demo: every service end to end",
  "blueprint": {
    "classes": [ { "name": "BP_Enemy_C" } ],
    "objects": [
      { "name": "WorldActor", "class": "VEXA_WorldActor_C" },
      { "name": "Proxy", "class": "BRMB_Proxy_C" },
      { "name": "Goblin", "class": "BP_Enemy_C" },
      { "name": "Troll", "class": "BP_Enemy_C" }
    ],
    "dataTables": [
      { "name": "DT_HeroSelection",
        "rows": [ { "name": "Hero", "selectionSets": [ { "stateGroupId": "Idle", "entries": [101, 102] } ] } ] }
    ]
  },
  "steps": [
    { "section": "start-up", "start": true, "note": "the host reports the engine is up",
      "expect": { "log": [ "VEXA_Core initialize has been ran.", "VEXA_Anim_Core initialize has been ran.",
                           "Brambleon C++ Side Initiated!" ] } },

    { "section": "discovery", "tick": { "seconds": 1.5, "frame": 0.0166667 },
      "note": "each service finds its Blueprint library and hooks it",
      "expect": { "log": [ "VEXA_Anim : BP Components Valid!", "Brambleon C++ Tools initiated!",
                           "VEXA_Core : BP components returned valid! Scan complete!" ],
                  "tickCallbacks": 0, "hooks": { "VEXA.VEXA_CPP_SaveFile": 1 } } },

    { "section": "log", "call": "VEXA_CPP_SendToUE4SSLog", "on": "VEXA",
      "args": { "Text": "Hello from the Blueprint side, café open" },
      "expect": { "log": [ "Hello from the Blueprint side, café open" ] } },

    { "section": "files", "call": "VEXA_CPP_SaveFile", "on": "VEXA", "note": "save a slot; the folder is created",
      "args": { "Path": "Saves/", "FileName": "slot1.txt", "Content": "Level=3\nGold=120" },
      "expect": { "params": { "Path": "::FileSaveSuccess::", "Content": "" },
                  "log": [ "VEXA Saving file : Saves/slot1.txt" ],
                  "files": [ { "path": "Saves", "folder": true }, { "path": "Saves/slot1.txt", "exists": true } ] } },
    { "call": "VEXA_CPP_DoesFileExist", "on": "VEXA", "args": { "Path": "Saves/slot1.txt" },
      "expect": { "params": { "Path": "true" }, "log": [] } },
    { "call": "VEXA_CPP_GetNamesFromDir", "on": "VEXA", "args": { "Path": "Saves" },
      "expect": { "params": { "Path": "|slot1.txt|" } } },
    { "call": "VEXA_CPP_GetFileContents", "on": "VEXA", "args": { "Path": "Saves/slot1.txt" },
      "note": "line breaks are removed",
      "expect": { "params": { "Path": "Level=3Gold=120" }, "log": [ "VEXA Request file : Saves/slot1.txt" ] } },

    { "section": "world actor", "call": "VEXA_CPP_RegisterWorldActor", "on": "VEXA",
      "args": { "Actor": { "object": "WorldActor" } },
      "expect": { "params": { "Actor": { "object": null } },
                  "log": [ "VEXA : SetNewWorldActor", "VEXA : SetNewWorldActor : Calling ClearWorldActor",
                           "VEXA : SetNewWorldActor : Finished SetNewWorldActor" ],
                  "hooks": { "VEXA_WorldActor_C.VEXA_CPP_FindAllOf": 1 } } },
    { "call": "VEXA_CPP_FindAllOf", "on": "WorldActor", "args": { "ClassName": "BP_Enemy_C" },
      "expect": { "variables": { "WorldActor": { "ObjectRefs": { "objects": [ "Goblin", "Troll" ] } } },
                  "log": [ "VEXA : WorldActor::FindAllOf Hook Triggered!" ] } },
    { "call": "VEXA_CPP_FindFirstOf", "on": "WorldActor", "args": { "ClassName": "BP_Enemy_C" },
      "expect": { "variables": { "WorldActor": { "ObjectRef": { "object": "Goblin" } } } } },
    { "call": "VEXA_CPP_NewObject", "on": "WorldActor", "note": "spawn a third enemy",
      "args": { "Outer": { "object": "WorldActor" }, "Class": { "class": "BP_Enemy_C" } },
      "expect": { "variables": { "WorldActor": { "ObjectRef": { "objectOfClass": "BP_Enemy_C" } } },
                  "log": [ "VEXA : WorldActor::NewObject Hook Triggered!" ] } },

    { "section": "animation bridge", "call": "VEXA_Anim_CPP_GetResponse", "on": "VEXA_Anim",
      "args": { "Request": "Wave" },
      "expect": { "params": { "Request": "CPPResponse" }, "log": [ "Wave" ] } },

    { "section": "proxy", "call": "BRMB_CPP_RegisterProxy", "on": "BRMB", "args": { "Proxy": { "object": "Proxy" } },
      "expect": { "params": { "Proxy": { "object": null } },
                  "log": [ "BRMB : Register Proxy", "BRMB : Register Proxy : Proxy Found?" ],
                  "hooks": { "BRMB_Proxy_C.BRMB_CPP_AddObjectSelectionSetID": 1, "BRMB_Proxy_C.BRMB_CPP_TestDT": 1 } } },

    { "section": "data-table patch", "call": "BRMB_CPP_AddObjectSelectionSetID", "on": "Proxy",
      "note": "add entry 777 to the hero's first selection set",
      "args": { "DataTable": { "object": "DT_HeroSelection" }, "RowName": { "name": "Hero" }, "EntryID": { "entry": 777 } },
      "expect": { "rows": { "DT_HeroSelection": { "Hero": { "entries": [101, 102, 777] } } },
                  "log": [ "BRMB : Proxy : BRMB_CPP_AddObjectSelectionSetID Hook Triggered!",
                           "BRMB:Proxy:BRMB_CPP_AddObjectSelectionSetID:Entry Add Attempted!" ] } },
    { "call": "BRMB_CPP_AddObjectSelectionSetID", "on": "Proxy", "note": "the same entry again is not added twice",
      "args": { "DataTable": { "object": "DT_HeroSelection" }, "RowName": { "name": "Hero" }, "EntryID": { "entry": 777 } },
      "expect": { "rows": { "DT_HeroSelection": { "Hero": { "entries": [101, 102, 777] } } } } },
    { "call": "BRMB_CPP_TestDT", "on": "Proxy", "note": "the diagnostic twin dumps the row",
      "args": { "DataTable": { "object": "DT_HeroSelection" }, "RowName": { "name": "Hero" }, "EntryID": { "entry": 5 } },
      "expect": { "logContains": [ "BRMB : Proxy::BRMB_CPP_TestDT : Hero",
                                   "BRMB : Proxy::BRMB_CPP_TestDT : SelectionSetCount = 1",
                                   "BRMB : Proxy::BRMB_CPP_TestDT : StateGroupID = Idle",
                                   "BRMB : Proxy::BRMB_CPP_TestDT : Entry Add Attempted!" ],
                  "rows": { "DT_HeroSelection": { "Hero": { "entries": [101, 102, 777, 5] } } } } }
  ]
})json";
    }
} // namespace BRMB::Sim
