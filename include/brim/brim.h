// BrimCommon: everything a host uses.
#pragma once

#include <brim/config.h>
#include <brim/framework.h>
#include <brim/foundation.h>
#include <brim/text.h>
#include <brim/net.h>
#include <brim/fs.h>
#include <brim/tree.h>
#include <brim/env.h>
#include <brim/sysinfo.h>
#include <brim/library.h>
