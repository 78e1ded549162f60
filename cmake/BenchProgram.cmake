# A command-line program over a loaded mod session (the discovery and the soak runs): the
# harness, CLI11 and fmt, the built mod's path as BRAMBLEON_MOD_PATH, built after the mod.
function(brambleon_bench_program target source)
  if(NOT TARGET brambleon_harness)
    add_subdirectory("${PROJECT_SOURCE_DIR}/bench/harness" "${PROJECT_BINARY_DIR}/bench/harness")
  endif()
  if(NOT TARGET CLI11::CLI11)
    find_package(CLI11 REQUIRED)
  endif()

  add_executable(${target} "${source}")
  target_link_libraries(${target} PRIVATE brambleon_harness brambleon::fmt CLI11::CLI11)
  target_compile_definitions(${target} PRIVATE BRAMBLEON_MOD_PATH="$<TARGET_FILE:brambleon>")
  add_dependencies(${target} brambleon)
  brambleon_warnings(${target})
endfunction()
