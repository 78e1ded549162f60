# Cross build for Windows x86-64 with Debian's mingw-w64 compilers, POSIX threads flavour
# (the Win32 flavour lacks std::thread and std::mutex in GCC 12).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake ...   (or: cmake --preset windows)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRAMBLEON_MINGW_TRIPLE x86_64-w64-mingw32 CACHE STRING "Target triple of the mingw-w64 tools")
set(CMAKE_C_COMPILER ${BRAMBLEON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRAMBLEON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRAMBLEON_MINGW_TRIPLE}-windres)

# Look for the target's libraries and headers only in the mingw sysroot, for programs only on
# the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${BRAMBLEON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler runtime (libgcc, libstdc++, winpthread) is linked into every binary: the mod's
# DLL is loaded from the game's mod folder, where nothing would find runtime DLLs, and the
# tests then run under wine without extra setup.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Programs built here run through wine (cmake/Wine.cmake wraps it with a private prefix).
if(CMAKE_HOST_UNIX)
  find_program(BRAMBLEON_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH
               DOC "wine loader that runs the Windows tests")
endif()
