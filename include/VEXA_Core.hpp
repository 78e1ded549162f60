// The core services object: the hooks of the core Blueprint library (the log, the file services)
// and the world-actor registry. One global instance, used on the game thread; the
// host's event-loop thread resets it at uninstall and start-up, behind the callback gate.
#pragma once

#include <string>
#include <vector>

#include <HookSlot.hpp>
#include <String/StringType.hpp>
#include <Unreal/FString.hpp>

// Other native code holds the core through Get_VEXA_CORE and calls its members: the class is
// exported from the mod and imported by every other module.
#if defined(_WIN32)
#  if defined(BRAMBLEON_BUILDING_MOD)
#    define VEXA_API __declspec(dllexport)
#  else
#    define VEXA_API __declspec(dllimport)
#  endif
#else
#  define VEXA_API __attribute__((visibility("default")))
#endif

namespace RC::Unreal
{
    class UObject;
}

namespace VEXA
{
    class VEXA_API VEXA_Core
    {
    public:
        VEXA_Core();

        // Registers the discovery tick callback ("VEXA_EngineBPScan") and logs the start line.
        auto initialize() -> void;

        // Look the library function up once and hook it; true when the function is known.
        auto RegisterHook_VEXA_CPP_GetNamesFromDir(bool Unused = false) -> bool;
        auto RegisterHook_VEXA_CPP_GetFileContents(bool Unused = false) -> bool;
        auto RegisterHook_VEXA_CPP_SaveFile(bool Unused = false) -> bool;
        auto RegisterHook_VEXA_CPP_DoesFileExist(bool Unused = false) -> bool;
        auto RegisterHook_VEXA_CPP_SendToUE4SSLog(bool Unused = false) -> bool;
        auto RegisterHook_VEXA_CPP_RegisterWorldActor(bool Unused = false) -> bool;
        auto RegisterHook_VEXA_CPP_DestroyedWorldActor(bool Unused = false) -> bool;

        // The log line and the conversions. Narrow text is UTF-8 and is decoded.
        auto LogWide(RC::StringType Text, bool Alternate) -> void;
        auto LogNarrow(std::string Text, bool Alternate) -> void;
        auto FStringToUtf8(RC::Unreal::FString Text) -> std::string;
        auto NarrowToFString(std::string Text) -> RC::Unreal::FString;
        auto WideToFString(RC::StringType Text) -> RC::Unreal::FString;

        // File services; paths are UTF-8 and used as given (relative to the working directory).
        auto ListDirNames(const std::string& FolderPath) -> std::vector<std::string>;
        // The file's text as the engine string the file hook answers with, decoded as it is read.
        auto ReadFileText(const std::string& FilePath, bool RemoveLineBreaks) -> RC::Unreal::FString;
        auto DoesPathExist(const std::string& Path) -> bool;

        // World-actor registry.
        auto SetNewWorldActor(RC::Unreal::UObject* NewActor) -> bool;
        auto ClearWorldActor() -> void;

        RC::StringType LibraryPath;
        RC::Unreal::UObject* Library = nullptr;

        HookSlot GetNamesFromDirSlot;
        HookSlot GetFileContentsSlot;
        HookSlot SaveFileSlot;
        HookSlot DoesFileExistSlot;
        HookSlot SendToUE4SSLogSlot;
        HookSlot RegisterWorldActorSlot;
        HookSlot DestroyedWorldActorSlot;

        RC::Unreal::UObject* WorldActor = nullptr;
        HookIds FindFirstOfHookIds{0, 0};
        HookIds FindAllOfHookIds{0, 0};
        HookIds NewObjectHookIds{0, 0};

        bool ScanComplete = false;
        float PollElapsed = 0.0f;
        float PollInterval = 0.1f;
        float TimeoutElapsed = 0.0f;
    };

    // The process-wide instance.
    auto CoreInstance() -> VEXA_Core&;
} // namespace VEXA
