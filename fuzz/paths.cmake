# The device-path conversion rule over arbitrary drive maps and paths.
vantor_add_fuzzer(paths_fuzz ${CMAKE_CURRENT_LIST_DIR}/paths_fuzz.cpp)
