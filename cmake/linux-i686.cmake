# Building for 32-bit x86 Linux with the multilib compilers (-m32) in the root
# of scripts/root32.sh, which holds the i386 libraries (GoogleTest, Google
# Benchmark). The same code as on 64-bit Linux, with 32-bit size_t and
# pointers, where size and offset arithmetic overflows first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# The unit tests are listed when ctest runs them rather than after the build:
# the build may run where 32-bit programs cannot (scripts/root32.sh build).
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
