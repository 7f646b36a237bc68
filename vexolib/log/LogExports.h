// The LogManager_ exports of vexolib, declared in sdk/include/vexolib.h.
// A bool argument is taken from the low byte of its 32-bit slot.
#pragma once
#include <cstdint>

#include "../vexolib_api.h"
