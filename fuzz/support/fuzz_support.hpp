// Shared pieces of the fuzz targets: one mod session per process (the mod stays loaded, since
// the fuzzer keeps reading the coverage counters of every loaded module), engine strings and
// array headers written raw from fuzz input, and the check that no exception left a hook.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <String/StringType.hpp>

#include "harness/session.hpp"

namespace Fuzz
{
    // The process's session, made on first use, with the mod loaded from BRAMBLEON_MOD_PATH.
    auto GetSession() -> Harness::Session&;

    // Stops the process when Condition is false: the fuzzer records the input as a crash.
    inline auto Require(bool Condition, const char* What) -> void
    {
        if (!Condition)
        {
            std::fprintf(stderr, "fuzz check failed: %s\n", What);
            std::abort();
        }
    }

    // After every call: the hook boundary must have kept every exception inside.
    auto RequireNoEscapes(Harness::Session& Session) -> void;

    // UTF-16 units from the input: NULs, unpaired surrogates and anything else, sometimes long
    // (a fuzzed piece repeated up to 32 Ki units).
    auto TakeUnits(FuzzedDataProvider& Input) -> RC::StringType;

    // Writes an engine string raw at Offset of Block: no storage, storage without characters,
    // Units with a terminator, or Units without one (count = capacity = size). Any string
    // already there is destroyed first.
    auto WriteFString(Harness::ParamBlock& Block, size_t Offset, const RC::StringType& Units, uint8_t Form) -> void;
    auto WriteFString(Harness::ParamBlock& Block, size_t Offset, FuzzedDataProvider& Input) -> void;

    // Engine array header as written raw: data (host allocation or null), ArrayNum, ArrayMax.
    struct ArrayHeader
    {
        void* Data;
        int32_t Num;
        int32_t Max;
    };
    static_assert(sizeof(ArrayHeader) == 16);

    auto ReadHeader(const void* Where) -> ArrayHeader;
    auto WriteHeader(void* Where, const ArrayHeader& Header) -> void;
    [[nodiscard]] inline auto IsConsistent(const ArrayHeader& Header) -> bool
    {
        return Header.Num >= 0 && Header.Num <= Header.Max;
    }

    // A fresh header over Allocated elements of ElementSize bytes from the host's allocator
    // (zeroed, null when 0). Either honest (ArrayMax = Allocated, ArrayNum within it) or,
    // when the input says so, inconsistent: ArrayNum negative or above ArrayMax. A consistent
    // header never claims more storage than it has: that would be memory corruption, not input.
    auto MakeHeader(FuzzedDataProvider& Input, int32_t Allocated, size_t ElementSize) -> ArrayHeader;
    // Releases the storage of a header made by MakeHeader (or grown by the host since).
    auto FreeHeader(void* Where) -> void;
} // namespace Fuzz
