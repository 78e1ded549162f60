// Engine strings and names: copies own their storage, null data reads as empty, the name table
// gives the none name for index 0 and appends instance numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include <Sim/Engine.hpp>
#include <Unreal/FString.hpp>
#include <Unreal/NameTypes.hpp>

namespace
{
    using RC::StringType;
    using RC::Unreal::FName;
    using RC::Unreal::FString;

    class StringTest : public testing::Test
    {
    protected:
        void SetUp() override { RC::Sim::Engine::Reset(); }
    };

    TEST_F(StringTest, TextIsCopiedWithItsTerminator)
    {
        const RC::CharType Source[] = STR("path/to\0ignored");
        FString Text(Source);
        EXPECT_EQ(StringType(*Text), STR("path/to"));
        EXPECT_EQ(Text.Len(), 7);
        EXPECT_EQ(Text.GetCharArray().Num(), 8); // the count includes the NUL
        EXPECT_EQ(Text.GetCharArray()[7], 0);
        EXPECT_NE(*Text, Source);
    }

    TEST_F(StringTest, EmptyAndNullTextsReadAsEmpty)
    {
        FString Defaulted;
        FString FromNull(nullptr);
        FString FromEmpty(STR(""));
        for (FString* Text : {&Defaulted, &FromNull, &FromEmpty})
        {
            EXPECT_EQ(*(*Text), RC::Unreal::GetEmptyString());
            EXPECT_EQ(Text->Len(), 0);
            EXPECT_EQ(Text->GetCharArray().GetData(), nullptr);
        }
        EXPECT_EQ(RC::Unreal::GetEmptyString()[0], 0);
    }

    TEST_F(StringTest, CopiesAndAssignmentsOwnTheirStorage)
    {
        FString Original(STR("first"));
        FString Copy(Original);
        EXPECT_NE(*Copy, *Original);
        EXPECT_EQ(StringType(*Copy), STR("first"));

        FString Assigned(STR("a much longer text than the first"));
        Assigned = Original;
        EXPECT_EQ(StringType(*Assigned), STR("first"));
        EXPECT_NE(*Assigned, *Original);

        Original = FString(STR("second"));
        EXPECT_EQ(StringType(*Copy), STR("first"));
        EXPECT_EQ(StringType(*Assigned), STR("first"));

        const FString& Same = Assigned;
        Assigned = Same; // self-assignment keeps the text
        EXPECT_EQ(StringType(*Assigned), STR("first"));

        FString Moved(std::move(Original));
        EXPECT_EQ(StringType(*Moved), STR("second"));
        EXPECT_EQ(Original.Len(), 0); // a moved-from string reads as empty
    }

    TEST_F(StringTest, AStringWhoseDataPointerIsNullReadsAsEmpty)
    {
        // Engine memory may hold a count without storage; reading must not follow the null pointer.
        alignas(FString) unsigned char Raw[sizeof(FString)] = {};
        const int32_t Count = 3;
        std::memcpy(Raw + 8, &Count, sizeof(Count));
        std::memcpy(Raw + 12, &Count, sizeof(Count));
        const auto* Text = reinterpret_cast<const FString*>(Raw);
        EXPECT_EQ(*(*Text), RC::Unreal::GetEmptyString());
        EXPECT_EQ(Text->Len(), 0);
    }

    TEST_F(StringTest, NoneNameAndNumberedNames)
    {
        EXPECT_EQ(FName().ToString(), STR("None"));
        EXPECT_TRUE(FName(0, 0).IsNone());
        EXPECT_EQ(RC::Unreal::NAME_None, FName(0, 0));
        EXPECT_TRUE(FName(STR("None")).IsNone());
        EXPECT_TRUE(FName(STR("")).IsNone());

        const FName Plain(STR("Row_Alpha"));
        EXPECT_FALSE(Plain.IsNone());
        EXPECT_EQ(Plain.ToString(), STR("Row_Alpha"));
        EXPECT_EQ(FName(Plain.GetComparisonIndex(), 1).ToString(), STR("Row_Alpha_0"));
        EXPECT_EQ(FName(Plain.GetComparisonIndex(), 12).ToString(), STR("Row_Alpha_11"));
    }

    TEST_F(StringTest, NamesCompareWithoutCaseAndKeepTheFirstSpelling)
    {
        const FName First(STR("SelectionGroup"));
        const FName Other(STR("selectiongroup"));
        EXPECT_EQ(First, Other);
        EXPECT_EQ(Other.ToString(), STR("SelectionGroup"));
        EXPECT_NE(FName(STR("SelectionGroupB")), First);
    }

    TEST_F(StringTest, FindingAnUnknownNameGivesNoneAndAddsNothing)
    {
        const FName Missing(STR("NeverAddedBeforeThisTest"), RC::Unreal::FNAME_Find);
        EXPECT_TRUE(Missing.IsNone());
        EXPECT_TRUE(FName(STR("NeverAddedBeforeThisTest"), RC::Unreal::FNAME_Find).IsNone());
        const FName Added(STR("NeverAddedBeforeThisTest"));
        EXPECT_EQ(FName(STR("NeverAddedBeforeThisTest"), RC::Unreal::FNAME_Find), Added);
    }

    TEST_F(StringTest, AnIndexOutsideTheTableIsRefused)
    {
        EXPECT_THROW((void)FName(0x7FFFFFF0U, 0).ToString(), std::out_of_range);
    }
} // namespace
