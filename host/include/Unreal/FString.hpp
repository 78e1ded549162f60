// The engine string: a TArray of TCHAR whose count includes the terminating NUL.
#pragma once

#include <HostApi.hpp>
#include <String/StringType.hpp>
#include <Unreal/Core/Containers/Array.hpp>

namespace RC::Unreal
{
    using TCHAR = CharType;

    // The text an FString without characters reads as.
    RC_HOST_API auto GetEmptyString() -> const TCHAR*;

    class RC_HOST_API FString
    {
    public:
        FString() = default;
        // Copies the text up to its first NUL; a null pointer gives an empty string.
        explicit FString(const TCHAR* Text);
        FString(const FString& Other);
        FString(FString&& Other) noexcept;
        auto operator=(const FString& Other) -> FString&;
        auto operator=(FString&& Other) noexcept -> FString&;
        ~FString();

        // The text, or the empty text when the string holds no element.
        [[nodiscard]] auto operator*() const -> const TCHAR*;
        [[nodiscard]] auto GetCharArray() -> TArray<TCHAR>& { return Data; }
        [[nodiscard]] auto GetCharArray() const -> const TArray<TCHAR>& { return Data; }
        // Characters before the terminator (0 for an empty string).
        [[nodiscard]] auto Len() const -> int32;
        [[nodiscard]] auto IsEmpty() const -> bool { return Len() == 0; }

    private:
        TArray<TCHAR> Data;
    };

    static_assert(sizeof(FString) == 16, "FString is 16 bytes");
} // namespace RC::Unreal
