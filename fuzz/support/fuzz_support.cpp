#include "support/fuzz_support.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include <Unreal/Core/HAL/UnrealMemory.hpp>
#include <Unreal/FString.hpp>

#include "core/contract.hpp"

namespace Fuzz
{
    using RC::Unreal::FMemory;

    namespace
    {
        // The one session of the process and what its caller made in it.
        struct Current
        {
            Current() = default;
            Current(const Current&) = delete;
            auto operator=(const Current&) -> Current& = delete;
            ~Current() { Close(); }

            // What was made in the engine goes first, while the engine is there.
            auto Close() -> void
            {
                World.reset();
                Open.reset();
            }

            std::unique_ptr<Harness::Session> Open;
            Redeclarations Made;
            std::shared_ptr<void> World;
        };

        auto TheSession() -> Current&
        {
            static Current Instance;
            return Instance;
        }

        auto SameDeclared(const RC::Sim::PropDecl& A, const RC::Sim::PropDecl& B) -> bool
        {
            return A.Name == B.Name && A.PropKind == B.PropKind && A.Offset == B.Offset && A.Role == B.Role &&
                   A.Struct == B.Struct && A.ObjectClass == B.ObjectClass &&
                   (A.Inner == nullptr) == (B.Inner == nullptr) && (A.Inner == nullptr || SameDeclared(*A.Inner, *B.Inner));
        }

        auto SameDeclarations(const Redeclarations& A, const Redeclarations& B) -> bool
        {
            return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](const auto& One, const auto& Other) {
                return One.first == Other.first &&
                       std::equal(One.second.begin(), One.second.end(), Other.second.begin(), Other.second.end(), SameDeclared);
            });
        }
    } // namespace

    auto GetSession() -> Harness::Session&
    {
        bool Fresh = false;
        return Detail::OpenSession({}, Fresh);
    }

    namespace Detail
    {
        auto OpenSession(const Redeclarations& Redeclared, bool& Fresh) -> Harness::Session&
        {
            Current& Now = TheSession();
            Fresh = Now.Open == nullptr || !SameDeclarations(Now.Made, Redeclared);
            if (Fresh)
            {
                Now.Close();
                BlueprintHalf::Options Choices;
                Choices.Redeclared = Redeclared;
                Now.Open = std::make_unique<Harness::Session>(BRAMBLEON_MOD_PATH, Choices);
                Now.Made = Redeclared;
                // The first session goes at exit before the engine and the mod's own statics,
                // which were made during its construction, as a function-local session would.
                static const bool ClosedAtExit = std::atexit([] { TheSession().Close(); }) == 0;
                Require(ClosedAtExit, "the session is closed at exit");
            }
            return *Now.Open;
        }

        auto Attached() -> void* { return TheSession().World.get(); }

        auto Attach(std::shared_ptr<void> World) -> void { TheSession().World = std::move(World); }
    } // namespace Detail

    auto RequireKeptBut(const std::vector<uint8_t>& Before, const std::vector<uint8_t>& After, size_t From, size_t To,
                        const char* What) -> void
    {
        Require(Before.size() == After.size(), What);
        for (size_t Offset = 0; Offset < After.size(); ++Offset)
        {
            Require((Offset >= From && Offset < To) || After[Offset] == Before[Offset], What);
        }
    }

    auto SizeOf(RC::Sim::Kind Kind) -> size_t
    {
        // Plain kinds only: a structure's size is its own.
        return static_cast<size_t>(RC::Sim::SizeOf(RC::Sim::Prop(STR(""), Kind)));
    }

    auto MatchesContract(const std::vector<RC::Sim::PropDecl>& Params, RC::StringViewType Function) -> bool
    {
        using BRMB::Contract::ParamType;
        using RC::Sim::Kind;
        const RC::StringType Name(Function);
        const BRMB::Contract::Function* const Contract = BRMB::Contract::Find(Name.c_str());
        Require(Contract != nullptr, "a hooked function has a contract");
        size_t Index = 0;
        for (const RC::Sim::PropDecl& Param : Params)
        {
            if (Param.Role == RC::Sim::ParamRole::Local)
            {
                continue;
            }
            if (Index >= Contract->Params.size())
            {
                return false;
            }
            const BRMB::Contract::Param& Wanted = Contract->Params[Index++];
            const bool Typed = Wanted.Type == ParamType::String            ? Param.PropKind == Kind::Str
                               : Wanted.Type == ParamType::Name            ? Param.PropKind == Kind::Name
                               : Wanted.Type == ParamType::ObjectReference ? Param.PropKind == Kind::Object
                               : Wanted.Type == ParamType::ClassReference  ? Param.PropKind == Kind::Class
                                                                           : SizeOf(Param.PropKind) == 8;
            if (!Typed || Param.Offset != Wanted.Offset || SizeOf(Param.PropKind) != static_cast<size_t>(Wanted.Size) ||
                Param.Role != RC::Sim::ParamRole::In)
            {
                return false;
            }
        }
        return Index == Contract->Params.size();
    }

    namespace
    {
        using RC::Sim::Kind;

        constexpr Kind EightByteKinds[] = {Kind::Object, Kind::Class, Kind::Name, Kind::Int64};
        constexpr Kind SmallKinds[] = {Kind::Int32, Kind::Float, Kind::Bool};
        constexpr Kind ExtraKinds[] = {Kind::Int64, Kind::Int32, Kind::Bool, Kind::Object, Kind::Str, Kind::Name};

        template <size_t N>
        auto Pick(FuzzedDataProvider& Input, const Kind (&From)[N]) -> Kind
        {
            return From[Input.ConsumeIntegralInRange<size_t>(0, N - 1)];
        }

        auto EndOf(const std::vector<RC::Sim::PropDecl>& Params) -> int32_t
        {
            int32_t End = 0;
            for (const RC::Sim::PropDecl& Param : Params)
            {
                End = std::max(End, Param.Offset + static_cast<int32_t>(SizeOf(Param.PropKind)));
            }
            return (End + 7) / 8 * 8;
        }

        auto Depart(FuzzedDataProvider& Input, std::vector<RC::Sim::PropDecl>& Params, Departure Made) -> void
        {
            using RC::Sim::Prop;
            const size_t Count = Params.size();
            const size_t Which = Count == 0 ? 0 : Input.ConsumeIntegralInRange<size_t>(0, Count - 1);
            switch (Made)
            {
            case Departure::Standard:
            case Departure::Count:
                break;
            case Departure::Missing:
                Params.erase(Params.begin() + static_cast<ptrdiff_t>(Which));
                break;
            case Departure::Extra:
            {
                const int32_t End = EndOf(Params);
                Params.push_back(Prop(STR("Extra"), Pick(Input, ExtraKinds), End));
                break;
            }
            case Departure::Swapped:
            {
                // Pairs of one size and two types; a function without one gets an extra
                // parameter declared before its own.
                std::vector<std::pair<size_t, size_t>> Pairs;
                for (size_t First = 0; First < Count; ++First)
                {
                    for (size_t Second = First + 1; Second < Count; ++Second)
                    {
                        if (Params[First].PropKind != Params[Second].PropKind &&
                            SizeOf(Params[First].PropKind) == SizeOf(Params[Second].PropKind))
                        {
                            Pairs.emplace_back(First, Second);
                        }
                    }
                }
                if (Pairs.empty())
                {
                    const int32_t End = EndOf(Params);
                    Params.insert(Params.begin(), Prop(STR("Extra"), Pick(Input, ExtraKinds), End));
                    break;
                }
                const auto [First, Second] = Pairs[Input.ConsumeIntegralInRange<size_t>(0, Pairs.size() - 1)];
                std::swap(Params[First].PropKind, Params[Second].PropKind);
                std::swap(Params[First].Name, Params[Second].Name);
                break;
            }
            case Departure::WrongType:
            {
                RC::Sim::PropDecl& Param = Params[Which];
                if (SizeOf(Param.PropKind) == 8)
                {
                    Kind Other = Pick(Input, EightByteKinds);
                    Param.PropKind = Other != Param.PropKind ? Other : Kind::Int64 != Param.PropKind ? Kind::Int64 : Kind::Name;
                }
                else
                {
                    // A string's 16 bytes as an array's header.
                    Param = RC::Sim::ArrayProp(Param.Name, Prop(STR("Element"), Kind::Int64, 0), Param.Offset);
                }
                break;
            }
            case Departure::Offset:
            {
                const int32_t End = EndOf(Params);
                Params[Which].Offset = End + 8 * Input.ConsumeIntegralInRange<int32_t>(0, 1);
                break;
            }
            case Departure::Size:
            {
                RC::Sim::PropDecl& Param = Params[Which];
                Param.PropKind = SizeOf(Param.PropKind) == 8 ? Pick(Input, SmallKinds) : Pick(Input, EightByteKinds);
                break;
            }
            case Departure::Output:
                Params[Which].Role = RC::Sim::ParamRole::Out;
                break;
            }
        }
    } // namespace

    auto ChooseDeclaration(FuzzedDataProvider& Input, RC::StringViewType Function) -> Declaration
    {
        Declaration Made;
        Made.Params = BlueprintHalf::ContractParams(Function);
        // Mostly the contract's own declaration, so that the hooks behind it are reached.
        const auto Choice = Input.ConsumeIntegralInRange<uint8_t>(0, 15);
        Made.Made = Choice < static_cast<uint8_t>(Departure::Count) ? static_cast<Departure>(Choice) : Departure::Standard;
        Depart(Input, Made.Params, Made.Made);
        const auto Locals = Input.ConsumeIntegralInRange<int32_t>(0, 2);
        for (int32_t Local = 0; Local < Locals; ++Local)
        {
            RC::Sim::PropDecl Scratch = RC::Sim::Prop(Local == 0 ? STR("Scratch") : STR("Scratch2"), Kind::Int64, EndOf(Made.Params));
            Scratch.Role = RC::Sim::ParamRole::Local;
            Made.Params.push_back(std::move(Scratch));
        }
        Made.Matches = MatchesContract(Made.Params, Function);
        Made.Declared.assign(static_cast<size_t>(EndOf(Made.Params)), false);
        for (const RC::Sim::PropDecl& Param : Made.Params)
        {
            if (Param.Role != RC::Sim::ParamRole::Local)
            {
                std::fill_n(Made.Declared.begin() + Param.Offset, SizeOf(Param.PropKind), true);
            }
        }
        return Made;
    }

    auto ChooseDeclarations(FuzzedDataProvider& Input, std::span<const RC::CharType* const> Functions) -> Declarations
    {
        Declarations Chosen;
        for (const RC::CharType* const Function : Functions)
        {
            Chosen.Of.push_back(ChooseDeclaration(Input, Function));
            Chosen.Redeclared[Function] = Chosen.Of.back().Params;
        }
        return Chosen;
    }

    auto ValueOf(RC::Sim::Kind Kind, FuzzedDataProvider& Input, const Values& From) -> uint64_t
    {
        uint64_t Bits = 0;
        const auto Take = [&](const auto& Pool) {
            const auto& Chosen = Pool[Input.ConsumeIntegralInRange<size_t>(0, Pool.size() - 1)];
            static_assert(sizeof(Chosen) == sizeof(Bits));
            std::memcpy(&Bits, &Chosen, sizeof(Bits));
        };
        switch (Kind)
        {
        case Kind::Object:
            Take(From.Objects);
            break;
        case Kind::Class:
            Take(From.Classes);
            break;
        case Kind::Name:
            Take(From.Names);
            break;
        default:
            Bits = Input.ConsumeIntegralInRange<uint64_t>(0, 9);
            break;
        }
        return Bits;
    }

    auto FillBlock(Harness::ParamBlock& Block, const Declaration& Made, FuzzedDataProvider& Input, const Values& From,
                   uint8_t Pattern) -> void
    {
        // The engine rounds the block up to its widest parameter's alignment, not always to 8.
        for (size_t Offset = 0; Offset < Block.Size(); ++Offset)
        {
            if (Offset >= Made.Declared.size() || !Made.Declared[Offset])
            {
                Block.Data()[Offset] = Pattern;
            }
        }
        for (const RC::Sim::PropDecl& Param : Made.Params)
        {
            uint8_t* const Where = Block.Data() + Param.Offset;
            switch (Param.Role == RC::Sim::ParamRole::Local ? Kind::Bool : Param.PropKind)
            {
            case Kind::Str:
                WriteFString(Block, static_cast<size_t>(Param.Offset), Input);
                break;
            case Kind::Array:
                break; // no storage: the block's end releases nothing
            case Kind::Object:
            case Kind::Class:
            case Kind::Name:
            case Kind::Int64:
            {
                const uint64_t Bits = ValueOf(Param.PropKind, Input, From);
                std::memcpy(Where, &Bits, sizeof(Bits));
                break;
            }
            default:
                if (Param.Role != RC::Sim::ParamRole::Local)
                {
                    const auto Bytes = Input.ConsumeBytes<uint8_t>(SizeOf(Param.PropKind));
                    std::copy(Bytes.begin(), Bytes.end(), Where);
                }
                break;
            }
        }
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
