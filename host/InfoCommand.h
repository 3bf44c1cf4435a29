#pragma once
// `nivolo-host info`: what a module's factory says about itself and its classes.

#include <ostream>
#include <string>

namespace NivoloHost {

// Loads the module at modulePath and prints its factory and class information
// to out. Returns the process exit status; a failure is one line on err.
int runInfo(const std::string& modulePath, std::ostream& out, std::ostream& err);

} // namespace NivoloHost
