// Numbers as text for log lines and version-resource queries, without the C
// library's formatted printing (which brings a floating-point formatter of
// some 25 KiB into the Windows program).
#pragma once

#include <cstdint>
#include <string>

// Decimal, with a leading '-' for a negative value: as "%lld" writes it.
std::string DecimalText(long long value);

// Lower-case hexadecimal with at least `digits` digits (zeros in front): as
// "%.*x" writes it.
std::string HexText(uint32_t value, int digits);
