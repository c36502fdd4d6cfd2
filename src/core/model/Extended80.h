#pragma once

#include <array>
#include <cstdint>

namespace trovalo {

// The 80-bit extended-precision float of the object stream: bytes 0..7 the
// significand with an explicit leading bit (little-endian), bytes 8..9 the
// sign in bit 15 and the exponent biased by 16383. The platform has no such
// type, so the conversion is done on the bits.
using TExtended80 = std::array<std::uint8_t, 10>;

// Exact for every double: zeros, subnormals, infinities and NaN payloads.
TExtended80 DoubleToExtended(double value);

// Rounds to nearest, ties to even. Values too large become infinity, too
// small become zero (keeping the sign); denormal, pseudo-denormal and
// unnormal encodings are read by their numeric value.
double ExtendedToDouble(const TExtended80 &value);

} // namespace trovalo
