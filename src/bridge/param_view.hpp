// A typed view over a hooked call's parameter block, at the offsets the Blueprint function
// declares. Runs on the game thread, inside the Blueprint call.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <String/StringType.hpp>
#include <Unreal/FString.hpp>
#include <Unreal/NameTypes.hpp>
#include <Unreal/UFunctionStructs.hpp>

namespace RC::Unreal
{
    class UObject;
}

namespace BRMB::Bridge
{
    // An opaque 8-byte value of the game's entry type; equal when all bytes are equal.
    struct Entry8
    {
        uint8_t Bytes[8];

        // The engine array's AddUnique compares with this.
        friend auto operator==(const Entry8&, const Entry8&) -> bool = default;
    };
    static_assert(sizeof(Entry8) == 8);

    class ParamView
    {
    public:
        explicit ParamView(RC::Unreal::UnrealScriptFunctionCallableContext& Context)
            : Block(Context.TheStack.Locals())
        {
        }

        // The engine string stored at Offset, in place.
        [[nodiscard]] auto FStringAt(size_t Offset) const -> RC::Unreal::FString&
        {
            return *reinterpret_cast<RC::Unreal::FString*>(Block + Offset);
        }
        // A copy of the string at Offset as UTF-8, ending at its first NUL.
        [[nodiscard]] auto Utf8At(size_t Offset) const -> std::string;
        // Replaces the string at Offset with UTF-8 Text (decoded, ending before any NUL).
        auto SetUtf8At(size_t Offset, std::string_view Text) const -> void;
        auto SetWideAt(size_t Offset, RC::StringViewType Text) const -> void;

        template <typename T = RC::Unreal::UObject>
        [[nodiscard]] auto ObjectAt(size_t Offset) const -> T*
        {
            T* Value{};
            std::memcpy(&Value, Block + Offset, sizeof(Value));
            return Value;
        }
        auto SetObjectAt(size_t Offset, RC::Unreal::UObject* Value) const -> void
        {
            std::memcpy(Block + Offset, &Value, sizeof(Value));
        }

        [[nodiscard]] auto NameAt(size_t Offset) const -> RC::Unreal::FName
        {
            RC::Unreal::FName Value;
            std::memcpy(static_cast<void*>(&Value), Block + Offset, sizeof(Value));
            return Value;
        }

        // The 8-byte entry at Offset, in place (a reference into the block).
        [[nodiscard]] auto EntryAt(size_t Offset) const -> const Entry8&
        {
            return *reinterpret_cast<const Entry8*>(Block + Offset);
        }

    private:
        uint8_t* Block;
    };
} // namespace BRMB::Bridge
