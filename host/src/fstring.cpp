// The engine string over the engine array; every allocation goes through FMemory.
#include <Unreal/FString.hpp>

#include <string>

namespace RC::Unreal
{
    auto GetEmptyString() -> const TCHAR*
    {
        static constexpr TCHAR Empty[1] = {0};
        return Empty;
    }

    FString::FString(const TCHAR* Text)
    {
        if (Text == nullptr || *Text == 0)
        {
            return;
        }
        const auto Length = std::char_traits<TCHAR>::length(Text);
        for (size_t Index = 0; Index < Length; ++Index)
        {
            Data.Add(Text[Index]);
        }
        Data.Add(TCHAR{0});
    }

    FString::FString(const FString& Other) = default;
    FString::FString(FString&& Other) noexcept = default;
    auto FString::operator=(const FString& Other) -> FString& = default;
    auto FString::operator=(FString&& Other) noexcept -> FString& = default;
    FString::~FString() = default;

    auto FString::operator*() const -> const TCHAR*
    {
        return Data.Num() > 0 && Data.GetData() != nullptr ? Data.GetData() : GetEmptyString();
    }

    auto FString::Len() const -> int32
    {
        return Data.Num() > 0 && Data.GetData() != nullptr ? Data.Num() - 1 : 0;
    }
} // namespace RC::Unreal
