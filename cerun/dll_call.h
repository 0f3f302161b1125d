// A DLL's function called the way the handheld's installer calls its setup
// library: the library loaded, DllMain(hinst, DLL_PROCESS_ATTACH, 0), the
// function with its documented arguments, DllMain(hinst, DLL_PROCESS_DETACH, 0).
#pragma once

#include <string>

#include "machine.h"

namespace cerun {

// Whether `name` is one of the functions cerun knows how to call, and the
// image exports it; if not, why ("setup.dll has no export Install_Init").
sim::Status CheckCall(const LoadedImage& image, const std::string& image_name,
                      const std::string& name);

// Calls the export `name` on a prepared machine; its result. Ends the process
// through the platform on any fault, or when DllMain refuses the load.
int RunDllExport(Machine& m, const LoadedImage& image, const std::string& name);

}  // namespace cerun
