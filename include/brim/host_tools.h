#pragma once
// Host tools (CBrimLock, CBrimObject, CBrimMemPool, CBrimTime): filled as they land.
#include <brim/framework.h>
