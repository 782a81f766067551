# One GuardLog line into a sink that discards it, against formatting the message alone.
vantor_add_bench(guardlog_bench ${CMAKE_CURRENT_SOURCE_DIR}/guardlog_bench.cpp)
