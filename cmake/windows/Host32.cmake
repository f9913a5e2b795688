# The host stand-in for 32-bit Windows, in host32/ of the build folder: a
# ktapi32.dll that exports the host's functions undecorated with stdcall,
# as the plug-in DLLs import them, and kartul-sim.exe, which loads the
# plug-in DLLs beside it by name. Under the 32-bit wine the scenarios run
# through the real DLLs (tests windows.scenario32.<name>).
#
# The host's code and kartul-sim's live in the DLL; the program only calls
# into it (hostsim/KartulSim.h says why). What ties the host to Linux has
# its Win*.cpp (hostsim/System.h), another implementation or stays out:
# the shapefiles are written and read by the platform's own codecs
# (CodecLayers.cpp, for shapelib), the prompt (readline) is left out, and
# the status map is drawn by the Linux build's tools/kartenbild (cairo), a
# program the scenario's host starts as it starts the others.
#
# Included by PlugIn.cmake, which has made the layers, the DLLs and the
# import library target "ktapi32"; its stand-in of neutral answers
# (Wine32Tests.cmake) is named ktapi32.dll too, hence a folder of its own.
set(host32_dir ${CMAKE_BINARY_DIR}/host32)
set(host32_src ${CMAKE_SOURCE_DIR}/hostsim)
vandra_link_tree(${VANDRA_LAYER_ROOT}/hostsim hostsim host/ktapi32.h platform/ui/Timer.h)

set(host32_def ${CMAKE_BINARY_DIR}/host32_ktapi32.def)
add_custom_command(OUTPUT ${host32_def}
  COMMAND ${PYTHON3_SYSTEM} ${CMAKE_SOURCE_DIR}/cmake/windows/HostExports.py
          ${CMAKE_SOURCE_DIR}/host/ktapi32.h ${host32_def} kartulsim_main
  DEPENDS ${CMAKE_SOURCE_DIR}/host/ktapi32.h ${CMAKE_SOURCE_DIR}/cmake/windows/HostExports.py
          ${CMAKE_SOURCE_DIR}/cmake/windows/HostImports.py
  COMMENT "Exports of the 32-bit host's ktapi32.dll")
add_library(host32_ktapi32 SHARED
  ${host32_src}/CodecLayers.cpp ${host32_src}/EventLoop.cpp ${host32_src}/Exchange.cpp
  ${host32_src}/Geodata.cpp ${host32_src}/Geometry.cpp ${host32_src}/HookTable.cpp
  ${host32_src}/HostModel.cpp
  ${host32_src}/PluginHost.cpp ${host32_src}/Project.cpp ${host32_src}/Simulator.cpp
  ${host32_src}/Sqlite.cpp ${host32_src}/TableCursors.cpp ${host32_src}/WinPrompt.cpp
  ${host32_src}/WinSystem.cpp ${host32_src}/kartul_sim.cpp ${host32_src}/ktapi32.cpp
  ${host32_def})
set_target_properties(host32_ktapi32 PROPERTIES PREFIX "" OUTPUT_NAME ktapi32
  RUNTIME_OUTPUT_DIRECTORY ${host32_dir} ARCHIVE_OUTPUT_DIRECTORY ${host32_dir})
target_include_directories(host32_ktapi32 PRIVATE ${VANDRA_LAYER_ROOT}/hostsim ${SIMPLEINI_INCLUDE_DIR})
target_link_libraries(host32_ktapi32 PRIVATE vandra_dbase SQLite::SQLite3 user32 advapi32)

add_executable(host32_kartul_sim ${host32_src}/kartul_sim_main.cpp)
set_target_properties(host32_kartul_sim PROPERTIES OUTPUT_NAME kartul-sim
  RUNTIME_OUTPUT_DIRECTORY ${host32_dir})
target_include_directories(host32_kartul_sim PRIVATE ${VANDRA_LAYER_ROOT}/hostsim)
target_link_libraries(host32_kartul_sim PRIVATE host32_ktapi32)

# The plug-in DLLs beside the program, where it loads them by name.
foreach(build VD1TransAction2010 VD1TransAction TransactHooks)
  add_custom_command(TARGET ${build} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${host32_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${build}> ${host32_dir}/)
  add_dependencies(host32_kartul_sim ${build})
endforeach()
add_dependencies(host32_kartul_sim checkin32)

# The scenarios of the three builds (the build a scenario names in its
# plugin step, or as BUILD for a shared one), each through the real DLL.
# The scenarios' programs are the Linux build's (VANDRA_LINUX_TOOLS), but
# for the check-in program the plug-in starts, the Windows build's
# Checkin.exe (CheckIn32.cmake).
set(VANDRA_LINUX_TOOLS ${CMAKE_SOURCE_DIR}/build/bin CACHE PATH
    "The Linux build's program folder, whose programs the scenarios run")
file(GLOB host32_scenarios CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/scenarios/*.kts)
foreach(scenario ${host32_scenarios})
  get_filename_component(name ${scenario} NAME_WE)
  file(STRINGS ${scenario} named REGEX "^[ \t]*(plugin|let[ \t]+BUILD)[ \t]+[^ \t]+")
  if(NOT named)
    continue()
  endif()
  list(GET named 0 first)
  string(REGEX REPLACE "^.*[ \t]" "" build "${first}")
  if(NOT build MATCHES "^(VD1TransAction2010|VD1TransAction|TransactHooks)$")
    continue()
  endif()
  add_test(NAME windows.scenario32.${name}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/wine32/scenario32 ${wine32_run}
            $<TARGET_FILE:host32_kartul_sim> ${VANDRA_LINUX_TOOLS} ${scenario}
            $<TARGET_FILE:checkin32>)
  # The longest that passes takes about 40 s under the emulator (against
  # 2 s on Linux).
  # The locale of the Linux run (tests/CMakeLists.txt): wine takes the
  # user's formats from it.
  if(name MATCHES "_de(_earlier|_reduced)?$")
    set(locale de_DE.UTF-8)
  else()
    set(locale C.UTF-8)
  endif()
  set_tests_properties(windows.scenario32.${name} PROPERTIES
    ENVIRONMENT "LC_ALL=${locale}" SKIP_RETURN_CODE 4 TIMEOUT 180
    LABELS "scenario32;${build}")
endforeach()

# Its ties to the system under the 32-bit wine.
add_executable(host32_system_test ${host32_src}/WinSystem_test.cpp ${host32_src}/WinSystem.cpp)
set_target_properties(host32_system_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${host32_dir})
target_include_directories(host32_system_test PRIVATE ${VANDRA_LAYER_ROOT}/hostsim)
target_link_libraries(host32_system_test PRIVATE user32 advapi32)
add_test(NAME windows.host32.system
  COMMAND ${wine32_check} 0 "host32 system: all passed" $<TARGET_FILE:host32_system_test>)
set_tests_properties(windows.host32.system PROPERTIES TIMEOUT 600)
