#pragma once

// The program's own file name, as GetModuleFileNameA with no module handle gives it: the full
// path of the running executable (symbolic links resolved), cut to 259 bytes as the 260-byte
// buffer that callers pass would cut it. Empty when the path cannot be read.

#include <string>

std::string ModuleFileName();
