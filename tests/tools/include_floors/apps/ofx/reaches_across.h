// A host that reaches into another host: the include check must name it.
#pragma once

#include "apps/frei0r/parameter_table.h"
