// Engine arrays inside data-table rows and object variables, read and corrupted by the
// simulator: what the expectations compare, and the broken headers a scenario may ask for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/scenario.hpp"

namespace BRMB::Sim
{
    // An engine array header over no storage.
    auto WriteCorruptHeader(void* At, Header Corrupt) -> void;
    // An engine array of 8-byte elements in storage from the host's allocator, with storage for
    // exactly the capacity asked (at least the elements) and the count asked (the elements' by
    // default), over a header that holds nothing yet.
    auto WriteExactArray(void* At, const std::vector<uint64_t>& Elements, const ExactArray& Exact) -> void;
    // The storage an engine array header points to.
    [[nodiscard]] auto ArrayStorage(const void* Header) -> const void*;

    // An engine array of 8-byte elements as the engine holds it, or why it cannot be read.
    struct ArrayContents
    {
        std::vector<uint64_t> Elements;
        int32_t Capacity = 0;
        int32_t Count = 0; // as the header says, also when it is corrupt
        std::string Problem;
        const void* Storage = nullptr;
        // The array's own header was read: count, capacity and storage are known even when
        // the header is corrupt and the elements are not.
        bool HeaderRead = true;
    };
    [[nodiscard]] auto ReadArray8(const void* Header) -> ArrayContents;
    // The entries of selection set Set of a selection row.
    [[nodiscard]] auto ReadSelectionEntries(const uint8_t* Row, size_t Set) -> ArrayContents;
    // The header of that set's entries; null when the row has no such set.
    [[nodiscard]] auto SelectionEntriesHeader(const uint8_t* Row, size_t Set) -> const void*;
} // namespace BRMB::Sim
