// A data table: rows of one script struct, stored in engine memory and keyed by name.
#pragma once

#include <cstdint>

#include <Unreal/Core/Containers/Array.hpp>
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
        auto FindRowUnchecked(FName RowName) -> uint8_t*;
        auto GetRowStruct() -> UScriptStruct*;
        auto GetRowNames() -> TArray<FName>;

    protected:
        UDataTable();
        friend class RC::Sim::Engine;
    };
} // namespace RC::Unreal
