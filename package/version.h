// Version texts ("1.0.3.40") and their comparison.
#pragma once

#include <cstdint>
#include <string>

// Parses three or four dotted fields; the outputs are always written (fields
// not reached stay 0).
bool VersionStringToNumbers(const std::string& text, int32_t* first, int32_t* second, int32_t* third,
                            int32_t* fourth);

// True when version a is strictly newer than version b. An empty version is
// older than any other; two empty versions count as newer.
bool VerANewer(const std::string& a, const std::string& b);

// One field as a signed 32-bit number: leading blanks, an optional sign and
// decimal digits, or without a sign a hexadecimal number after "$", "x" or "0x".
bool ConvertVersionField(const std::string& field, int32_t* value);
