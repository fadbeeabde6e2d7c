#pragma once
// The daily log (CBrimLog, _brimLog): filled as the log lands.
#include <brim/framework.h>
