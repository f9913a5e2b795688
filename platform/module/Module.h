// The module (library or program) this code was linked into, as the
// operating system loaded it. The host finds a plug-in's exports by the file
// name the plug-in gives it (ktIterateObjects); asking the system rather
// than knowing the name keeps a library found whatever it was installed as.
#pragma once

#include <string>

namespace platform::module {

// The file name, without its folder, of the module that holds this code:
// the plug-in library when the plug-in is loaded as one, the program when
// it is linked into one. UTF-8; empty when the system cannot tell.
std::string OwnFileName();

}  // namespace platform::module
