#include "support/fuzz_support.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include <Unreal/Core/HAL/UnrealMemory.hpp>
#include <Unreal/FString.hpp>

namespace Fuzz
{
    using RC::Unreal::FMemory;

    auto GetSession() -> Harness::Session&
    {
        static Harness::Session Session(BRAMBLEON_MOD_PATH);
        return Session;
    }

    auto RequireNoEscapes(Harness::Session& Session) -> void
    {
        Require(Session.Sim().EscapedExceptions() == 0, "an exception left a hook callback");
    }

    auto TakeUnits(FuzzedDataProvider& Input) -> RC::StringType
    {
        const auto Count = Input.ConsumeIntegralInRange<size_t>(0, 64);
        RC::StringType Units;
        for (size_t Index = 0; Index < Count && Input.remaining_bytes() > 0; ++Index)
        {
            Units.push_back(static_cast<RC::CharType>(Input.ConsumeIntegral<uint16_t>()));
        }
        // Long texts now and then: each costs a conversion and a log line of its whole length.
        if (!Units.empty() && Input.ConsumeIntegralInRange<int>(0, 3) == 0)
        {
            const auto Length = Input.ConsumeIntegralInRange<size_t>(0, 32 * 1024);
            RC::StringType Long;
            Long.reserve(Length);
            while (Long.size() < Length)
            {
                Long.append(Units, 0, std::min(Units.size(), Length - Long.size()));
            }
            Units = std::move(Long);
        }
        return Units;
    }

    auto WriteFString(Harness::ParamBlock& Block, size_t Offset, const RC::StringType& Units, uint8_t Form) -> void
    {
        Require(Offset + sizeof(ArrayHeader) <= Block.Size(), "string offset inside the block");
        uint8_t* const Where = Block.Data() + Offset;
        FreeHeader(Where);

        ArrayHeader Header{nullptr, 0, 0};
        const auto Size = static_cast<int32_t>(Units.size());
        switch (Form % 4)
        {
        case 0: // no storage at all
            break;
        case 1: // storage, but no characters
            Header = {FMemory::Malloc(8 * sizeof(RC::CharType)), 0, 8};
            break;
        case 2: // the text and its terminator
            Header = {FMemory::Malloc((Units.size() + 1) * sizeof(RC::CharType)), Size + 1, Size + 1};
            std::memcpy(Header.Data, Units.data(), Units.size() * sizeof(RC::CharType));
            static_cast<RC::CharType*>(Header.Data)[Units.size()] = RC::CharType{};
            break;
        default: // the text without a terminator
            if (Size > 0)
            {
                Header = {FMemory::Malloc(Units.size() * sizeof(RC::CharType)), Size, Size};
                std::memcpy(Header.Data, Units.data(), Units.size() * sizeof(RC::CharType));
            }
            break;
        }
        WriteHeader(Where, Header);
    }

    auto WriteFString(Harness::ParamBlock& Block, size_t Offset, FuzzedDataProvider& Input) -> void
    {
        // Mostly terminated text, as the engine makes it.
        const auto Form = Input.ConsumeIntegralInRange<uint8_t>(0, 7);
        const RC::StringType Units = TakeUnits(Input);
        WriteFString(Block, Offset, Units, Form >= 4 ? 2 : Form);
    }

    auto ReadHeader(const void* Where) -> ArrayHeader
    {
        ArrayHeader Header{};
        std::memcpy(&Header, Where, sizeof(Header));
        return Header;
    }

    auto WriteHeader(void* Where, const ArrayHeader& Header) -> void
    {
        std::memcpy(Where, &Header, sizeof(Header));
    }

    auto MakeHeader(FuzzedDataProvider& Input, int32_t Allocated, size_t ElementSize) -> ArrayHeader
    {
        ArrayHeader Header{nullptr, 0, Allocated};
        if (Allocated > 0)
        {
            const size_t Bytes = static_cast<size_t>(Allocated) * ElementSize;
            Header.Data = FMemory::Malloc(Bytes);
            std::memset(Header.Data, 0, Bytes);
        }
        if (Input.ConsumeIntegralInRange<int>(0, 3) != 0)
        {
            Header.Num = Input.ConsumeIntegralInRange<int32_t>(0, Allocated);
            return Header;
        }
        // Inconsistent: a count outside 0..ArrayMax, and an ArrayMax that may be anything at or
        // below the storage (so that even a consistent-looking prefix stays in bounds).
        Header.Max = Input.ConsumeIntegralInRange<int32_t>(std::numeric_limits<int32_t>::min(), Allocated);
        if (Input.ConsumeBool() || Header.Max == std::numeric_limits<int32_t>::max())
        {
            Header.Num = Input.ConsumeIntegralInRange<int32_t>(std::numeric_limits<int32_t>::min(), -1);
        }
        else
        {
            Header.Num = Input.ConsumeIntegralInRange<int32_t>(std::max(Header.Max, -1) + 1,
                                                               std::numeric_limits<int32_t>::max());
        }
        return Header;
    }

    auto FreeHeader(void* Where) -> void
    {
        ArrayHeader Header = ReadHeader(Where);
        FMemory::Free(Header.Data);
        WriteHeader(Where, ArrayHeader{nullptr, 0, 0});
    }
} // namespace Fuzz
