# Runs need to know where the converter looks for the system's trq.ini; the install test
# runs cmake --install on this build, so everything it installs is built first.
target_compile_definitions(endtoend_tests PRIVATE PLQ_SYSCONFDIR="${PLQ_SYSCONFDIR}"
  PLQ_CMAKE_COMMAND="${CMAKE_COMMAND}")
add_dependencies(endtoend_tests plqgen)
if(TARGET trq)
  add_dependencies(endtoend_tests trq)
endif()
