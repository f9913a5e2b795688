# The check-in stand-in for 32-bit Windows: Checkin.exe in checkin32/ of the
# build folder, from the sources of the Linux build's checkin (vandrasim/),
# so that the plug-in under the 32-bit host starts a Windows program, whose
# end it can wait for, and the scenarios that check a package in run there
# (tests windows.scenario32.<name>, Host32.cmake).
#
# What ties the program to Linux has its Windows side behind two seams:
# vandrasim/System.h (the arguments in UTF-8 from the UTF-16 command line,
# a crash that ends it with an exception's status: WinSystem.cpp) and
# vandrasim/Shapes.h (the shapes read by the platform's codec,
# CodecShapes.cpp, where Linux has shapelib). The rest is the same source.
#
# Included by PlugIn.cmake, which has made the layers: the program sees the
# dBase layer (the codecs, and the platform's services below it) and its own
# folder, as on Linux.
set(checkin32_dir ${CMAKE_BINARY_DIR}/checkin32)
set(checkin32_src ${CMAKE_SOURCE_DIR}/vandrasim)
vandra_link_tree(${VANDRA_LAYER_ROOT}/vandrasim vandrasim)

add_executable(checkin32
  ${checkin32_src}/CheckIn.cpp ${checkin32_src}/PackageCheck.cpp ${checkin32_src}/XmlObjects.cpp
  ${checkin32_src}/CodecShapes.cpp ${checkin32_src}/WinSystem.cpp
  ${checkin32_src}/checkin_main.cpp)
# The name the check-in dialog's file chooser asks for.
set_target_properties(checkin32 PROPERTIES OUTPUT_NAME Checkin
  RUNTIME_OUTPUT_DIRECTORY ${checkin32_dir})
target_include_directories(checkin32 PRIVATE ${VANDRA_LAYER_ROOT}/vandrasim)
target_link_libraries(checkin32 PRIVATE vandra_dbase shell32)

# Its ties under the 32-bit wine, the program started as the plug-in starts
# it (the platform's process service): a crash, an exit code of -1, and
# arguments with blanks and umlauts. Beside the program, where it finds it.
vandra_add_test(checkin_system_test ${checkin32_src}/WinSystem_test.cpp)
set_target_properties(checkin_system_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${checkin32_dir})
add_dependencies(checkin_system_test checkin32)
