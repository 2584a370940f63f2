# cmake -DBINARY=FILE [-DEXPECT_HOOKS=ON] -P check-no-test-hooks.cmake
# Fails when a program we ship carries a test hook: a hook's name or the
# environment variable the hooked build reads. EXPECT_HOOKS=ON turns the
# check round, for the build with hooks (so a check that finds nothing fails).
file(STRINGS "${BINARY}" hits REGEX "FWUPD_TEST_WAIT_LIMIT_MS|wnaspi95_test|aspdebug_test")
list(LENGTH hits count)
if(EXPECT_HOOKS AND count EQUAL 0)
  message(FATAL_ERROR "${BINARY}: no test hook found, though this build has them")
elseif(NOT EXPECT_HOOKS AND count GREATER 0)
  message(FATAL_ERROR "${BINARY}: carries test hooks")
endif()
message(STATUS "${BINARY}: ${count} test hook marks")
