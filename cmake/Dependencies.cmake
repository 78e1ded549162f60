# Third-party libraries, all from Debian's packages. Cross builds use the header-only forms,
# since Debian ships these libraries' binaries for the build machine only.
find_package(fmt 9 REQUIRED)
find_package(utf8cpp REQUIRED)
find_package(nlohmann_json 3 REQUIRED)

add_library(brambleon_fmt INTERFACE)
if(CMAKE_CROSSCOMPILING)
  target_link_libraries(brambleon_fmt INTERFACE fmt::fmt-header-only)
else()
  target_link_libraries(brambleon_fmt INTERFACE fmt::fmt)
endif()
add_library(brambleon::fmt ALIAS brambleon_fmt)

if(BRAMBLEON_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
