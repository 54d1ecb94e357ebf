// The bytes of a PNM of 16-bit samples, shared by the program's own writer
// and the image input/output module's.
#pragma once

#include <vector>

namespace calvane::app {

// P5 for one channel, P6 for three (P2 and P3 when not `binary`), with the
// largest value 65535; then the samples (interleaved, 0..1), each clamped
// and taken to the nearest of 65535 steps, written most significant byte
// first (or in decimal, a pixel to a line, which keeps lines within the
// format's 70 characters).
std::vector<unsigned char> EncodeSixteenBitPnm(int width, int height, int channels, bool binary,
                                               const std::vector<float>& pixels);

}  // namespace calvane::app
