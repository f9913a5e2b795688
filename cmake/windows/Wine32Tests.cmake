# 32-bit Windows programs run here (cmake/windows/wine32-run, scripts/
# windows-wine32): the runner's own test, and the three plug-in DLLs loaded
# as the host loads them. Included by PlugIn.cmake, which has made the DLLs.
set(wine32_run ${CMAKE_SOURCE_DIR}/cmake/windows/wine32-run)
set(wine32_src ${CMAKE_SOURCE_DIR}/tests/windows/wine32)
set(wine32_check ${PYTHON3_SYSTEM} ${wine32_src}/RunnerCheck.py ${wine32_run})

# The runner's test: a clean program passes with its own exit code; one
# importing a function its DLL lacks fails although it never calls it; one
# calling a function wine has only as a stub fails.
add_executable(wine32_clean ${wine32_src}/Clean.c)
add_library(wine32_lib SHARED ${wine32_src}/Lib.c ${wine32_src}/Lib.def)
set_target_properties(wine32_lib PROPERTIES PREFIX "")
# The import library promises Absent as well, which the DLL lacks: what a
# program meets when it was linked against another version of a DLL.
set(wine32_promises ${CMAKE_BINARY_DIR}/libwine32_promises.a)
add_custom_command(OUTPUT ${wine32_promises}
  COMMAND ${VANDRA_DLLTOOL} -k -d ${wine32_src}/LibPromises.def -l ${wine32_promises}
  DEPENDS ${wine32_src}/LibPromises.def
  COMMENT "Import library of wine32_lib.dll with a function it lacks")
add_custom_target(wine32_promises_lib DEPENDS ${wine32_promises})
add_executable(wine32_missing ${wine32_src}/Missing.c)
target_link_libraries(wine32_missing PRIVATE ${wine32_promises})
add_dependencies(wine32_missing wine32_promises_lib wine32_lib)
add_executable(wine32_stub ${wine32_src}/Stub.c)
add_test(NAME windows.wine32.runner_passes_clean
  COMMAND ${wine32_check} 7 "clean: 32-bit" $<TARGET_FILE:wine32_clean>)
add_test(NAME windows.wine32.runner_fails_missing_import
  COMMAND ${wine32_check} 90 "No implementation for wine32_lib.dll.Absent" $<TARGET_FILE:wine32_missing>)
add_test(NAME windows.wine32.runner_fails_stub_call
  COMMAND ${wine32_check} 90 "unimplemented function KERNEL32.dll.CancelDeviceWakeupRequest" $<TARGET_FILE:wine32_stub>)

# The host's ktapi32.dll as neutral answers (HostStandIn.py), beside the
# DLLs, where the loader looks first.
set(standin_c ${CMAKE_BINARY_DIR}/ktapi32_standin.c)
set(standin_def ${CMAKE_BINARY_DIR}/ktapi32_standin.def)
add_custom_command(OUTPUT ${standin_c} ${standin_def}
  COMMAND ${PYTHON3_SYSTEM} ${wine32_src}/HostStandIn.py ${CMAKE_SOURCE_DIR}/host/ktapi32.h
          ${CMAKE_SOURCE_DIR}/cmake/windows/HostImports.py ${standin_c} ${standin_def}
  DEPENDS ${CMAKE_SOURCE_DIR}/host/ktapi32.h ${CMAKE_SOURCE_DIR}/cmake/windows/HostImports.py
          ${wine32_src}/HostStandIn.py
  COMMENT "Stand-in of ktapi32.dll")
add_library(ktapi32_standin SHARED ${standin_c} ${standin_def})
set_target_properties(ktapi32_standin PROPERTIES PREFIX "" OUTPUT_NAME ktapi32)
# Its functions take arguments they do not read.
set_source_files_properties(${standin_c} PROPERTIES COMPILE_OPTIONS -Wno-unused-parameter)

# Each DLL with the hooks of its export list.
add_executable(wine32_plugin_load ${wine32_src}/PluginLoad.c)
add_dependencies(wine32_plugin_load ktapi32_standin)
set(plugin_specs)
foreach(build VD1TransAction2010 VD1TransAction TransactHooks)
  file(READ ${CMAKE_SOURCE_DIR}/builds/${build}.map map)
  string(REGEX MATCH "global:(.*)local:" block "${map}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*;" names "${CMAKE_MATCH_1}")
  string(REPLACE ";;" "," names "${names}")
  string(REPLACE ";" "" names "${names}")
  list(APPEND plugin_specs "$<TARGET_FILE:${build}>:${names}")
  list(APPEND release_specs "${CMAKE_BINARY_DIR}/release/stripped/${build}.dll:${names}")
  add_dependencies(wine32_plugin_load ${build})
endforeach()
add_test(NAME windows.wine32.plugin_dlls_load
  COMMAND ${wine32_check} 0 "plug-in DLLs: all loaded" $<TARGET_FILE:wine32_plugin_load> ${plugin_specs})
# The DLLs as released: checked, stripped into release/stripped/ (the zip's
# copies), and loaded the same way.
add_test(NAME windows.wine32.release_dlls_load
  COMMAND /bin/sh -c "cd \"$0\" && /usr/bin/python3 scripts/package_windows.py \"$1\" \"$2\" >/dev/null && shift 2 && exec \"$@\""
          ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${VANDRA_OBJDUMP}
          ${wine32_check} 0 "plug-in DLLs: all loaded" $<TARGET_FILE:wine32_plugin_load> ${release_specs})
# Generous: the emulator is slow on a loaded machine.
set_tests_properties(windows.wine32.runner_passes_clean windows.wine32.runner_fails_missing_import
  windows.wine32.runner_fails_stub_call windows.wine32.plugin_dlls_load
  windows.wine32.release_dlls_load PROPERTIES TIMEOUT 600)

# The same from the files alone, for every import, called or not: the DLLs
# import nothing wine lacks or only stubs (the host's ktapi32.dll aside),
# and the list finds the stub the runner's test calls.
find_program(VANDRA_NM ${VANDRA_WINDOWS_TRIPLE}-nm REQUIRED)
set(wine32_pe $ENV{VANDRA_WINDOWS_DEPS})
if(NOT wine32_pe)
  set(wine32_pe /opt/vandra-windows)
endif()
set(wine32_stubs ${PYTHON3_SYSTEM} ${wine32_src}/WineStubs.py ${VANDRA_OBJDUMP} ${VANDRA_NM}
  ${wine32_pe}/wine32/usr/lib/i386-linux-gnu/wine/i386-windows)
add_test(NAME windows.wine32.plugin_imports_in_wine
  COMMAND ${wine32_stubs} $<TARGET_FILE:VD1TransAction2010> $<TARGET_FILE:VD1TransAction>
          $<TARGET_FILE:TransactHooks>)
add_test(NAME windows.wine32.stub_list_finds_stub COMMAND ${wine32_stubs} $<TARGET_FILE:wine32_stub>)
set_tests_properties(windows.wine32.stub_list_finds_stub PROPERTIES
  PASS_REGULAR_EXPRESSION "kernel32.dll CancelDeviceWakeupRequest: stub")
