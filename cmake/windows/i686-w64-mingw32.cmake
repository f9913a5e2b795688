# 32-bit Windows, the host's platform: the three plug-in DLLs, checked
# statically and loaded by test programs under the 32-bit wine in qemu-i386
# (cmake/windows/wine32-run; our kernel runs no 32-bit code itself).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANDRA_WINDOWS_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
