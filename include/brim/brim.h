// BrimCommon: everything a host uses.
#pragma once

#include <brim/config.h>
#include <brim/framework.h>
#include <brim/foundation.h>
