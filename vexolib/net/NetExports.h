// The NetworkManager_ exports of vexolib, declared in sdk/include/vexolib.h.
// Handles passed first are accepted and ignored; bool results are one byte.
#pragma once
#include <cstdint>

#include "../vexolib_api.h"
