#pragma once

#include <cstdint>

// Counts every heap allocation of the process (malloc, calloc, realloc, and so operator new
// and Qt's containers), so a benchmark can state what an operation allocates.
uint64_t allocationCount();
