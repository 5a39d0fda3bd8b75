# End-to-end runs need to know where the converter looks for the system's trq.ini.
target_compile_definitions(catalog_tests PRIVATE PLQ_SYSCONFDIR="${PLQ_SYSCONFDIR}")
