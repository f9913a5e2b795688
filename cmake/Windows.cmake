# The Windows build, cross-built with Debian's MinGW-w64 (toolchain files in
# cmake/windows/, libraries from scripts/windows-deps). It holds what has a
# Windows implementation so far, and grows service by service until it
# builds all that the Linux build does (docs/windows.md):
#
#   64-bit  the platform services that have their Windows implementation,
#           files, folders, locks and clock (platform/env, WinEnv.cpp in
#           place of PosixEnv.cpp), code pages and the user's formats
#           (platform/text, WinEncoding.cpp and WinFormats.cpp), the module's
#           own name (platform/module), the registry, starting programs,
#           the message loop's timers and the dialogs (their Win*.cpp), with
#           their tests, which run under wine64 (the toolchain's emulator)
#   32-bit  the three plug-in DLLs for the host (cmake/windows/PlugIn.cmake),
#           checked statically, and loaded under the 32-bit wine in
#           qemu-i386 (cmake/windows/wine32-run); the services' tests below
#           run there too (cmake/windows/Platform32Tests.cmake)
find_package(Threads REQUIRED)
include(cmake/Layers.cmake)

if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  include(cmake/windows/PlugIn.cmake)
  return()
endif()

vandra_layer(platform FOLDERS platform/env platform/module
  platform/print
  platform/registry platform/process platform/ui
  platform/text platform/ini)
target_link_libraries(vandra_platform PUBLIC Threads::Threads)
find_package(GTest CONFIG REQUIRED)
enable_testing()

# A test program of one folder. It runs whole under the emulator, one wine
# start per program rather than per case.
function(vandra_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE vandra_platform GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  add_test(NAME windows.${name} COMMAND ${name} --gtest_brief=1)
endfunction()

add_subdirectory(platform/env)
add_subdirectory(platform/text)
add_subdirectory(platform/module)
add_subdirectory(platform/registry)
add_subdirectory(platform/process)
# Printing whole: its Windows printer writes the PDF in the standard fonts
# (WinPrinter.cpp); the tests that read it back with pdftotext skip here.
add_subdirectory(platform/print)
# The forms, the presenters (Win32 windows and the scripted one) and the
# timers; the pictures of the forms are JPEG files.
find_package(JPEG REQUIRED)
target_link_libraries(vandra_platform PUBLIC JPEG::JPEG comctl32 comdlg32)
add_subdirectory(platform/ui)
# What the registry needs of a folder not built whole here yet: the file
# replacement under the registry file.
target_sources(vandra_platform PRIVATE ${CMAKE_SOURCE_DIR}/platform/ini/FileUpdate.cpp)
# Of platform/db the Access databases through ADO alone, with their test:
# the rest of the driver stands on SQLite, built for the DLLs only.
add_library(vandra_ado STATIC platform/db/WinAdoBackend.cpp)
target_include_directories(vandra_ado PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(vandra_ado PUBLIC vandra_platform ole32 oleaut32 uuid)
vandra_add_test(ado_test platform/db/WinAdoBackend_test.cpp)
target_link_libraries(ado_test PRIVATE vandra_ado)
