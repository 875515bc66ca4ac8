# Sample drivers with known version information, generated at build time into
# VQD_FIXTURE_DIR: PE drivers by tools/mkpe.sh (MinGW-w64 windres and gcc),
# VxDs by the host tool mkvxd.

find_program(VQD_MINGW_CC i686-w64-mingw32-gcc REQUIRED)
find_program(VQD_WINDRES i686-w64-mingw32-windres REQUIRED)

set(_vqd_tools ${CMAKE_CURRENT_LIST_DIR})
add_executable(mkvxd ${_vqd_tools}/mkvxd.cpp)

set(VQD_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
file(MAKE_DIRECTORY ${VQD_FIXTURE_DIR})
set(_vqd_fixtures "")

# vqd_pe_fixture(NAME FILEVERSION [--no-version])
function(vqd_pe_fixture name version)
  set(out ${VQD_FIXTURE_DIR}/${name})
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E env VQD_MINGW_CC=${VQD_MINGW_CC} VQD_WINDRES=${VQD_WINDRES}
            sh ${_vqd_tools}/mkpe.sh ${out} ${version} ${ARGN}
    DEPENDS ${_vqd_tools}/mkpe.sh
    COMMENT "Generating fixture ${name}"
    VERBATIM)
  set(_vqd_fixtures ${_vqd_fixtures} ${out} PARENT_SCOPE)
endfunction()

# vqd_vxd_fixture(NAME FILEVERSION [mkvxd options])
function(vqd_vxd_fixture name version)
  set(out ${VQD_FIXTURE_DIR}/${name})
  add_custom_command(OUTPUT ${out}
    COMMAND mkvxd ${out} ${version} ${ARGN}
    DEPENDS mkvxd
    COMMENT "Generating fixture ${name}"
    VERBATIM)
  set(_vqd_fixtures ${_vqd_fixtures} ${out} PARENT_SCOPE)
endfunction()

vqd_pe_fixture(ver_5_1_26_0.sys "5.1.26.0")
vqd_pe_fixture(ver_text.sys "1.2.3.4 (build 7)")
vqd_pe_fixture(nover.sys "1.0.0.0" --no-version)
# Older and newer installed copies for the install and upgrade decisions.
vqd_pe_fixture(ver_5_0_0_0.sys "5.0.0.0")
vqd_pe_fixture(ver_9_0_0_0.sys "9.0.0.0")
vqd_vxd_fixture(meridax_4_0.vxd "4.0.0.0")
vqd_vxd_fixture(meridax_9_0.vxd "9.0.0.0")
vqd_vxd_fixture(meridax.vxd "4.10.0.2222")
vqd_vxd_fixture(zerolen.vxd "4.10.0.2222" --zero-length)

add_custom_target(vqd_fixtures DEPENDS ${_vqd_fixtures})
