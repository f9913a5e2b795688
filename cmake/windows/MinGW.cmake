# What both Windows targets share: Debian's MinGW-w64 cross compilers in
# their posix-threads variant (std::thread and std::mutex over winpthreads),
# with the C and C++ runtime and winpthreads linked statically, so that a
# program or DLL needs nothing but Windows' own DLLs (and a plug-in the
# host's ktapi32.dll). The C libraries the project builds for the target
# (scripts/windows-deps) are found under VANDRA_WINDOWS_DEPS/<triple>.
#
# Included by the toolchain file of a target, which sets VANDRA_WINDOWS_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VANDRA_WINDOWS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANDRA_WINDOWS_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANDRA_WINDOWS_TRIPLE}-windres)
set(CMAKE_AR ${VANDRA_WINDOWS_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VANDRA_WINDOWS_TRIPLE}-ranlib CACHE FILEPATH "")

# The toolchain file is read again for every compiler check, where only the
# environment carries values over.
if(NOT DEFINED VANDRA_WINDOWS_DEPS)
  if(DEFINED ENV{VANDRA_WINDOWS_DEPS})
    set(VANDRA_WINDOWS_DEPS $ENV{VANDRA_WINDOWS_DEPS})
  else()
    set(VANDRA_WINDOWS_DEPS /opt/vandra-windows)
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${VANDRA_WINDOWS_TRIPLE} ${VANDRA_WINDOWS_DEPS}/${VANDRA_WINDOWS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -O2, not -O3: GCC 12 at -O3 takes std::string code for 32-bit Windows for
# overlapping copies (-Wrestrict) and refuses it under -Werror.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
