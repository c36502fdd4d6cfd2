#include "model/Extended80.h"

#include <bit>
#include <cstddef>

namespace trovalo {

namespace {

constexpr int ExtendedBias = 16383;
constexpr int DoubleBias = 1023;
constexpr std::uint64_t LeadingBit = std::uint64_t(1) << 63;
constexpr std::uint64_t DoubleFractionMask = (std::uint64_t(1) << 52) - 1;

TExtended80 Pack(bool negative, int exponent, std::uint64_t significand)
{
    TExtended80 bytes{};
    for (int i = 0; i < 8; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(significand >> (8 * i));
    const unsigned top = (negative ? 0x8000u : 0u) | static_cast<unsigned>(exponent);
    bytes[8] = static_cast<std::uint8_t>(top);
    bytes[9] = static_cast<std::uint8_t>(top >> 8);
    return bytes;
}

// Value / 2^shift rounded to nearest, ties to even.
std::uint64_t ShiftRoundEven(std::uint64_t value, int shift)
{
    if (shift == 0)
        return value;
    if (shift > 64)
        return 0;
    const std::uint64_t quotient = shift == 64 ? 0 : value >> shift;
    const std::uint64_t remainder = shift == 64 ? value : value & ((std::uint64_t(1) << shift) - 1);
    const std::uint64_t half = std::uint64_t(1) << (shift - 1);
    if (remainder > half || (remainder == half && (quotient & 1)))
        return quotient + 1;
    return quotient;
}

} // namespace

TExtended80 DoubleToExtended(double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = bits >> 63;
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & DoubleFractionMask;

    if (exponent == 0x7FF) // infinity (empty fraction) or NaN (payload kept)
        return Pack(negative, 0x7FFF, LeadingBit | (fraction << 11));
    if (exponent == 0) {
        if (fraction == 0)
            return Pack(negative, 0, 0);
        // A double subnormal is a normal number in the wider exponent range.
        const int shift = std::countl_zero(fraction);
        // fraction * 2^-1074 == (fraction << shift) * 2^(exponent - bias - 63)
        return Pack(negative, ExtendedBias + 63 - 1074 - shift, fraction << shift);
    }
    return Pack(negative, exponent - DoubleBias + ExtendedBias, LeadingBit | (fraction << 11));
}

double ExtendedToDouble(const TExtended80 &value)
{
    std::uint64_t significand = 0;
    for (int i = 7; i >= 0; --i)
        significand = (significand << 8) | value[static_cast<std::size_t>(i)];
    const unsigned top = value[8] | (unsigned(value[9]) << 8);
    const std::uint64_t sign = std::uint64_t(top >> 15) << 63;
    const int exponent = static_cast<int>(top & 0x7FFF);

    if (exponent == 0x7FFF) {
        const std::uint64_t payload = (significand & ~LeadingBit) >> 11;
        if ((significand & ~LeadingBit) == 0)
            return std::bit_cast<double>(sign | (std::uint64_t(0x7FF) << 52));
        // Keep the payload; a payload only in the dropped bits still has to stay a NaN.
        const std::uint64_t fraction = payload != 0 ? payload : (std::uint64_t(1) << 51);
        return std::bit_cast<double>(sign | (std::uint64_t(0x7FF) << 52) | fraction);
    }
    if (significand == 0)
        return std::bit_cast<double>(sign);

    // Value = significand * 2^scale; denormals use the smallest normal exponent.
    const int normalise = std::countl_zero(significand);
    const std::uint64_t normalised = significand << normalise;
    const int scale = (exponent == 0 ? 1 : exponent) - ExtendedBias - 63 - normalise;
    int unbiased = scale + 63;

    if (unbiased > DoubleBias)
        return std::bit_cast<double>(sign | (std::uint64_t(0x7FF) << 52));
    if (unbiased >= 1 - DoubleBias) {
        std::uint64_t rounded = ShiftRoundEven(normalised, 11);
        if (rounded >> 53) { // rounding carried into a new leading bit
            rounded >>= 1;
            ++unbiased;
            if (unbiased > DoubleBias)
                return std::bit_cast<double>(sign | (std::uint64_t(0x7FF) << 52));
        }
        return std::bit_cast<double>(sign | (std::uint64_t(unbiased + DoubleBias) << 52) |
                                     (rounded & DoubleFractionMask));
    }
    // Subnormal result: the unit is 2^-1074. A carry into bit 52 is exactly
    // the smallest normal number, which the same bit pattern encodes.
    const int shift = -1074 - scale;
    return std::bit_cast<double>(sign | ShiftRoundEven(normalised, shift));
}

} // namespace trovalo
