// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "lights/gpio/GpioLines.h"

namespace kalindor {

// GPIO lines through libgpiod (the kernel's character device). The build compiles one adapter,
// for the libgpiod it finds: Libgpiod1Lines.cpp for 1.6, Libgpiod2Lines.cpp for 2.x; both give
// the same errors. A chip name holding a '/' is taken as the path of its device file. The lines
// are released and the chip closed when the object is destroyed.
std::unique_ptr<GpioLines> createLibgpiodLines();

}  // namespace kalindor
