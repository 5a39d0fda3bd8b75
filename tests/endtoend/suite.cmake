# Runs need to know where the converter looks for the system's trq.ini; the install test
# runs cmake --install on this build.
target_compile_definitions(endtoend_tests PRIVATE PLQ_SYSCONFDIR="${PLQ_SYSCONFDIR}"
  PLQ_CMAKE_COMMAND="${CMAKE_COMMAND}" PLQGEN_EXE="$<TARGET_FILE:plqgen>")
add_dependencies(endtoend_tests plqgen)
