// Lets GoogleTest show CStringW values in failure messages.
#pragma once

#include <brim/brim.h>

#include <ostream>

void PrintTo(const CStringW& text, std::ostream* os);
