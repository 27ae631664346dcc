// The environment of the actor layer's test program.
#include <cstdlib>

namespace
{
// With the software renderer's worker threads running, the leak checker's thread-stopping
// step crashes at this program's exit when ctest starts it (never when it is run directly).
// Rendering on the calling thread avoids that; set before any context is made.
[[maybe_unused]] const int gSingleThreadedRasteriser = setenv("LP_NUM_THREADS", "0", 0);
} // namespace
