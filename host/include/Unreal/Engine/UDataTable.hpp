// A data table: rows of one script struct, stored in engine memory and keyed by name.
#pragma once

#include <cstdint>
#include <vector>

#include <Unreal/NameTypes.hpp>
#include <Unreal/UObject.hpp>

namespace RC::Unreal
{
    class UScriptStruct;

    class RC_HOST_API UDataTable : public UObject
    {
    public:
        ~UDataTable() override;
        // The row's memory, laid out as GetRowStruct() describes; null when the table lacks it.
        [[nodiscard]] auto FindRowUnchecked(FName RowName) const -> uint8_t*;
        [[nodiscard]] auto GetRowStruct() const -> UScriptStruct*;
        [[nodiscard]] auto GetRowNames() const -> std::vector<FName>;

    protected:
        UDataTable();
        friend class RC::Sim::Engine;
    };
} // namespace RC::Unreal
