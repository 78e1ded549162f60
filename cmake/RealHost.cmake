# Builds the mod against the real host's sources instead of the stand-in: for modders on Windows
# with MSVC and a checkout of the host's source tree (docs/windows.md). The host's own CMake
# project provides the library target that native mods link; its headers use the same include
# paths (Mod/..., Unreal/..., DynamicOutput/..., String/...) as the stand-in.
set(BRAMBLEON_UE4SS_SOURCE_DIR "" CACHE PATH "Root of the real host's source tree")
set(BRAMBLEON_UE4SS_TARGET "UE4SS" CACHE STRING "The host's library target that native mods link")

if(NOT IS_DIRECTORY "${BRAMBLEON_UE4SS_SOURCE_DIR}")
  message(FATAL_ERROR "BRAMBLEON_HOST_SDK=ue4ss needs BRAMBLEON_UE4SS_SOURCE_DIR, the host's source tree")
endif()
if(NOT MSVC)
  message(WARNING "The real host is built with MSVC; other compilers do not share its C++ ABI")
elseif(CMAKE_CXX_COMPILER_ID STREQUAL "MSVC" AND MSVC_VERSION LESS 1943)
  # The host's own configure stops there too, with less to go on. (clang-cl, for the host's
  # cross builds, reports the version it emulates and is left to the host's own check.)
  message(FATAL_ERROR "The host needs MSVC 19.43 (Visual Studio 2022 17.13) or later; this is ${MSVC_VERSION}")
endif()

add_subdirectory("${BRAMBLEON_UE4SS_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/ue4ss" EXCLUDE_FROM_ALL)
if(NOT TARGET ${BRAMBLEON_UE4SS_TARGET})
  message(FATAL_ERROR "The host's sources define no target '${BRAMBLEON_UE4SS_TARGET}'; set BRAMBLEON_UE4SS_TARGET")
endif()

# The mod's build files name the host as brambleon::host whichever host it is.
add_library(brambleon_host INTERFACE)
target_link_libraries(brambleon_host INTERFACE ${BRAMBLEON_UE4SS_TARGET})
add_library(brambleon::host ALIAS brambleon_host)
