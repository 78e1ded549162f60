// The C face of the core consumer: a module of its own that reaches the core's conversion
// members the way another native mod does, through Get_VEXA_CORE and the imported class.
// Texts cross in plain form; engine strings are the host's own type, which both sides share.
#pragma once

#include <cstddef>

namespace RC::Unreal
{
    class FString;
}

namespace VEXA
{
    class VEXA_Core;
}

namespace BRMB::Consumer
{
    // Receives a narrow answer's bytes.
    using NarrowSink = void (*)(void* Context, const char* Bytes, size_t Size);

    // Get_VEXA_CORE as the consumer's own import bound it: the simulator compares it with the
    // core of the mod it loaded, so a second copy of the mod cannot pass unnoticed.
    using CoreFunction = VEXA::VEXA_Core* (*)();
    // Text is moved into the member, which consumes it.
    using FStringToUtf8Function = void (*)(VEXA::VEXA_Core* Core, RC::Unreal::FString* Text, NarrowSink Sink,
                                           void* Context);
    using NarrowToFStringFunction = void (*)(VEXA::VEXA_Core* Core, const char* Bytes, size_t Size,
                                             RC::Unreal::FString* Answer);
    using WideToFStringFunction = void (*)(VEXA::VEXA_Core* Core, const char16_t* Units, size_t Count,
                                           RC::Unreal::FString* Answer);
} // namespace BRMB::Consumer
