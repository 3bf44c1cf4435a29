#pragma once
// `nivolo-host info`: what a module's factory says about itself and its classes;
// `nivolo-host --version`: the host's, the module's and the decoders' versions.

#include <ostream>
#include <string>

namespace NivoloHost {

// Loads the module at modulePath and prints its factory and class information
// to out. Returns the process exit status; a failure is one line on err.
int runInfo(const std::string& modulePath, std::ostream& out, std::ostream& err);

// The host's version, the module's (its processor class's version in the
// factory's class information) and the decoding libraries' line. A module that
// cannot be loaded: the other two on out, one line on err, status 1.
int runVersion(const std::string& hostVersion, const std::string& modulePath, const std::string& libraries,
               std::ostream& out, std::ostream& err);

} // namespace NivoloHost
