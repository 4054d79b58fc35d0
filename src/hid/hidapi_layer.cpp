#include "hid/hidapi_layer.h"
