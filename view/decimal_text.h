// Reading plane coordinates from text: decimal numbers only (sign, digits,
// point, exponent), so "inf", "nan" and hexadecimal text never become a
// bound. Plain computation; used by the coordinate dialog and mandel-render.
#pragma once

#include <optional>

// The dialog's reading: skips leading white space, reads the longest decimal
// number and ignores the rest; text with no number gives 0.0. A number beyond
// the double range gives an infinity of its sign, as the standard conversion
// does.
double ReadDecimalPrefix(const char* text);

// The whole text as one finite decimal number, or nothing: no leading or
// trailing characters, no overflow to infinity, no underflow of a nonzero
// number to zero.
std::optional<double> ReadFiniteDecimal(const char* text);
