# Runs the cross-built Windows programs through wine: CTest, test discovery and custom
# commands all go through CMAKE_CROSSCOMPILING_EMULATOR, here a small script that gives wine a
# prefix of its own inside the build tree, silences its debug channels and creates the prefix
# once, under a lock, so parallel tests do not race on a cold prefix.

# Paths compiled into test programs are the build machine's; wine shows its root as drive Z:,
# and a path without a drive would resolve against whatever drive the program's current folder
# is on.
set(BRAMBLEON_RUN_PATH_PREFIX "")
if(NOT (WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX))
  return()
endif()
set(BRAMBLEON_RUN_PATH_PREFIX "Z:")

if(CMAKE_CROSSCOMPILING_EMULATOR)
  return() # the caller chose an emulator
endif()
if(NOT BRAMBLEON_WINE)
  message(WARNING "wine not found: the Windows programs build, but CTest cannot run them")
  return()
endif()

set(BRAMBLEON_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix" CACHE PATH "wine prefix that runs the tests")
configure_file("${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in" "${PROJECT_BINARY_DIR}/wine-run.sh"
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_BINARY_DIR}/wine-run.sh")
