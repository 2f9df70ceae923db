// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/CaptureFormat.h"

namespace kalindor {

inline constexpr int kFftSize = kBufferSamples;

// In-place forward real FFT of 256 floats, unnormalised, with the exponent sign +:
//   data[0]        = sum of x_j (DC)
//   data[1]        = sum of x_j * (-1)^j (the 16000 Hz term)
//   data[2k], [2k+1] = real, imaginary part of sum x_j * e^(+2*pi*i*j*k/256), k = 1..127.
// Two stages: a 128-point complex radix-2 FFT of the pairs (x_2m, x_2m+1), then the split step
// that separates the even and odd halves. Twiddles follow the classic trigonometric recurrence
// in double precision, started from 2*pi = 6.28318530717958; every arithmetic step is done in
// double and stored as float. The recurrence values are computed once into tables, which
// reproduces the recurrence bit for bit. data must point to 256 floats; no allocation.
void RealFft(float* data);

}  // namespace kalindor
