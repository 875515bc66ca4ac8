# Host build: the program logic against the simulated Windows, with unit tests.
enable_testing()

option(VQD_SANITIZE "Build the host code with AddressSanitizer and UBSan" ON)
option(VQD_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(VQD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)
if(VQD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)  # coverage for the fuzzers
endif()

add_library(vqdcore STATIC
  ${VQD_CORE_SOURCES}
  platform/sim/sim.cpp
  platform/sim/registry.cpp
  platform/sim/files.cpp
  platform/sim/versions.cpp
  platform/sim/processes.cpp
  platform/sim/windows.cpp
  platform/sim/devices.cpp
  platform/sim/threads.cpp
  platform/sim/infstore.cpp
  platform/sim/verinfo.cpp
)
target_include_directories(vqdcore PUBLIC ${CMAKE_SOURCE_DIR})
# The shutdown: token privilege and ExitWindowsEx, recorded, never performed.
target_sources(vqdcore PRIVATE platform/sim/shutdown.cpp)
# The dialog windows (controls, text measurement) and the user at them (a
# scripted modal loop, the paints).
target_sources(vqdcore PRIVATE platform/sim/dialogs.cpp platform/sim/user.cpp)

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE vqdcore GTest::gtest GTest::gtest_main)
target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/payloadcheck.cpp)  # payload: mkpayload's checks

# Sample executables and VxDs with known versions for the version-reader tests.
include(${CMAKE_SOURCE_DIR}/tools/fixtures.cmake)
target_compile_definitions(unit_tests PRIVATE VQD_FIXTURE_DIR="${VQD_FIXTURE_DIR}")
# The sample payload's INF and catalog, for the store of setup information files.
target_compile_definitions(unit_tests PRIVATE VQD_PAYLOAD_SOURCE_DIR="${CMAKE_SOURCE_DIR}/payload")
add_dependencies(unit_tests vqd_fixtures)

gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

# End-to-end tests of the real program under Wine, when a win32 build is given.
set(VQDINST_WIN32_DIR "" CACHE PATH "Build directory of the win32 build (enables the Wine tests)")
if(VQDINST_WIN32_DIR)
  add_subdirectory(tests/e2e)
endif()

# libFuzzer targets: CC=clang CXX=clang++ cmake -S . -B build/fuzz -DVQD_FUZZ=ON
# then e.g. build/fuzz/lowerfilter_fuzz -max_total_time=60
if(VQD_FUZZ)
  foreach(fuzzer verinfo lowerfilter version)
    add_executable(${fuzzer}_fuzz tests/fuzz/${fuzzer}_fuzz.cpp)
    target_link_libraries(${fuzzer}_fuzz PRIVATE vqdcore)
    target_compile_options(${fuzzer}_fuzz PRIVATE -fsanitize=fuzzer)
    target_link_options(${fuzzer}_fuzz PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()

# ---- benchmarks: in-process costs on the simulated Windows --------------------
# Only when asked (bench/run.sh configures build/bench-host with this and
# without sanitizers); never part of the tests.
option(VQD_BENCH "Build the Google Benchmark programs of bench/" OFF)
if(VQD_BENCH)
  find_package(benchmark REQUIRED)
  add_executable(vqd_bench ${CMAKE_SOURCE_DIR}/bench/host_bench.cpp)
  target_link_libraries(vqd_bench PRIVATE vqdcore benchmark::benchmark)
  target_compile_definitions(vqd_bench PRIVATE VQD_FIXTURE_DIR="${VQD_FIXTURE_DIR}")
  add_dependencies(vqd_bench vqd_fixtures)
endif()
