# The toolkit's tests run the trq executable and link its libraries for the reader's own
# cases and for reading miniSEED back with libmseed.
target_link_libraries(trq_tests PRIVATE plq_trqtool)
add_dependencies(trq_tests trq)
target_compile_definitions(trq_tests PRIVATE TRQ_EXE="$<TARGET_FILE:trq>"
  PLQ_SYSCONFDIR="${PLQ_SYSCONFDIR}")
