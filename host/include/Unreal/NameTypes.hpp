// The engine name: an index into the process-wide name table plus a number.
#pragma once

#include <cstdint>

#include <HostApi.hpp>
#include <String/StringType.hpp>

namespace RC::Unreal
{
    enum EFindName
    {
        FNAME_Find,
        FNAME_Add,
    };

    class RC_HOST_API FName
    {
    public:
        constexpr FName() = default;
        constexpr explicit FName(uint32_t Index, uint32_t InNumber) : ComparisonIndex(Index), Number(InNumber) {}
        // FNAME_Find yields the none name for a text the table lacks.
        explicit FName(const CharType* Name, EFindName FindType = FNAME_Add);
        explicit FName(StringViewType Name, EFindName FindType = FNAME_Add);

        // "None" for index 0; a number n > 0 appends "_" and n - 1, as the engine does.
        [[nodiscard]] auto ToString() const -> StringType;
        [[nodiscard]] constexpr auto GetComparisonIndex() const -> uint32_t { return ComparisonIndex; }
        [[nodiscard]] constexpr auto GetNumber() const -> uint32_t { return Number; }
        [[nodiscard]] constexpr auto IsNone() const -> bool { return ComparisonIndex == 0 && Number == 0; }

        friend constexpr auto operator==(const FName&, const FName&) -> bool = default;

    private:
        uint32_t ComparisonIndex{};
        uint32_t Number{};
    };

    inline constexpr FName NAME_None{0, 0};

    static_assert(sizeof(FName) == 8, "FName is 8 bytes");
} // namespace RC::Unreal
