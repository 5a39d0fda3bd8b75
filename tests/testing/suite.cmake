# The generator's command-line tool is run end to end.
add_dependencies(testing_tests plqgen)
target_compile_definitions(testing_tests PRIVATE PLQGEN_EXE="$<TARGET_FILE:plqgen>")
