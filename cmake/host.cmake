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
  platform/sim/mutex.cpp
  platform/sim/infstore.cpp
  platform/sim/verinfo.cpp
)
target_include_directories(vqdcore PUBLIC ${CMAKE_SOURCE_DIR})
# The shutdown: token privilege and ExitWindowsEx, recorded, never performed.
target_sources(vqdcore PRIVATE platform/sim/shutdown.cpp)
# The dialog windows (controls, text measurement) and the user at them (a
# scripted modal loop, the paints).
target_sources(vqdcore PRIVATE platform/sim/dialogs.cpp platform/sim/user.cpp)
# Failure points: each failable call counted, and the n-th made to fail.
target_sources(vqdcore PRIVATE platform/sim/faultpoints.cpp)
# Two states of a machine compared, for what a failed action must leave.
target_sources(vqdcore PRIVATE platform/sim/compare.cpp)

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

# Fuzz targets (tests/fuzz/<name>_fuzz.cpp), each with a seed corpus in
# tests/fuzz/corpus/<name>/. With -DVQD_FUZZ=ON (clang) they are libFuzzer
# programs: CC=clang CXX=clang++ cmake -S . -B build/fuzz -DVQD_FUZZ=ON, or
# tools/fuzz.sh SECONDS for all of them. Otherwise each entry is linked with
# a replay main and a test runs it over its corpus.
set(VQD_FUZZ_TARGETS verinfo lowerfilter version versionline regimport cmdline payloaddate procedure)
foreach(fuzzer ${VQD_FUZZ_TARGETS})
  if(VQD_FUZZ)
    set(exe ${fuzzer}_fuzz)
    add_executable(${exe} tests/fuzz/${fuzzer}_fuzz.cpp)
    target_compile_options(${exe} PRIVATE -fsanitize=fuzzer)
    target_link_options(${exe} PRIVATE -fsanitize=fuzzer)
  else()
    set(exe ${fuzzer}_replay)
    add_executable(${exe} tests/fuzz/${fuzzer}_fuzz.cpp tests/fuzz/replay.cpp)
    add_test(NAME fuzz.${fuzzer} COMMAND ${exe} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${fuzzer})
    set_tests_properties(fuzz.${fuzzer} PROPERTIES LABELS fuzz TIMEOUT 120)
  endif()
  target_link_libraries(${exe} PRIVATE vqdcore)
  target_include_directories(${exe} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz)
  # The install and removal runs carry the generated sample drivers.
  target_compile_definitions(${exe} PRIVATE VQD_FIXTURE_DIR="${VQD_FIXTURE_DIR}")
  add_dependencies(${exe} vqd_fixtures)
endforeach()
# The reader of PE version resources against pefile: the verinfo corpus, the
# sample drivers and, with a win32 build, the payload's drivers.
if(NOT VQD_FUZZ)
  add_executable(peversion_dump tests/differential/peversion_dump.cpp platform/sim/verinfo.cpp)
  target_include_directories(peversion_dump PRIVATE ${CMAKE_SOURCE_DIR})
  add_dependencies(peversion_dump vqd_fixtures)
  set(_vqd_pe_files ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/verinfo ${VQD_FIXTURE_DIR})
  if(VQDINST_WIN32_DIR)
    list(APPEND _vqd_pe_files ${VQDINST_WIN32_DIR}/payload/VQD.SYS ${VQDINST_WIN32_DIR}/payload/VQD2K.SYS
                              ${VQDINST_WIN32_DIR}/payload/MERIDAX.VXD)
  endif()
  add_test(NAME fuzz.peversion_diff
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/differential/peversion_diff.py
                   $<TARGET_FILE:peversion_dump> ${_vqd_pe_files})
  set_tests_properties(fuzz.peversion_diff PROPERTIES LABELS fuzz TIMEOUT 120)
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
