#pragma once
// The tree subsystem: filled as it lands.
#include <brim/foundation.h>
