#pragma once
// The env subsystem: filled as it lands.
#include <brim/foundation.h>
