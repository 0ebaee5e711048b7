// A header that reaches up a floor: the include check must name it.
#pragma once

#include "node/trellin_node.h"
