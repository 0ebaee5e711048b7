// trellin info without a picture: the node's identity (type, UUID,
// description, the module's path) and its controls in creation order, with
// their kind, panel place, default, step, meaning and range. Reads no picture.
#pragma once

namespace trellin_cli {

// Prints the list on standard output; the exit code (a Failure when the
// module cannot be loaded or makes no node).
int print_node_controls();

}  // namespace trellin_cli
