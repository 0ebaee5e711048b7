// The name and version of the software: what --version prints and the
// Software attribute of every picture written.
#pragma once

#include <string>

namespace trellin_app {

// "trellin" and its version.
const std::string& software_name();

}  // namespace trellin_app
