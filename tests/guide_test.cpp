// The guide for Blueprint authors states the contract nobody can see in a header. These tests
// keep it from drifting: every quoted text exists in the mod's sources, every hooked function
// has its section, and every parameter table matches the layout the Blueprint half declares,
// which is the layout every hook test calls the mod with. The architecture guide names files
// and folders: each of them exists, and the layering rules it states hold in the sources.
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Sim/Engine.hpp>
#include <Unreal/FProperty.hpp>

#include "blueprint_half.hpp"
#include "core/contract.hpp"
#include "support/mod_fixture.hpp"

namespace
{
    namespace fs = std::filesystem;
    using RC::Unreal::CastField;

    auto ReadFile(const fs::path& Path) -> std::string
    {
        std::ifstream In(Path, std::ios::binary);
        std::ostringstream Text;
        Text << In.rdbuf();
        return Text.str();
    }

    auto Guide() -> std::string
    {
        return ReadFile(fs::path(BRAMBLEON_SOURCE_DIR) / "docs" / "guide.md");
    }

    // Every source of the mod, with adjacent string literals joined ("a" "b" -> "ab").
    auto ModSources() -> std::string
    {
        std::string All;
        for (const auto& Entry : fs::recursive_directory_iterator(fs::path(BRAMBLEON_SOURCE_DIR) / "src"))
        {
            if (Entry.is_regular_file())
            {
                All += ReadFile(Entry.path());
                All += '\n';
            }
        }
        return std::regex_replace(All, std::regex(R"re("\s*\n\s*")re"), "");
    }

    // Texts quoted inside code spans, `"like this"`, and every line of a ```log block (log
    // excerpts). Other fenced blocks (examples) are not claims.
    auto QuotedTexts(const std::string& Guide) -> std::set<std::string>
    {
        std::set<std::string> Texts;
        const std::regex LogBlock("```log\n([^`]*)```");
        for (auto Block = std::sregex_iterator(Guide.begin(), Guide.end(), LogBlock); Block != std::sregex_iterator();
             ++Block)
        {
            std::istringstream Lines((*Block)[1].str());
            for (std::string Line; std::getline(Lines, Line);)
            {
                Texts.insert(Line);
            }
        }
        const auto Markdown = std::regex_replace(Guide, std::regex("```[^`]*```"), "");
        const std::regex Span("`([^`]*)`");
        const std::regex Quoted("\"([^\"]+)\"");
        for (auto Span_ = std::sregex_iterator(Markdown.begin(), Markdown.end(), Span); Span_ != std::sregex_iterator();
             ++Span_)
        {
            const std::string Inner = (*Span_)[1];
            for (auto Quote = std::sregex_iterator(Inner.begin(), Inner.end(), Quoted); Quote != std::sregex_iterator();
                 ++Quote)
            {
                Texts.insert((*Quote)[1]);
            }
        }
        return Texts;
    }

    struct GuideParam
    {
        int Offset;
        std::string Type;
        std::string Name;      // empty where the table gives none
        std::string Direction; // "in" or "out"; empty where the table gives none
    };

    // The parameter table under each "#### `Function`" heading.
    auto ParameterTables(const std::string& Markdown) -> std::map<std::string, std::vector<GuideParam>>
    {
        std::map<std::string, std::vector<GuideParam>> Tables;
        const std::regex Heading(R"(^#### `(\w+)`\s*$)");
        const std::regex Row(R"(^\| (\d+) \| ([^|]+?) \|)");
        std::istringstream Lines(Markdown);
        std::string Current;
        for (std::string Line; std::getline(Lines, Line);)
        {
            std::smatch Match;
            if (std::regex_match(Line, Match, Heading))
            {
                Current = Match[1];
                Tables[Current];
            }
            else if (Line.starts_with("#"))
            {
                Current.clear();
            }
            else if (!Current.empty() && std::regex_search(Line, Match, Row))
            {
                Tables[Current].push_back({std::stoi(Match[1]), Match[2], {}, {}});
            }
        }
        return Tables;
    }

    // The rows of the table of every function:
    //     | [`Function`](#anchor) | owner | `Name` Pin type @offset in<br>`Name` Pin type @offset out | ...
    auto OverviewTable(const std::string& Markdown) -> std::map<std::string, std::vector<GuideParam>>
    {
        std::map<std::string, std::vector<GuideParam>> Rows;
        const std::regex Row(R"(^\| \[`(\w+)`\]\(#[\w-]+\) \|[^|]*\|([^|]*)\|)");
        const std::regex Param(R"(`(\w+)` ([^`@]+?) @(\d+) (in|out))");
        std::istringstream Lines(Markdown);
        for (std::string Line; std::getline(Lines, Line);)
        {
            std::smatch Match;
            if (!std::regex_search(Line, Match, Row))
            {
                continue;
            }
            auto& Params = Rows[Match[1]];
            const std::string Cell = Match[2];
            for (auto Each = std::sregex_iterator(Cell.begin(), Cell.end(), Param); Each != std::sregex_iterator();
                 ++Each)
            {
                Params.push_back({std::stoi((*Each)[3]), (*Each)[2], (*Each)[1], (*Each)[4]});
            }
        }
        return Rows;
    }

    // Whether a property is of the kind the guide's type column names.
    auto KindMatches(const std::string& Type, RC::Unreal::FProperty& Property) -> bool
    {
        if (Type == "FString")
        {
            return CastField<RC::Unreal::FStrProperty>(&Property) != nullptr;
        }
        if (Type == "FName")
        {
            return CastField<RC::Unreal::FNameProperty>(&Property) != nullptr;
        }
        if (Type == "class reference")
        {
            return CastField<RC::Unreal::FClassProperty>(&Property) != nullptr;
        }
        if (Type == "object reference" || Type == "data table reference")
        {
            return CastField<RC::Unreal::FObjectProperty>(&Property) != nullptr &&
                   CastField<RC::Unreal::FClassProperty>(&Property) == nullptr;
        }
        if (Type == "entry (8 bytes)" || Type == "8 bytes")
        {
            return CastField<RC::Unreal::FNumericProperty>(&Property) != nullptr && Property.GetSize() == 8;
        }
        return false;
    }

    // The editor's pin type the guide gives for each type of the contract.
    auto PinMatches(const std::string& Pin, BRMB::Contract::ParamType Type) -> bool
    {
        using enum BRMB::Contract::ParamType;
        switch (Type)
        {
        case String: return Pin == "String";
        case Name: return Pin == "Name";
        case ObjectReference: return Pin.ends_with("Object Reference");
        case ClassReference: return Pin == "Class Reference";
        case Value8: return Pin == "Integer64";
        }
        return false;
    }

    // The table of every function against the contract table the mod checks declarations with:
    // each parameter's name, pin type, offset and direction, in order.
    TEST(Guide, TheTableOfEveryFunctionMatchesTheContract)
    {
        const auto Overview = OverviewTable(Guide());
        ASSERT_EQ(Overview.size(), std::size(BRMB::Contract::Functions));
        for (const auto& Function : BRMB::Contract::Functions)
        {
            const auto Name = BrambleonTest::ToUtf8(Function.Name);
            SCOPED_TRACE(Name);
            const auto Row = Overview.find(Name);
            ASSERT_NE(Row, Overview.end()) << "no row in the table of every function";
            ASSERT_EQ(Row->second.size(), Function.Params.size());
            for (size_t Index = 0; Index < Function.Params.size(); ++Index)
            {
                const auto& Expected = Function.Params[Index];
                const auto& Given = Row->second[Index];
                EXPECT_EQ(Given.Name, BrambleonTest::ToUtf8(Expected.Name));
                EXPECT_EQ(Given.Offset, Expected.Offset);
                EXPECT_TRUE(PinMatches(Given.Type, Expected.Type)) << Given.Name << " is no " << Given.Type;
                EXPECT_EQ(Given.Direction, Expected.Dir == BRMB::Contract::Direction::Out ? "out" : "in");
            }
        }
    }

    TEST(Guide, EveryQuotedTextIsWrittenByTheCode)
    {
        const auto Sources = ModSources();
        const auto Texts = QuotedTexts(Guide());
        ASSERT_GT(Texts.size(), 40U) << "the guide quotes the log lines of every function";
        // A whole literal: a quote cut short, or a line missing its end, is not the system's text.
        for (const auto& Text : Texts)
        {
            EXPECT_NE(Sources.find('"' + Text + '"'), std::string::npos)
                << "quoted in the guide, absent from src/: " << Text;
        }
    }

    TEST(Guide, EveryHookedFunctionHasItsSection)
    {
        const auto Tables = ParameterTables(Guide());
        const auto Sources = ModSources();
        const std::regex Name(R"re(STR\("((?:VEXA_CPP_|VEXA_Anim_CPP_|BRMB_CPP_)\w+)"\))re");
        std::set<std::string> Hooked;
        for (auto Match = std::sregex_iterator(Sources.begin(), Sources.end(), Name); Match != std::sregex_iterator();
             ++Match)
        {
            Hooked.insert((*Match)[1]);
        }
        ASSERT_EQ(Hooked.size(), 15U) << "the mod hooks fifteen Blueprint functions";
        const auto Overview = OverviewTable(Guide());
        for (const auto& Function : Hooked)
        {
            EXPECT_TRUE(Tables.contains(Function)) << "no section in the guide for " << Function;
            EXPECT_TRUE(Overview.contains(Function)) << "no row in the table of every function for " << Function;
        }
    }

    // The per-function tables; where the guide names a parameter, the Blueprint half declares
    // it under that name.
    TEST(Guide, ParameterTablesMatchTheDeclaredLayouts)
    {
        auto& Sim = RC::Sim::Engine::Reset();
        const auto Half = BlueprintHalf::Build(Sim);
        const std::vector<const RC::Unreal::UClass*> Declarers{Half.CoreLibrary, Half.AnimLibrary, Half.ProxyLibrary,
                                                              Half.WorldActorClass, Half.ProxyClass};
        const auto Markdown = Guide();
        const auto Sections = ParameterTables(Markdown);
        const auto Overview = OverviewTable(Markdown);
        ASSERT_FALSE(Sections.empty());
        ASSERT_FALSE(Overview.empty());
        for (const auto* Tables : {&Sections})
        {
            for (const auto& [Function, Rows] : *Tables)
            {
                SCOPED_TRACE(Function);
                RC::Unreal::UFunction* Declared = nullptr;
                const auto Wide = BrambleonTest::FromUtf8(Function);
                for (const auto* Class : Declarers)
                {
                    if (auto* Found = BlueprintHalf::Half::Function(Class, Wide))
                    {
                        Declared = Found;
                    }
                }
                ASSERT_NE(Declared, nullptr) << "the guide documents a function nobody declares";
                std::vector<RC::Unreal::FProperty*> Properties;
                for (auto* Property : Declared->ForEachProperty())
                {
                    Properties.push_back(Property);
                }
                ASSERT_EQ(Rows.size(), Properties.size());
                for (const auto& Row : Rows)
                {
                    RC::Unreal::FProperty* AtOffset = nullptr;
                    for (auto* Property : Properties)
                    {
                        if (Property->GetOffset_Internal() == Row.Offset)
                        {
                            AtOffset = Property;
                        }
                    }
                    ASSERT_NE(AtOffset, nullptr) << "no parameter at offset " << Row.Offset;
                    EXPECT_TRUE(KindMatches(Row.Type, *AtOffset)) << "offset " << Row.Offset << " is not " << Row.Type;
                    if (!Row.Name.empty())
                    {
                        EXPECT_TRUE(AtOffset->GetFName().ToString() == BrambleonTest::FromUtf8(Row.Name))
                            << "offset " << Row.Offset << " is not named " << Row.Name;
                    }
                }
            }
        }
    }

    // Repository paths in code spans (`src/bridge/log.hpp`, `CMakePresets.json`) and relative
    // link targets, the latter against the document's own folder.
    TEST(Guide, EveryPathTheArchitectureNamesExists)
    {
        const fs::path Root(BRAMBLEON_SOURCE_DIR);
        const auto Markdown = ReadFile(Root / "docs" / "architecture.md");
        const std::regex Span(R"re(`((?:src|include|host|tools|tests|docs|cmake|bench|fuzz|scenarios|\.ci))re"
                              R"re((?:/[\w.\-/]*)?|[\w\-]+\.(?:txt|json|md))`)re");
        const std::regex Link(R"re(\]\(([^):#]+)\))re");
        std::vector<fs::path> Named;
        for (auto Match = std::sregex_iterator(Markdown.begin(), Markdown.end(), Span); Match != std::sregex_iterator();
             ++Match)
        {
            Named.push_back(Root / (*Match)[1].str());
        }
        for (auto Match = std::sregex_iterator(Markdown.begin(), Markdown.end(), Link); Match != std::sregex_iterator();
             ++Match)
        {
            Named.push_back(Root / "docs" / (*Match)[1].str());
        }
        ASSERT_GT(Named.size(), 20U) << "the architecture guide names the files of every layer";
        for (const auto& Path : Named)
        {
            EXPECT_TRUE(fs::exists(Path)) << "named in docs/architecture.md, absent: " << Path.lexically_relative(Root);
        }
    }

    // The mod's sources include nothing of the simulated engine; the shared machinery and the
    // discovery mechanism include no service and name no Blueprint function.
    TEST(Guide, TheLayersKeepToTheirRules)
    {
        const fs::path Root(BRAMBLEON_SOURCE_DIR);
        const std::regex Simulated(R"re(#include\s*[<"]Sim/)re");
        const std::regex Service(R"re(#include\s*[<"](?:VEXA_Core|VEXA_Anim_Core|Brambleon|BRMB_UE4SSMOD)\.hpp|)re"
                                 R"re(#include\s*"(?:core|anim|proxy|mod)/|_CPP_)re");
        const std::set<std::string> Mechanism{"src/discovery/discovery.hpp", "src/discovery/discovery.cpp",
                                              "src/discovery/library_watch.hpp", "src/discovery/library_watch.cpp"};
        size_t Shared = 0;
        for (const char* Folder : {"src", "include"})
        {
            for (const auto& Entry : fs::recursive_directory_iterator(Root / Folder))
            {
                if (!Entry.is_regular_file())
                {
                    continue;
                }
                const auto Text = ReadFile(Entry.path());
                const auto Name = Entry.path().lexically_relative(Root).generic_string();
                EXPECT_FALSE(std::regex_search(Text, Simulated)) << Name << " includes the simulated engine";
                if (Name.starts_with("src/bridge/") || Mechanism.contains(Name))
                {
                    ++Shared;
                    EXPECT_FALSE(std::regex_search(Text, Service)) << Name << " knows a service";
                }
            }
        }
        EXPECT_GE(Shared, 15U) << "the shared machinery is in src/bridge and src/discovery";
    }
} // namespace
