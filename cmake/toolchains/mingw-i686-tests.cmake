# The i686 test programs and stand-ins around the product's vantor.dll: the posix thread model,
# whose libstdc++ has the std::thread and std::mutex they use. They run under 32-bit Wine inside
# the 32-bit test system (scripts/win32-env.sh).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh)
