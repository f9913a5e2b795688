# 32-bit Windows, the host's platform: the three plug-in DLLs. Nothing built
# here runs on our machines; the DLLs are checked statically.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANDRA_WINDOWS_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
