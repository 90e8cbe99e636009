#include "platform/Bitmap24.h"
