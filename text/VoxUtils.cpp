#include "text/VoxUtils.h"
