# libFuzzer comes with clang only. Refuse any other compiler here, with the way out, rather
# than fail later on an unknown flag.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR
        "DUNGEON_FUZZ needs clang with libFuzzer, but the C++ compiler is "
        "${CMAKE_CXX_COMPILER_ID} (${CMAKE_CXX_COMPILER}). Use `cmake --preset fuzz`, "
        "or configure with -DCMAKE_CXX_COMPILER=clang++ in a fresh build folder.")
endif()

include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -fsanitize=fuzzer)
set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=fuzzer)
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
]] DUNGEON_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(NOT DUNGEON_HAVE_LIBFUZZER)
    message(FATAL_ERROR
        "${CMAKE_CXX_COMPILER} cannot link a libFuzzer target: its runtime is missing "
        "(on Debian the package libclang-rt-dev, or libclang-rt-<version>-dev).")
endif()

# Coverage for every library; the targets themselves add -fsanitize=fuzzer, which also
# links the engine and its main().
add_compile_options(-fsanitize=fuzzer-no-link)
