# Host build: the program logic against the simulated Windows, with unit tests.
enable_testing()

option(VQD_SANITIZE "Build the host code with AddressSanitizer and UBSan" ON)
if(VQD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)

add_library(vqdcore STATIC
  ${VQD_CORE_SOURCES}
  platform/sim/sim.cpp
  platform/sim/verinfo.cpp
)
target_include_directories(vqdcore PUBLIC ${CMAKE_SOURCE_DIR})

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE vqdcore GTest::gtest GTest::gtest_main)
target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/payloadcheck.cpp)  # payload: mkpayload's checks

# Sample executables and VxDs with known versions for the version-reader tests.
include(${CMAKE_SOURCE_DIR}/tools/fixtures.cmake)
target_compile_definitions(unit_tests PRIVATE VQD_FIXTURE_DIR="${VQD_FIXTURE_DIR}")
add_dependencies(unit_tests vqd_fixtures)

gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

# End-to-end tests of the real program under Wine, when a win32 build is given.
set(VQDINST_WIN32_DIR "" CACHE PATH "Build directory of the win32 build (enables the Wine tests)")
if(VQDINST_WIN32_DIR)
  add_subdirectory(tests/e2e)
endif()
