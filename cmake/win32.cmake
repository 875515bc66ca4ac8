# The product: a static 32-bit Windows executable with the payload as resources.
enable_language(RC)
add_compile_options(-Wall -Wextra -Os)

set(VQD_VERSION_COMMA "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
configure_file(app/vqdinst.rc.in ${CMAKE_BINARY_DIR}/vqdinst.rc @ONLY)

add_executable(vqdinst WIN32
  ${VQD_CORE_SOURCES}
  platform/win32/win32.cpp
  platform/win32/main.cpp
  ${CMAKE_BINARY_DIR}/vqdinst.rc
)
target_include_directories(vqdinst PRIVATE ${CMAKE_SOURCE_DIR})
# Static, stripped, and without a link time stamp: the same tree gives the same bytes.
target_link_options(vqdinst PRIVATE -static -s -Wl,--no-insert-timestamp)
target_link_libraries(vqdinst PRIVATE version setupapi advapi32 user32)

# The window probe used by the end-to-end tests.
add_executable(probe tools/probe.c)
target_link_options(probe PRIVATE -static -s)
target_link_libraries(probe PRIVATE user32)

# Library operations on their own, for the end-to-end tests.
add_executable(vqdcheck ${VQD_CORE_SOURCES} platform/win32/win32.cpp tests/win32/vqdcheck.cpp)
target_include_directories(vqdcheck PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(vqdcheck PRIVATE -static -s)
target_link_libraries(vqdcheck PRIVATE version setupapi advapi32 user32)
