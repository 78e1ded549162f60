// The process-wide name table. Like the engine's, lookups ignore ASCII case and keep the first
// spelling; index 0 is "None". It outlives engine resets so names stay valid across tests.
#include <Unreal/NameTypes.hpp>

#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace RC::Unreal
{
    namespace
    {
        struct NameTable
        {
            std::vector<StringType> Entries{StringType(STR("None"))};
            std::unordered_map<StringType, uint32_t> Index{{StringType(STR("none")), 0}};
        };

        auto Table() -> NameTable&
        {
            static NameTable Names;
            return Names;
        }

        auto Folded(StringViewType Text) -> StringType
        {
            StringType Key(Text);
            for (auto& Unit : Key)
            {
                if (Unit >= 'A' && Unit <= 'Z')
                {
                    Unit = static_cast<CharType>(Unit - 'A' + 'a');
                }
            }
            return Key;
        }

        auto Lookup(StringViewType Text, EFindName FindType) -> uint32_t
        {
            auto& Names = Table();
            auto Key = Folded(Text);
            if (const auto Found = Names.Index.find(Key); Found != Names.Index.end())
            {
                return Found->second;
            }
            if (FindType == FNAME_Find || Text.empty())
            {
                return 0;
            }
            const auto NewIndex = static_cast<uint32_t>(Names.Entries.size());
            Names.Entries.emplace_back(Text);
            Names.Index.emplace(std::move(Key), NewIndex);
            return NewIndex;
        }
    } // namespace

    FName::FName(const CharType* Name, EFindName FindType)
        : ComparisonIndex(Name == nullptr ? 0 : Lookup(StringViewType(Name), FindType))
    {
    }

    FName::FName(StringViewType Name, EFindName FindType) : ComparisonIndex(Lookup(Name, FindType)) {}

    auto FName::ToString() const -> StringType
    {
        const auto& Names = Table();
        if (ComparisonIndex >= Names.Entries.size())
        {
            throw std::out_of_range("FName index " + std::to_string(ComparisonIndex) + " is not in the name table");
        }
        StringType Text = Names.Entries[ComparisonIndex];
        if (Number > 0)
        {
            Text += STR("_");
            for (const char Digit : std::to_string(Number - 1))
            {
                Text.push_back(static_cast<CharType>(Digit));
            }
        }
        return Text;
    }
} // namespace RC::Unreal
