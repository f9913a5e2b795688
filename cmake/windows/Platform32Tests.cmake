# The platform services' test programs of build-win64 built once more for
# 32-bit Windows, the host's platform, and run under the 32-bit wine in
# qemu-i386 (cmake/windows/wine32-run): the 32-bit runtime unwinds with
# DWARF-2 tables that cannot pass a frame of Windows, where x64 unwinds
# through SEH, and pointers, handles and WPARAMs are half as wide, so a
# fault of either kind shows only here. Tests `windows32.<program>`, label
# `windows32`.
#
# Included by PlugIn.cmake once vandra_platform is made: each folder's own
# CMakeLists.txt declares its test programs, as for 64-bit. What it adds to
# vandra_platform the library has already (CMake keeps a source once per
# target), so the programs link the very library the plug-in DLLs link.
find_package(GTest CONFIG REQUIRED)
set(VANDRA_WINE32_RUN ${CMAKE_SOURCE_DIR}/cmake/windows/wine32-run)

function(vandra_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE vandra_platform GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  # One start of the emulated wine per program (some 3 s), not per case.
  add_test(NAME windows32.${name}
    COMMAND ${VANDRA_WINE32_RUN} $<TARGET_FILE:${name}> --gtest_brief=1)
  # Every instruction is emulated: a program takes up to a few minutes.
  set_tests_properties(windows32.${name} PROPERTIES LABELS windows32 TIMEOUT 600)
endfunction()

add_subdirectory(platform/env)
add_subdirectory(platform/text)
add_subdirectory(platform/module)
add_subdirectory(platform/registry)
add_subdirectory(platform/process)
add_subdirectory(platform/print)
add_subdirectory(platform/ui)
# The Access databases through ADO: in the 32-bit build WinAdoBackend.cpp is
# part of vandra_db already.
vandra_add_test(ado_test ${CMAKE_SOURCE_DIR}/platform/db/WinAdoBackend_test.cpp)
target_link_libraries(ado_test PRIVATE vandra_db)
