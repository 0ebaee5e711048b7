// frei0r's C interface. Its header declares the entry points without C
// linkage, so C++ code includes it through this one.
#pragma once

extern "C" {
#include <frei0r.h>
}
