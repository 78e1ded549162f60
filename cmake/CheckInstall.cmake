# A plain install of a stand-in build refuses, naming the guide, and installs nothing. With the
# test's own switch it installs the build tree into an empty folder, and the result is exactly the
# mod folder the host loads: Mods/Brambleon/dlls/main<suffix> (the built mod) and Mods/Brambleon/enabled.txt.
#   cmake -DBUILD_DIR=<build tree> -DPREFIX=<scratch folder> -DMOD=<built mod> -DSUFFIX=<.dll|.so> -P CheckInstall.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env --unset=BRAMBLEON_INSTALL_TEST_BUILD
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status ERROR_VARIABLE refusal)
if(status EQUAL 0 OR NOT refusal MATCHES "cannot load in a game" OR NOT refusal MATCHES "docs/windows.md")
  message(FATAL_ERROR "a stand-in build was installed without refusal (${status}): ${refusal}")
endif()
if(EXISTS "${PREFIX}")
  file(GLOB_RECURSE leftovers "${PREFIX}/*")
  if(leftovers)
    message(FATAL_ERROR "the refused install left files behind: ${leftovers}")
  endif()
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E env BRAMBLEON_INSTALL_TEST_BUILD=1
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed (${status})")
endif()

file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
set(expected "Mods/Brambleon/dlls/main${SUFFIX}" "Mods/Brambleon/enabled.txt")
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed: ${installed}\nexpected: ${expected}")
endif()
file(SHA256 "${MOD}" built)
file(SHA256 "${PREFIX}/Mods/Brambleon/dlls/main${SUFFIX}" copied)
if(NOT built STREQUAL copied)
  message(FATAL_ERROR "main${SUFFIX} is not the built mod ${MOD}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "mod folder laid out as expected")
