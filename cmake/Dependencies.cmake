# Third-party libraries, all from Debian's packages. Debian ships their binaries and CMake
# packages for the build machine only, so a cross build (Windows with mingw-w64) takes the
# header-only forms of fmt, utfcpp, nlohmann-json, CLI11 and valijson from the build machine's headers
# and compiles GoogleTest from Debian's source package. The targets keep the packages' names.
if(BRAMBLEON_HOST_SDK STREQUAL "ue4ss")
  # The real host brings fmt with it; utfcpp comes from vcpkg, which installs it from the
  # project's vcpkg.json when configured with vcpkg's toolchain file (docs/windows.md).
  find_package(utf8cpp CONFIG)
  if(NOT utf8cpp_FOUND)
    message(FATAL_ERROR "utfcpp not found. Configure with vcpkg's toolchain file "
                        "(-DCMAKE_TOOLCHAIN_FILE=<vcpkg>/scripts/buildsystems/vcpkg.cmake): it installs utfcpp "
                        "from this project's vcpkg.json. See docs/windows.md.")
  endif()
  # The port's target is utf8cpp in utfcpp 3, utf8::cpp (and utf8cpp::utf8cpp) in utfcpp 4.
  if(NOT TARGET utf8cpp)
    add_library(utf8cpp INTERFACE IMPORTED GLOBAL)
    if(TARGET utf8::cpp)
      target_link_libraries(utf8cpp INTERFACE utf8::cpp)
    else()
      target_link_libraries(utf8cpp INTERFACE utf8cpp::utf8cpp)
    endif()
  endif()
elseif(CMAKE_CROSSCOMPILING)
  set(BRAMBLEON_HEADER_ROOT "/usr/include" CACHE PATH "Where the build machine's header-only libraries live")
  set(BRAMBLEON_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources (Debian: googletest)")

  # Only the libraries' own folders may reach the cross compiler, never the build machine's
  # whole include folder, whose C library headers would shadow the target's.
  set(_brambleon_cross_headers "${PROJECT_BINARY_DIR}/cross-headers")
  function(brambleon_header_only target folder)
    cmake_parse_arguments(PARSE_ARGV 2 arg "AS_ROOT" "" "DEFINITIONS")
    if(NOT EXISTS "${BRAMBLEON_HEADER_ROOT}/${folder}")
      message(FATAL_ERROR "${BRAMBLEON_HEADER_ROOT}/${folder} is missing; install its Debian package")
    endif()
    file(MAKE_DIRECTORY "${_brambleon_cross_headers}/${target}")
    set(link "${_brambleon_cross_headers}/${target}/${folder}")
    if(NOT EXISTS "${link}")
      file(CREATE_LINK "${BRAMBLEON_HEADER_ROOT}/${folder}" "${link}" SYMBOLIC)
    endif()
    # AS_ROOT: the package's include folder is the linked folder itself (utfcpp: <utf8.h>).
    set(include_dir "${_brambleon_cross_headers}/${target}")
    if(arg_AS_ROOT)
      set(include_dir "${link}")
    endif()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${include_dir}"
                                               INTERFACE_COMPILE_DEFINITIONS "${arg_DEFINITIONS}")
  endfunction()

  brambleon_header_only(fmt::fmt-header-only fmt DEFINITIONS FMT_HEADER_ONLY=1)
  brambleon_header_only(utf8cpp utf8cpp AS_ROOT)
  brambleon_header_only(nlohmann_json::nlohmann_json nlohmann)
  brambleon_header_only(CLI11::CLI11 CLI)
  brambleon_header_only(valijson valijson)
else()
  find_package(fmt 9 REQUIRED)
  find_package(utf8cpp REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
  if(BRAMBLEON_BUILD_TOOLS)
    find_package(valijson REQUIRED)
  endif()
endif()

add_library(brambleon_fmt INTERFACE)
if(BRAMBLEON_HOST_SDK STREQUAL "ue4ss")
  # fmt arrives with the host's target.
elseif(CMAKE_CROSSCOMPILING)
  target_link_libraries(brambleon_fmt INTERFACE fmt::fmt-header-only)
else()
  target_link_libraries(brambleon_fmt INTERFACE fmt::fmt)
endif()
add_library(brambleon::fmt ALIAS brambleon_fmt)

if(BRAMBLEON_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory("${BRAMBLEON_GOOGLETEST_SOURCE_DIR}" "${PROJECT_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()
