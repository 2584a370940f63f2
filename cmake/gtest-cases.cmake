# fw_gtest_cases(target [LABELS label]): registers a GoogleTest program with
# CTest. Natively each case runs in a process of its own. Under an emulator
# (Wine, possibly itself in a software-emulated guest) starting a process costs
# seconds, so there the program runs once with all its cases, and a failing
# case is named in its output.
include(GoogleTest)
function(fw_gtest_cases target)
  cmake_parse_arguments(G "" "LABELS" "" ${ARGN})
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS "${G_LABELS}" TIMEOUT 1500)
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${G_LABELS}")
  endif()
endfunction()
