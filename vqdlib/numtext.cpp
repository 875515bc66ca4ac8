#include "vqdlib/numtext.h"

std::string DecimalText(long long value) {
  // The magnitude as unsigned, so that the most negative value has one too.
  unsigned long long rest = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                      : static_cast<unsigned long long>(value);
  char buffer[24];
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  if (value < 0) *--p = '-';
  return std::string(p, end);
}

std::string HexText(uint32_t value, int digits) {
  char buffer[16];
  char* end = buffer + sizeof buffer;
  char* p = end;
  while (value != 0 || end - p < digits) {
    if (end - p == static_cast<long>(sizeof buffer)) break;
    *--p = "0123456789abcdef"[value & 15];
    value >>= 4;
  }
  return std::string(p, end);
}
