// A dark palette of the kind dark desktop themes give Qt programs: the
// screenshots show the windows in it and the tests check them against it.
#pragma once

#include <QPalette>

namespace leafstash {

QPalette DarkPalette();

}  // namespace leafstash
