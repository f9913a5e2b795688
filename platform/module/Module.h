// The module (library or program) this code was linked into, as the
// operating system loaded it. The host finds a plug-in's exports by the file
// name the plug-in gives it (ktIterateObjects); asking the system rather
// than knowing the name keeps a library found whatever it was installed as.
//
// And the functions of a library already loaded, looked up by name: a
// function that not every version of the library has cannot be linked at
// load time, or the system would refuse to load the module that names it.
#pragma once

#include <string>
#include <string_view>

namespace platform::module {

// The file name, without its folder, of the module that holds this code:
// the plug-in library when the plug-in is loaded as one, the program when
// it is linked into one. UTF-8; empty when the system cannot tell.
std::string OwnFileName();

// The address of the function `function` of the library `library`, which
// must be loaded already (this never loads one): `library` is its name
// without prefix and extension, as the platform spells its file ("ktapi32":
// ktapi32.dll on Windows, libktapi32.so elsewhere). Null when the library
// is not loaded or does not export the function.
void* LoadedLibraryFunction(std::string_view library, const char* function);

}  // namespace platform::module
