// A module apart from the mod, linked against it as another native mod is: its calls go to the
// mod's exported class through the pointer Get_VEXA_CORE answers.
#include "core_consumer.hpp"

#include <string>
#include <utility>

#include <VEXA_Core.hpp>

#include "mod/export.hpp"

// Declared by the mod's export; the consumer imports it like any other module would.
BRMB_IMPORT auto Get_VEXA_CORE() -> VEXA::VEXA_Core*;

BRMB_EXPORT auto Consumer_Core() -> VEXA::VEXA_Core*
{
    return Get_VEXA_CORE();
}

BRMB_EXPORT auto Consumer_FStringToUtf8(VEXA::VEXA_Core* Core, RC::Unreal::FString* Text,
                                        BRMB::Consumer::NarrowSink Sink, void* Context) -> void
{
    const auto Answer = Core->FStringToUtf8(std::move(*Text));
    Sink(Context, Answer.data(), Answer.size());
}

BRMB_EXPORT auto Consumer_NarrowToFString(VEXA::VEXA_Core* Core, const char* Bytes, size_t Size,
                                          RC::Unreal::FString* Answer) -> void
{
    *Answer = Core->NarrowToFString(std::string(Bytes, Size));
}

BRMB_EXPORT auto Consumer_WideToFString(VEXA::VEXA_Core* Core, const char16_t* Units, size_t Count,
                                        RC::Unreal::FString* Answer) -> void
{
    *Answer = Core->WideToFString(RC::StringType(Units, Units + Count));
}
