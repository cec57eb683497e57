#include "images/Bitmap.h"
