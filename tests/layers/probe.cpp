// Compiled with one library's include path and one header: the layers test checks that a
// library sees its own headers and those of the layers below it, and never one above it.
#include PROBE_HEADER
