# The program and DLLs we ship for Windows: the win32 thread model, so that
# libstdc++ brings no winpthreads (which imports Vista and XP functions).
set(FW_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw32.cmake)
