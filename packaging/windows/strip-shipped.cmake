# What we ship for Windows carries no symbols or debug information, and its
# section names fit PE's 8-character field (.eh_frame becomes .eh_fram: the
# unwinder finds the frames through the start-up code's registration, not by
# name). The linked file is kept beside it as NAME.debug for debuggers and the
# processor check. Included at the first project() call by the shipped
# toolchain; each shipped target calls it where it is made.
function(fw_strip_shipped target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --long-section-names disable $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
