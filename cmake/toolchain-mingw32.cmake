# Cross build of the 32-bit Windows program with Debian's MinGW-w64.
# The tests need the posix thread model (GoogleTest and the simulated manager
# use std::mutex and std::thread); the shipped build chooses the win32 model
# (toolchain-mingw32-shipped.cmake), whose runtime imports nothing newer than
# Windows 98 SE and NT 4.0.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

if(NOT DEFINED FW_MINGW_THREADS)
  set(FW_MINGW_THREADS posix)
endif()
set(FW_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${FW_MINGW_PREFIX}-gcc-${FW_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${FW_MINGW_PREFIX}-g++-${FW_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${FW_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FW_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained binaries: no MinGW runtime DLLs beside the .exe or the DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Cross-built programs (tests) run under Wine (tests/wine/run-test.sh); the
# prefix and the debug channels come from the environment (WINEPREFIX,
# WINEDEBUG).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/run-test.sh)

# GoogleTest is built from Debian's sources for the target: find_package(GTest)
# is answered by a dependency provider that adds /usr/src/googletest.
set(FW_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
# Also included: the program's resources (icon, picture, version record) and
# its GUI subsystem. The toolchain file is read more than once; each include
# must be listed once.
foreach(top_include ${CMAKE_CURRENT_LIST_DIR}/mingw32-gtest-provider.cmake
                ${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/resources.cmake)
  if(NOT top_include IN_LIST CMAKE_PROJECT_TOP_LEVEL_INCLUDES)
    list(APPEND CMAKE_PROJECT_TOP_LEVEL_INCLUDES ${top_include})
  endif()
endforeach()
