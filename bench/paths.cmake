# Device-path conversion against a full drive map, and the drive-map build over 26 drives.
vantor_add_bench(paths_bench ${CMAKE_CURRENT_LIST_DIR}/paths_bench.cpp)
