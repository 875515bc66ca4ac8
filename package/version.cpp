#include "package/version.h"


#include "vqdlib/debuglog.h"
#include "vqdlib/numtext.h"

static int DigitValue(char c, int base) {
  int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
  return v < base ? v : -1;
}

bool ConvertVersionField(const std::string& field, int32_t* value) {
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false, sign = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
    negative = field[i] == '-';
    sign = true;
    ++i;
  }
  int base = 10;
  if (!sign) {
    if (field.compare(i, 1, "$") == 0 || field.compare(i, 1, "x") == 0 || field.compare(i, 1, "X") == 0) {
      base = 16;
      i += 1;
    } else if (field.compare(i, 2, "0x") == 0 || field.compare(i, 2, "0X") == 0) {
      base = 16;
      i += 2;
    }
  }
  if (i >= field.size()) return false;
  int64_t number = 0;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  for (; i < field.size(); ++i) {
    int digit = DigitValue(field[i], base);
    if (digit < 0) return false;
    number = number * base + digit;
    if (number > limit) return false;
  }
  *value = static_cast<int32_t>(negative ? -number : number);
  return true;
}

bool VersionStringToNumbers(const std::string& text, int32_t* first, int32_t* second, int32_t* third,
                            int32_t* fourth) {
  *first = *second = *third = *fourth = 0;
  if (text.empty()) return false;
  std::string rest = text;
  // Takes the text before the next "." (or all of it when last) off rest.
  auto take = [&rest](bool last) {
    size_t dot = last ? std::string::npos : rest.find('.');
    if (dot == std::string::npos && !last) {
      std::string field;  // no terminating "." : an empty field
      return field;
    }
    std::string field = rest.substr(0, dot);
    rest = dot == std::string::npos ? "" : rest.substr(dot + 1);
    return field;
  };
  bool ok = ConvertVersionField(take(false), first) && ConvertVersionField(take(false), second);
  if (ok) {
    if (rest.find('.') != std::string::npos)
      ok = ConvertVersionField(take(false), third) && ConvertVersionField(take(true), fourth);
    else
      ok = ConvertVersionField(take(true), third);
  }
  DebugLog(std::string("VSTN: ") + (ok ? "Success" : "Fail") + ": " + DecimalText(*first) + " " +
           DecimalText(*second) + " " + DecimalText(*third) + " " + DecimalText(*fourth));
  return ok;
}

bool VerANewer(const std::string& a, const std::string& b) {
  if (a.empty() && b.empty()) {
    DebugLog("VAN: A & B empty: True");
    return true;
  }
  if (a.empty()) {
    DebugLog("VAN: A empty: False");
    return false;
  }
  if (b.empty()) {
    DebugLog("VAN: B empty: True");
    return true;
  }
  int32_t va[4], vb[4];
  bool result = false;
  if (VersionStringToNumbers(a, &va[0], &va[1], &va[2], &va[3]) &&
      VersionStringToNumbers(b, &vb[0], &vb[1], &vb[2], &vb[3])) {
    for (int i = 0; i < 4; ++i) {
      if (va[i] != vb[i]) {
        result = va[i] > vb[i];
        break;
      }
    }
  }
  DebugLog(result ? "VerANewer: True" : "VerANewer: False");
  return result;
}
