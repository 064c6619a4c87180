# The table reader is compiled in directly: the rest of the batch command needs Qt.
veltrano_fuzzer(fuzz_tables FuzzTables.cpp ${PROJECT_SOURCE_DIR}/src/batch/TableReader.cpp)
target_link_libraries(fuzz_tables PRIVATE veltrano_analysis)
