// Shared pieces of the fuzz targets: one mod session at a time per process (the module stays
// loaded, pinned, since the fuzzer keeps reading the coverage counters of every loaded module),
// parameter declarations chosen from fuzz input, engine strings and array headers written raw
// from fuzz input, and the check that no exception left a hook.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <String/StringType.hpp>

#include "harness/session.hpp"
#include <Sim/Engine.hpp>

namespace Fuzz
{
    // The process's session with the standard Blueprint half, made on first use, with the mod
    // loaded from BRAMBLEON_MOD_PATH.
    auto GetSession() -> Harness::Session&;

    // Hooked functions (by name) declared with other parameters than the contract's.
    using Redeclarations = std::map<RC::StringType, std::vector<RC::Sim::PropDecl>>;

    // The session whose Blueprint half declares Redeclared as given (and every other function as
    // the contract does): the current one when it was made for the same declarations, otherwise a
    // fresh one (the old mod object uninstalled and the engine reset first; the pinned module
    // starts a new mod object). With it, the caller's World made in its engine on first use
    // (World(Session&)); a World goes before its session does, here or at exit.
    template <typename World>
    auto SessionFor(const Redeclarations& Redeclared) -> std::pair<Harness::Session&, World&>;

    // How a declaration departs from the contract's; Standard declares exactly its parameters.
    enum class Departure : uint8_t
    {
        Standard,
        Missing,   // one parameter left out, the others where they were
        Extra,     // one more parameter after the last
        Swapped,   // two parameters of the same size and different types trade places
        WrongType, // one parameter of another type of its size
        Offset,    // one parameter moved past the last
        Size,      // one parameter of a smaller type in its place
        Output,    // one parameter an output pin
        Count,
    };

    // A declaration of a hooked function's parameters chosen from the input: mostly the
    // contract's, otherwise one departure from it, and Blueprint local variables behind the
    // parameters now and then (they are not parameters: the contract holds with them). Types are
    // plain (no structures), offsets explicit, parameters never overlap.
    struct Declaration
    {
        std::vector<RC::Sim::PropDecl> Params;
        Departure Made = Departure::Standard;
        // The model's verdict, worked out here independently of the mod: the parameters (not
        // the locals), in order, have the contract's offsets, sizes, input direction and types,
        // where a contract's 8-byte value may be any 8-byte type. Only then may the mod hook it.
        bool Matches = true;
        // For each byte up to the end of the last parameter or local: inside a parameter.
        std::vector<bool> Declared;
    };

    auto ChooseDeclaration(FuzzedDataProvider& Input, RC::StringViewType Function) -> Declaration;

    // A declaration for each of Functions, in that order, and the same as the session wants them.
    struct Declarations
    {
        std::vector<Declaration> Of;
        Redeclarations Redeclared;
    };
    auto ChooseDeclarations(FuzzedDataProvider& Input, std::span<const RC::CharType* const> Functions) -> Declarations;

    // What an input of a target that varies declarations starts from.
    template <typename World>
    struct Start
    {
        std::vector<Declaration> Declared; // one for each function, in their order
        Harness::Session& Session;
        World& Here;
    };
    // Chooses a declaration for each of Functions from the input, then opens the session for them.
    template <typename World>
    auto StartInput(FuzzedDataProvider& Input, std::span<const RC::CharType* const> Functions) -> Start<World>;
    // The same model on its own: Params against the contract of Function.
    [[nodiscard]] auto MatchesContract(const std::vector<RC::Sim::PropDecl>& Params, RC::StringViewType Function)
        -> bool;
    [[nodiscard]] auto SizeOf(RC::Sim::Kind Kind) -> size_t;

    // Values a block's parameters are given from: live objects (and null), classes (and null)
    // and names of the engine, and small numbers, so that the same value comes up again.
    struct Values
    {
        std::vector<RC::Unreal::UObject*> Objects;
        std::vector<RC::Unreal::UClass*> Classes;
        std::vector<RC::Unreal::FName> Names;
    };

    // The 8 bytes of a value of an 8-byte Kind (object, class, name, number), valid for that kind.
    auto ValueOf(RC::Sim::Kind Kind, FuzzedDataProvider& Input, const Values& From) -> uint64_t;

    // Writes a valid value of its declared type into every parameter of Block (strings from the
    // input, references and names from From, numbers from the input), and Pattern into every
    // other byte (locals included, bytes between and after the parameters).
    auto FillBlock(Harness::ParamBlock& Block, const Declaration& Made, FuzzedDataProvider& Input, const Values& From,
                   uint8_t Pattern) -> void;

    // Before and After are equal except in [From, To).
    auto RequireKeptBut(const std::vector<uint8_t>& Before, const std::vector<uint8_t>& After, size_t From, size_t To,
                        const char* What) -> void;

    [[nodiscard]] inline auto BytesOf(const void* Where, size_t Count) -> std::vector<uint8_t>
    {
        const auto* const Begin = static_cast<const uint8_t*>(Where);
        return {Begin, Begin + Count};
    }

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

    namespace Detail
    {
        // The current session and the World attached to it (null until attached).
        auto OpenSession(const Redeclarations& Redeclared, bool& Fresh) -> Harness::Session&;
        auto Attached() -> void*;
        auto Attach(std::shared_ptr<void> World) -> void;
    } // namespace Detail

    template <typename World>
    auto SessionFor(const Redeclarations& Redeclared) -> std::pair<Harness::Session&, World&>
    {
        bool Fresh = false;
        Harness::Session& Session = Detail::OpenSession(Redeclared, Fresh);
        if (Fresh || Detail::Attached() == nullptr)
        {
            Detail::Attach(std::make_shared<World>(Session));
        }
        return {Session, *static_cast<World*>(Detail::Attached())};
    }

    template <typename World>
    auto StartInput(FuzzedDataProvider& Input, std::span<const RC::CharType* const> Functions) -> Start<World>
    {
        Declarations Layouts = ChooseDeclarations(Input, Functions);
        const auto Opened = SessionFor<World>(Layouts.Redeclared);
        return {std::move(Layouts.Of), Opened.first, Opened.second};
    }
} // namespace Fuzz
