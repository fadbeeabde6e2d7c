#pragma once
// The text subsystem: filled as it lands.
#include <brim/foundation.h>
