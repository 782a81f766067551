# The formatter twins against glibc's vsnprintf and vswprintf on the same messages and values.
vantor_add_bench(formatter_bench ${CMAKE_CURRENT_LIST_DIR}/formatter_bench.cpp)
