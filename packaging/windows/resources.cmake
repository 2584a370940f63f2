# Windows build only: makes fwupd32.exe a GUI-subsystem program and compiles
# its resources into it. Included at the first project() call (see the
# MinGW toolchain); the work is deferred until the target exists.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
  return()
endif()

set(FW_WINDOWS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# The icon and the picture live in the toolkit as byte arrays; a helper built
# with the build machine's compiler writes them out for the resource compiler.
function(fw_windows_bitmap_files icon bmp)
  find_program(FW_HOST_CXX NAMES c++ g++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(data ${PROJECT_SOURCE_DIR}/src/platform/toolkit/bitmaps_data.cpp)
  set(dumper ${CMAKE_BINARY_DIR}/packaging/dump_bitmaps)
  set(out ${CMAKE_BINARY_DIR}/packaging)
  add_custom_command(
    OUTPUT ${out}/fwupd32.ico ${out}/jumper.bmp
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
    COMMAND ${FW_HOST_CXX} -std=c++20 -I${PROJECT_SOURCE_DIR}/src -o ${dumper}
            ${FW_WINDOWS_PACKAGING_DIR}/dump_bitmaps.cpp ${data}
    COMMAND ${dumper} ${out}/fwupd32.ico ${out}/jumper.bmp
    DEPENDS ${FW_WINDOWS_PACKAGING_DIR}/dump_bitmaps.cpp ${data}
    COMMENT "Writing the program icon and the jumper picture")
  set(${icon} ${out}/fwupd32.ico PARENT_SCOPE)
  set(${bmp} ${out}/jumper.bmp PARENT_SCOPE)
endfunction()

function(fw_windows_resources)
  if(NOT TARGET fwupd32)
    return()
  endif()
  set(rc ${FW_WINDOWS_PACKAGING_DIR}/fwupd32.rc)
  set(defs "")
  set(rc_depends ${FW_WINDOWS_PACKAGING_DIR}/fwupd32.manifest)
  set(rc_includes ${FW_WINDOWS_PACKAGING_DIR})
  fw_windows_bitmap_files(icon bmp)
  list(APPEND defs FW_HAVE_BITMAPS)
  get_filename_component(dir ${icon} DIRECTORY)
  list(APPEND rc_depends ${icon} ${bmp})
  list(APPEND rc_includes ${dir})
  add_custom_target(fwupd32_bitmap_files DEPENDS ${icon} ${bmp})
  add_dependencies(fwupd32 fwupd32_bitmap_files)
  set_source_files_properties(${rc} TARGET_DIRECTORY fwupd32 PROPERTIES
    OBJECT_DEPENDS "${rc_depends}" INCLUDE_DIRECTORIES "${rc_includes}")
  set_property(SOURCE ${rc} TARGET_DIRECTORY fwupd32 APPEND PROPERTY COMPILE_DEFINITIONS ${defs})
  target_sources(fwupd32 PRIVATE ${rc})
  set_target_properties(fwupd32 PROPERTIES WIN32_EXECUTABLE ON)
endfunction()

enable_language(RC)
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL fw_windows_resources)
