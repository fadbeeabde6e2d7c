#pragma once
// The sysinfo subsystem: filled as it lands.
#include <brim/foundation.h>
