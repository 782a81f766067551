# The device-path conversion rule over arbitrary drive maps and paths, and the drive-map build
# over arbitrary device strings (winsim).
vantor_add_fuzzer(paths_fuzz ${CMAKE_CURRENT_LIST_DIR}/paths_fuzz.cpp)
