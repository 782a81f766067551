# Exec-and-wait of a tiny program guarded live (fanotify; needs root) against the same program
# unguarded, in the same run.
vantor_add_bench(live_bench ${CMAKE_CURRENT_LIST_DIR}/live_bench.cpp)
target_link_libraries(live_bench PRIVATE vantor_live_source vantor_driver_standin arbiter winsim)
