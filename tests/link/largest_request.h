// The global allocator replaced to remember the largest single request, so
// that tests see that a bound holds before memory is taken for it. A file of
// its own, so that the replacement is never inlined into the code it watches.
#pragma once

#include <cstddef>

extern size_t g_largest_request;  // since the test last set it to 0
