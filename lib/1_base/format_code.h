// The BCH(15,5) code of format words: five data bits and ten check bits
// (generator x^10+x^8+x^5+x^4+x^2+x+1). Model 2, Model 1 and Micro QR each
// XOR their own pattern onto it.
#pragma once

namespace vantor {

// The pattern XORed onto every Model 2 format word so that it is never all
// zero.
inline constexpr int model2_format_mask = 0x5412;

// The 5 data bits of a 15-bit format word (mask already removed), -1 when
// more than three bits are wrong, and the bit positions corrected.
struct FormatBits {
    int data;
    int reversed[3];
    int reversed_count;
};
FormatBits decode_format_bits(int word);
// The 15-bit codeword of 5 data bits: the data, then the remainder of its
// division by the generator.
int format_codeword(int data);

} // namespace vantor
