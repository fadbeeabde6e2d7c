#pragma once
// The net subsystem: filled as it lands.
#include <brim/foundation.h>
