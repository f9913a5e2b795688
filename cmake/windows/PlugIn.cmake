# The three plug-in DLLs for 32-bit Windows, the host's platform.
#
# The layers are those of the Linux build, each built from its folders'
# sources but for the ones that have no Windows implementation yet (below).
# Each DLL is its entry file and the hooks over them, with a module-definition
# file made from the build's export list, linked against the host's ktapi32.dll
# through an import library made from host/ktapi32.h. What the missing
# sources leave unresolved is imported from vandra_pending.dll, which does not
# exist (LinkPending.py): the DLLs are checked as the host will meet them
# (tests/windows/CheckDll.py), and cannot load until nothing is pending.
find_program(PYTHON3_SYSTEM python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(JPEG REQUIRED)
find_package(LibXml2 REQUIRED)
find_path(SIMPLEINI_INCLUDE_DIR SimpleIni.h REQUIRED)
find_program(VANDRA_DLLTOOL ${VANDRA_WINDOWS_TRIPLE}-dlltool REQUIRED)
find_program(VANDRA_OBJDUMP ${VANDRA_WINDOWS_TRIPLE}-objdump REQUIRED)

include(cmake/PluginLayers.cmake)

# Sources without a Windows implementation yet, and where one plugs in. Each
# leaves functions unresolved that the DLLs import from vandra_pending.dll;
# VANDRA_PENDING_SERVICES names the namespaces they may come from.
set(VANDRA_NOT_ON_WINDOWS
  # The terminal presenter: Linux's terminal; Windows has WinPresenter.cpp.
  platform/ui/TerminalPresenter.cpp
  # Linux's printer, through cairo; WinPrinter.cpp is Windows'.
  platform/print/CairoPrinter.cpp)
# The POSIX implementations behind the seams (Posix*.cpp) are left out
# below; each seam has its Win*.cpp, and no service is pending any more.
set(VANDRA_PENDING_SERVICES)

foreach(layer ${VANDRA_LAYERS})
  foreach(folder ${VANDRA_LAYER_${layer}_FOLDERS})
    file(GLOB sources RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${folder}/*.cpp)
    list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
    if(folder STREQUAL "plugin" OR folder STREQUAL "builds")
      # Linked into each DLL itself, not kept in a library.
      list(FILTER sources EXCLUDE REGEX "/(hooks|VD1TransAction2010|VD1TransAction|TransactHooks)\\.cpp$")
    endif()
    # Posix*.cpp are the POSIX implementations behind the services' seams;
    # the Win*.cpp beside them are taken.
    list(FILTER sources EXCLUDE REGEX "/Posix[^/]*\\.cpp$")
    list(REMOVE_ITEM sources ${VANDRA_NOT_ON_WINDOWS})
    list(TRANSFORM sources PREPEND ${CMAKE_SOURCE_DIR}/)
    target_sources(vandra_${layer} PRIVATE ${sources})
  endforeach()
endforeach()
target_include_directories(vandra_platform PUBLIC ${SIMPLEINI_INCLUDE_DIR})
target_compile_definitions(vandra_platform PUBLIC LIBXML_STATIC)
target_link_libraries(vandra_platform PUBLIC Threads::Threads JPEG::JPEG LibXml2::LibXml2)
# The presenter's windows: up-downs and date pickers, the file dialogs.
target_link_libraries(vandra_platform PUBLIC comctl32 comdlg32)
# COM for the Access databases through ADO (platform/db/WinAdoBackend.cpp).
target_link_libraries(vandra_db PUBLIC SQLite::SQLite3 ole32 oleaut32 uuid)

# The host's library, by import library: names and argument sizes from the
# header, undecorated in the DLL (dlltool -k). It holds every function of
# the header; a DLL imports only those its code calls directly, the ones
# every build calls (builds/<build>.imports), and binds the others at run
# time (host/LateBound.h).
set(ktapi32_def ${CMAKE_BINARY_DIR}/ktapi32.def)
set(ktapi32_lib ${CMAKE_BINARY_DIR}/libktapi32.a)
add_custom_command(OUTPUT ${ktapi32_lib}
  COMMAND ${PYTHON3_SYSTEM} ${CMAKE_SOURCE_DIR}/cmake/windows/HostImports.py
          ${CMAKE_SOURCE_DIR}/host/ktapi32.h ${ktapi32_def} ${CMAKE_SIZEOF_VOID_P}
  COMMAND ${VANDRA_DLLTOOL} -k -d ${ktapi32_def} -l ${ktapi32_lib}
  DEPENDS ${CMAKE_SOURCE_DIR}/host/ktapi32.h ${CMAKE_SOURCE_DIR}/cmake/windows/HostImports.py
  COMMENT "Import library of ktapi32.dll")
add_custom_target(ktapi32_imports DEPENDS ${ktapi32_lib})
add_library(ktapi32 INTERFACE)
target_link_libraries(ktapi32 INTERFACE ${ktapi32_lib})
add_dependencies(ktapi32 ktapi32_imports)
target_link_libraries(vandra_host PUBLIC ktapi32)

# A build's module-definition file from its export list, the one list of its
# hooks: each exported undecorated, bound to the stdcall symbol with its 12
# bytes of arguments.
function(vandra_def_from_map build out)
  file(READ ${CMAKE_SOURCE_DIR}/builds/${build}.map map)
  string(REGEX MATCH "global:(.*)local:" block "${map}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*;" names "${CMAKE_MATCH_1}")
  set(def "LIBRARY ${build}.dll\nEXPORTS\n")
  foreach(name ${names})
    string(REPLACE ";" "" name "${name}")
    string(APPEND def "  ${name} = ${name}@12\n")
  endforeach()
  file(CONFIGURE OUTPUT ${out} CONTENT "${def}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${CMAKE_SOURCE_DIR}/builds/${build}.map)
endfunction()

enable_testing()
set(check_dll ${PYTHON3_SYSTEM} ${CMAKE_SOURCE_DIR}/tests/windows/CheckDll.py)
foreach(build VD1TransAction2010 VD1TransAction TransactHooks)
  set(def ${CMAKE_BINARY_DIR}/${build}.def)
  vandra_def_from_map(${build} ${def})
  add_library(${build} SHARED
    ${CMAKE_SOURCE_DIR}/builds/${build}.cpp ${CMAKE_SOURCE_DIR}/plugin/hooks.cpp ${def})
  set_target_properties(${build} PROPERTIES PREFIX "" RULE_LAUNCH_LINK
    "${PYTHON3_SYSTEM} ${CMAKE_SOURCE_DIR}/cmake/windows/LinkPending.py ${CMAKE_BINARY_DIR}/bin ${VANDRA_DLLTOOL} _ --")
  target_link_libraries(${build} PRIVATE vandra_hooks ktapi32)
  # Its exports against its export list, its imports from ktapi32.dll
  # against its imports list, and those from Windows against the functions
  # Windows 7 has (tests/windows/Win32Imports.txt).
  add_test(NAME windows.dll.${build}
    COMMAND ${check_dll} check ${VANDRA_OBJDUMP} $<TARGET_FILE:${build}>
            ${CMAKE_SOURCE_DIR}/builds/${build}.map
            --imports ${CMAKE_SOURCE_DIR}/builds/${build}.imports
            --pending ${VANDRA_PENDING_SERVICES})
endforeach()
add_test(NAME windows.dll.checks_find_faults
  COMMAND ${check_dll} selftest ${VANDRA_OBJDUMP} ${CMAKE_C_COMPILER})
# The release zip (scripts/package-windows): made from DLLs that pass,
# refused while a DLL still lacks a service.
add_test(NAME windows.release_zip
  COMMAND ${PYTHON3_SYSTEM} ${CMAKE_SOURCE_DIR}/scripts/package_windows.py selftest)
# The DLLs loaded and a hook called under the 32-bit wine, and the runner's
# own test.
include(cmake/windows/Wine32Tests.cmake)
include(cmake/windows/Platform32Tests.cmake)
include(cmake/windows/CheckIn32.cmake)
include(cmake/windows/Host32.cmake)
