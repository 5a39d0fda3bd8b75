# End-to-end runs need to know where the converter looks for the system's trq.ini.
target_compile_definitions(catalog_tests PRIVATE PLQ_SYSCONFDIR="${PLQ_SYSCONFDIR}")
# A run that loses its catalog is made whole with `trq check --repair`.
add_dependencies(catalog_tests trq)
target_compile_definitions(catalog_tests PRIVATE TRQ_EXE="$<TARGET_FILE:trq>")
