#include "samples/SamplePack.h"
// (being written)
