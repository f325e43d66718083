// A picture resampled smoothly to another size.
#pragma once

#include <windows.h>

// A 24-bit copy of hPicture, cx by cy pixels. Each pixel of the copy is interpolated
// from the source pixels around its centre (averaged over them when shrinking), so no
// source pixel is repeated or dropped. Null when the copy cannot be made.
HBITMAP ResampleBitmap(HBITMAP hPicture, int cx, int cy);
