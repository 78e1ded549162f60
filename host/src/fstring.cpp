// The engine string over the engine array; every allocation goes through FMemory.
#include <Unreal/FString.hpp>

#include <climits>
#include <stdexcept>
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
        // One allocation and one copy, terminator included, as the engine's constructor does.
        const auto Length = std::char_traits<TCHAR>::length(Text);
        if (Length >= static_cast<size_t>(INT32_MAX))
        {
            throw std::length_error("engine string too long");
        }
        Data.Append(Text, static_cast<int32>(Length + 1));
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
