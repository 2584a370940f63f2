# fw_gtest_cases(target [LABELS label] [SHARDS n]): registers a GoogleTest
# program with CTest. Natively each case runs in a process of its own. Under
# an emulator (Wine, possibly itself in a software-emulated guest) starting a
# process costs seconds, so there the program runs once with all its cases (in
# n processes that share them out, for a program whose cases take long), and a
# failing case is named in its output. A program that hangs there (Wine under
# emulation has, rarely) is run once more after its time-out (the win32 test
# preset).
include(GoogleTest)
function(fw_gtest_cases target)
  cmake_parse_arguments(G "" "LABELS;SHARDS" "" ${ARGN})
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${G_LABELS}")
  elseif(NOT G_SHARDS)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS "${G_LABELS}" TIMEOUT 300)
  else()
    math(EXPR last "${G_SHARDS} - 1")
    foreach(shard RANGE ${last})
      add_test(NAME ${target}/${shard} COMMAND ${target})
      set_tests_properties(${target}/${shard} PROPERTIES LABELS "${G_LABELS}" TIMEOUT 300
        ENVIRONMENT "GTEST_TOTAL_SHARDS=${G_SHARDS};GTEST_SHARD_INDEX=${shard}")
    endforeach()
  endif()
endfunction()
