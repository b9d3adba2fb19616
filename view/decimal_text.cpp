// Decimal number reading (see decimal_text.h). The longest decimal prefix is
// found by hand and only that text is handed to strtod, whose own grammar is
// wider (infinities, NaN, hexadecimal) on every runtime the program uses.
#include "view/decimal_text.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the decimal number at the start of text, 0 when there is none.
size_t DecimalNumberLength(const char* text)
{
    size_t at = 0;
    if (text[at] == '+' || text[at] == '-')
        ++at;
    size_t digits = 0;
    for (; IsDigit(text[at]); ++at)
        ++digits;
    if (text[at] == '.')
        for (++at; IsDigit(text[at]); ++at)
            ++digits;
    if (digits == 0)
        return 0;
    if (text[at] == 'e' || text[at] == 'E') {
        size_t exponent = at + 1;
        if (text[exponent] == '+' || text[exponent] == '-')
            ++exponent;
        if (IsDigit(text[exponent])) {
            while (IsDigit(text[exponent]))
                ++exponent;
            at = exponent;
        }
    }
    return at;
}

double ConvertDecimal(const char* text, size_t length)
{
    return std::strtod(std::string(text, length).c_str(), nullptr);
}

}  // namespace

double ReadDecimalPrefix(const char* text)
{
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    return ConvertDecimal(text, DecimalNumberLength(text));
}

std::optional<double> ReadFiniteDecimal(const char* text)
{
    const size_t length = DecimalNumberLength(text);
    if (length == 0 || text[length] != '\0')
        return std::nullopt;
    const double value = ConvertDecimal(text, length);
    // Digits that are not all zero but read as 0 lie below the smallest
    // double, as 1e400 lies above the largest.
    const bool underflows =
        value == 0 && std::string(text, std::strcspn(text, "eE")).find_first_of("123456789") !=
                          std::string::npos;
    if (!std::isfinite(value) || underflows)
        return std::nullopt;
    return value;
}
