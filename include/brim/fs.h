#pragma once
// The fs subsystem: filled as it lands.
#include <brim/foundation.h>
