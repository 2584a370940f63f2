# The program and DLLs we ship for Windows: the win32 thread model, so that
# libstdc++ brings no winpthreads (which imports Vista and XP functions).
set(FW_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw32.cmake)

# The processors of 98 SE and NT 4.0's era: our code is compiled for the
# 486, and the runtime members we link are rebuilt for it
# (scripts/win-runtime.sh), since Debian's prebuilt ones need a Pentium Pro.
set(FW_WINDOWS_MARCH i486)
set(FW_WINDOWS_RUNTIME ${CMAKE_CURRENT_LIST_DIR}/../build/win32-runtime-${FW_WINDOWS_MARCH})
if(NOT CMAKE_IN_TRY_COMPILE)
  execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/win-runtime.sh
                          ${FW_WINDOWS_RUNTIME} ${FW_WINDOWS_MARCH}
                  RESULT_VARIABLE runtime_result)
  if(NOT runtime_result EQUAL 0)
    message(FATAL_ERROR "scripts/win-runtime.sh failed: no runtime for -march=${FW_WINDOWS_MARCH}")
  endif()
endif()
set(CMAKE_C_FLAGS_INIT "-march=${FW_WINDOWS_MARCH} -mtune=pentium")
set(CMAKE_CXX_FLAGS_INIT "-march=${FW_WINDOWS_MARCH} -mtune=pentium")
# -B finds the rebuilt crt2.o, -L the library copies with the rebuilt members.
set(runtime_link_flags "-B${FW_WINDOWS_RUNTIME}/lib/ -L${FW_WINDOWS_RUNTIME}/lib")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " ${runtime_link_flags}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " ${runtime_link_flags}")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " ${runtime_link_flags}")

set(strip_include ${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/strip-shipped.cmake)
if(NOT strip_include IN_LIST CMAKE_PROJECT_TOP_LEVEL_INCLUDES)
  list(APPEND CMAKE_PROJECT_TOP_LEVEL_INCLUDES ${strip_include})
endif()
