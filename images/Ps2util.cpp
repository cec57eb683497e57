#include "images/Ps2util.h"
