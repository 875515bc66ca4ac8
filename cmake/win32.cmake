# The product: a static 32-bit Windows executable with the payload as resources.
enable_language(RC)
add_compile_options(-Wall -Wextra -Os)

set(VQD_VERSION_COMMA "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
set(VQD_MANIFEST ${CMAKE_BINARY_DIR}/vqdinst.manifest)
configure_file(app/vqdinst.manifest.in ${VQD_MANIFEST} @ONLY)
configure_file(app/vqdinst.rc.in ${CMAKE_BINARY_DIR}/vqdinst.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/vqdinst.rc PROPERTIES OBJECT_DEPENDS ${VQD_MANIFEST})

add_executable(vqdinst WIN32
  ${VQD_CORE_SOURCES}
  platform/win32/win32.cpp
  platform/win32/regtree.cpp
  platform/win32/security.cpp
  platform/win32/setupapi.cpp
  platform/win32/sysdll.cpp
  platform/win32/threads.cpp
  platform/win32/main.cpp
  ${CMAKE_BINARY_DIR}/vqdinst.rc
)
target_include_directories(vqdinst PRIVATE ${CMAKE_SOURCE_DIR})
# Static, stripped, and without a link time stamp: the same tree gives the same bytes.
target_link_options(vqdinst PRIVATE -static -s -Wl,--no-insert-timestamp)
# No setupapi and no version: platform/win32/setupapi.cpp and win32.cpp load
# them at run time from the system directory (platform/win32/sysdll.h).
target_link_libraries(vqdinst PRIVATE advapi32 user32)

# The window probe used by the end-to-end tests.
add_executable(probe tools/probe.c)
target_link_options(probe PRIVATE -static -s)
target_link_libraries(probe PRIVATE user32)
# Its part inside the probed program (probe.exe loads it from beside itself).
add_library(probehook SHARED tools/probehook.c)
set_target_properties(probehook PROPERTIES PREFIX "")
target_link_options(probehook PRIVATE -static -s -Wl,--kill-at)
target_link_libraries(probehook PRIVATE gdi32 user32)
add_dependencies(probe probehook)

# Library operations on their own, for the end-to-end tests.
add_executable(vqdcheck ${VQD_CORE_SOURCES} platform/win32/win32.cpp platform/win32/regtree.cpp platform/win32/security.cpp platform/win32/setupapi.cpp
  platform/win32/sysdll.cpp platform/win32/threads.cpp tests/win32/vqdcheck.cpp)
target_include_directories(vqdcheck PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(vqdcheck PRIVATE -static -s)
target_link_libraries(vqdcheck PRIVATE advapi32 user32 shell32)

# Root-enumerated CD-ROM devices for the device-restart tests.
add_executable(cdromseed tests/win32/cdromseed.cpp)
target_link_options(cdromseed PRIVATE -static -s)
target_link_libraries(cdromseed PRIVATE setupapi advapi32)

# Another user's program that holds files open (share read only) until told
# to stop, for the planted-file tests (tests/e2e/security.sh).
add_executable(holdopen tests/win32/holdopen.c)
target_link_options(holdopen PRIVATE -static -s)
# A run in a window station nobody sees, as a deployment tool's (help.sh).
add_executable(invisible tests/win32/invisible.c)
target_link_options(invisible PRIVATE -static -s)
# Another user racing the run for its temporary directory (security.sh).
add_executable(racer tests/win32/racer.c)
target_link_options(racer PRIVATE -static -s)
# A run stopped dead at a line of its debug log (life.sh).
add_executable(killat tests/win32/killat.c)
target_link_options(killat PRIVATE -static -s)

# A stranger's DLL under the names of the DLLs vqdinst.exe loads itself or
# could be made to load (setupapi, version; wintrust and crypt32, which
# SetupAPI loads by bare name; libgcc_s_dw2-1, which the C++
# runtime's start-up takes only when a module of that name is already
# loaded), to show that it never loads one planted beside it or in its
# current directory: build/win32/planted/<name>.dll.
foreach(_vqd_planted setupapi version libgcc_s_dw2-1 wintrust crypt32)
  add_library(planted_${_vqd_planted} SHARED tests/win32/planted.c)
  set_target_properties(planted_${_vqd_planted} PROPERTIES OUTPUT_NAME ${_vqd_planted} PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
  target_compile_options(planted_${_vqd_planted} PRIVATE -Wno-unused-parameter)
  target_link_options(planted_${_vqd_planted} PRIVATE -static -s -Wl,--kill-at)
endforeach()

# ---- payload ----------------------------------------------------------------
# The six carried files become resources of type DATA ("VQD", "VQD_DATE", ...).
# mkpayload (tools/, built for the build machine) checks them against their
# times file and writes into ${CMAKE_BINARY_DIR}/payload a copy of each, its
# date record, payload.rc and payload-versions.txt. It runs on every build and
# rewrites only what changed, so that a changed payload file rebuilds
# vqdinst.exe and an invalid one stops the build with its message.
#
# Without VQDINST_PAYLOAD_DIR the payload is the sample one: VQD.SYS, VQD2K.SYS
# (tools/mkpe.sh) and MERIDAX.VXD (mkvxd) generated with the versions of the
# times file, VQD2K.INF, VQD2K.CAT and DRIVEDB.REG taken from payload/.
set(VQDINST_PAYLOAD_DIR "" CACHE PATH
    "Folder with the six files to embed instead of the sample payload")
set(VQDINST_PAYLOAD_TIMES "" CACHE FILEPATH
    "Times file of the payload (default: payload.txt in VQDINST_PAYLOAD_DIR, or payload/payload.txt)")

include(ExternalProject)
set(_vqd_hosttools ${CMAKE_BINARY_DIR}/hosttools)
ExternalProject_Add(vqd_hosttools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools
  BINARY_DIR ${_vqd_hosttools}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE= -DCMAKE_BUILD_TYPE=Release
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${_vqd_hosttools}/mkvxd ${_vqd_hosttools}/mkpayload)

set(_vqd_payload_out ${CMAKE_BINARY_DIR}/payload)
set(_vqd_payload_names DRIVEDB.REG VQD.SYS VQD2K.SYS MERIDAX.VXD VQD2K.INF VQD2K.CAT)
set(_vqd_payload_inputs "")
if(VQDINST_PAYLOAD_DIR)
  set(_vqd_payload_src ${VQDINST_PAYLOAD_DIR})
  if(NOT IS_DIRECTORY "${_vqd_payload_src}")
    message(FATAL_ERROR "VQDINST_PAYLOAD_DIR: ${_vqd_payload_src} is not a folder")
  endif()
  set(_vqd_payload_times ${_vqd_payload_src}/payload.txt)
else()
  set(_vqd_payload_src ${_vqd_payload_out}/files)
  set(_vqd_payload_times ${CMAKE_SOURCE_DIR}/payload/payload.txt)
endif()
if(VQDINST_PAYLOAD_TIMES)
  set(_vqd_payload_times ${VQDINST_PAYLOAD_TIMES})
endif()
if(NOT EXISTS "${_vqd_payload_times}")
  message(FATAL_ERROR "Payload times file ${_vqd_payload_times} not found (set VQDINST_PAYLOAD_TIMES)")
endif()

if(NOT VQDINST_PAYLOAD_DIR)
  # The VERSION column of the times file, per upper-case file name.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_vqd_payload_times})
  file(STRINGS ${_vqd_payload_times} _vqd_lines)
  foreach(_vqd_line IN LISTS _vqd_lines)
    string(REGEX REPLACE "#.*" "" _vqd_line "${_vqd_line}")
    string(REGEX MATCHALL "[^ \t\r]+" _vqd_words "${_vqd_line}")
    list(LENGTH _vqd_words _vqd_count)
    if(_vqd_count GREATER 1)
      list(GET _vqd_words 0 _vqd_name)
      list(GET _vqd_words 1 _vqd_ver)
      string(TOUPPER "${_vqd_name}" _vqd_name)
      set(_vqd_version_${_vqd_name} ${_vqd_ver})
    endif()
  endforeach()
  foreach(_vqd_name VQD.SYS VQD2K.SYS MERIDAX.VXD)
    if(NOT _vqd_version_${_vqd_name} OR _vqd_version_${_vqd_name} STREQUAL "-")
      message(FATAL_ERROR "${_vqd_payload_times}: no version to generate ${_vqd_name} with")
    endif()
  endforeach()

  file(MAKE_DIRECTORY ${_vqd_payload_src})
  foreach(_vqd_name VQD.SYS VQD2K.SYS)
    add_custom_command(OUTPUT ${_vqd_payload_src}/${_vqd_name}
      COMMAND ${CMAKE_COMMAND} -E env VQD_MINGW_CC=${CMAKE_C_COMPILER} VQD_WINDRES=${CMAKE_RC_COMPILER}
              sh ${CMAKE_SOURCE_DIR}/tools/mkpe.sh ${_vqd_payload_src}/${_vqd_name} ${_vqd_version_${_vqd_name}}
      DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkpe.sh ${_vqd_payload_times}
      COMMENT "Generating sample ${_vqd_name} ${_vqd_version_${_vqd_name}}"
      VERBATIM)
  endforeach()
  add_custom_command(OUTPUT ${_vqd_payload_src}/MERIDAX.VXD
    COMMAND ${_vqd_hosttools}/mkvxd ${_vqd_payload_src}/MERIDAX.VXD ${_vqd_version_MERIDAX.VXD}
            --product "MERIDAX VxD"
    DEPENDS vqd_hosttools ${_vqd_hosttools}/mkvxd ${_vqd_payload_times}
    COMMENT "Generating sample MERIDAX.VXD ${_vqd_version_MERIDAX.VXD}"
    VERBATIM)
  foreach(_vqd_name VQD2K.INF VQD2K.CAT DRIVEDB.REG)
    add_custom_command(OUTPUT ${_vqd_payload_src}/${_vqd_name}
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/payload/${_vqd_name} ${_vqd_payload_src}/${_vqd_name}
      DEPENDS ${CMAKE_SOURCE_DIR}/payload/${_vqd_name}
      VERBATIM)
  endforeach()
  foreach(_vqd_name IN LISTS _vqd_payload_names)
    list(APPEND _vqd_payload_inputs ${_vqd_payload_src}/${_vqd_name})
  endforeach()
endif()

set(_vqd_payload_embedded "")
foreach(_vqd_name IN LISTS _vqd_payload_names)
  list(APPEND _vqd_payload_embedded ${_vqd_payload_out}/${_vqd_name} ${_vqd_payload_out}/${_vqd_name}.date)
endforeach()
add_custom_target(vqd_payload
  COMMAND ${_vqd_hosttools}/mkpayload ${_vqd_payload_src} ${_vqd_payload_times} ${_vqd_payload_out}
  BYPRODUCTS ${_vqd_payload_out}/payload.rc ${_vqd_payload_out}/payload-versions.txt ${_vqd_payload_embedded}
  DEPENDS ${_vqd_payload_inputs}
  COMMENT "Checking the payload in ${_vqd_payload_src}"
  VERBATIM)
add_dependencies(vqd_payload vqd_hosttools)

set_source_files_properties(${_vqd_payload_out}/payload.rc PROPERTIES
  OBJECT_DEPENDS "${_vqd_payload_embedded}")
foreach(_vqd_target vqdinst vqdcheck)
  target_sources(${_vqd_target} PRIVATE ${_vqd_payload_out}/payload.rc)
  add_dependencies(${_vqd_target} vqd_payload)
endforeach()
# ---- end payload --------------------------------------------------------------

# ---- shutdown: the process token's shutdown privilege and ExitWindowsEx -------
foreach(_vqd_target vqdinst vqdcheck)
  target_sources(${_vqd_target} PRIVATE platform/win32/shutdown.cpp)
endforeach()

# ---- dialog fonts: the width table of the simulated Windows ------------------
# Not a test: `wine build/win32/fontwidths.exe > platform/sim/fontwidths.inc`
# regenerates the widths the host build measures labels with.
add_executable(fontwidths tools/fontwidths.c)
target_link_options(fontwidths PRIVATE -static -s)
target_link_libraries(fontwidths PRIVATE gdi32 user32)

# ---- dialog windows: CreateDialogWindow, CreateControl, RunModalDialog ... ---
foreach(_vqd_target vqdinst vqdcheck)
  target_sources(${_vqd_target} PRIVATE platform/win32/dialogs.cpp)
  target_link_libraries(${_vqd_target} PRIVATE gdi32)
endforeach()
# A dialog made with those calls, for the probe's own test and their checks.
add_executable(dlgtest tests/win32/dlgtest.cpp platform/win32/dialogs.cpp platform/win32/threads.cpp)
target_include_directories(dlgtest PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(dlgtest PRIVATE -static -s)
target_link_libraries(dlgtest PRIVATE gdi32 user32)

# ---- size and imports: slimmer runtime pieces, the link map ------------------
# runtime.cpp keeps the demangler and the copy-on-write strings out (see
# there). The link map feeds bench/mapsize.py (program / runtime / payload).
foreach(_vqd_target vqdinst vqdcheck)
  target_sources(${_vqd_target} PRIVATE platform/win32/runtime.cpp)
endforeach()
# Every function and object in a section of its own, so that the linker drops
# what nothing uses.
target_compile_options(vqdinst PRIVATE -ffunction-sections -fdata-sections)
target_link_options(vqdinst PRIVATE -Wl,--gc-sections)
# No relocations: the program always loads at its preferred base on the
# systems it supports (Windows 9x, NT 4, 2000, XP know no address space
# randomisation), and they take 5-6 KiB.
target_link_options(vqdinst PRIVATE -Wl,--disable-dynamicbase -Wl,--disable-reloc-section)
target_link_options(vqdinst PRIVATE -Wl,-Map,${CMAKE_BINARY_DIR}/vqdinst.map)
# The benchmark's floor (bench/run.sh): a trivial program of the same toolchain.
add_executable(benchfloor WIN32 bench/floor.c)
target_link_options(benchfloor PRIVATE -static -s -Wl,--no-insert-timestamp)
target_link_libraries(benchfloor PRIVATE user32)
# The runtime pieces on the real system (tests/e2e/runtime.sh), built as the
# product is.
add_executable(runtimecheck tests/win32/runtimecheck.cpp platform/win32/runtime.cpp)
target_include_directories(runtimecheck PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(runtimecheck PRIVATE -ffunction-sections -fdata-sections)
target_link_options(runtimecheck PRIVATE -static -s -Wl,--gc-sections)

# ---- the Windows Installer example (examples/msi) ------------------------------
# Its custom action DLL: kernel32, advapi32 and msi only, no C runtime (see the
# source), undecorated export names. It carries this vqdinst.exe as resource
# "VQDINST", run when the product folder's copy is missing.
set(VQD_ACTION_RC ${CMAKE_BINARY_DIR}/vqdaction.rc)
file(GENERATE OUTPUT ${VQD_ACTION_RC} CONTENT "VQDINST RCDATA \"$<TARGET_FILE:vqdinst>\"\n")
set_source_files_properties(${VQD_ACTION_RC} PROPERTIES GENERATED TRUE OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/vqdinst.exe)
add_library(vqdaction SHARED examples/msi/vqdaction.cpp examples/msi/vqdrun.cpp ${VQD_ACTION_RC})
add_dependencies(vqdaction vqdinst)
# The meanings of the exit codes it logs: app/exitcodes.h, shared with vqdinst.exe.
target_include_directories(vqdaction PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(vqdaction PROPERTIES PREFIX "")
target_compile_options(vqdaction PRIVATE -ffreestanding -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-tree-loop-distribute-patterns)
target_link_options(vqdaction PRIVATE -nostdlib -s -Wl,--kill-at -Wl,-e,_DllMain@12
  -Wl,--no-insert-timestamp)
target_link_libraries(vqdaction PRIVATE kernel32 advapi32 msi gcc)
