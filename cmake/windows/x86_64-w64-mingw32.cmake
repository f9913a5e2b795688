# 64-bit Windows: the Windows implementations of the platform services and
# their tests, which run under wine64 (cmake/windows/wine64-run).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VANDRA_WINDOWS_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine64-run)
