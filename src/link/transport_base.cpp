#include "link/transport_host.h"
