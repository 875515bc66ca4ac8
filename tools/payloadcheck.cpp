#include "tools/payloadcheck.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "platform/sim/verinfo.h"

namespace fs = std::filesystem;

namespace payloadcheck {

const std::array<PayloadFile, 6> kPayloadFiles = {{
    {"DRIVEDB.REG", "DRIVEDB", Kind::kReg},
    {"VQD.SYS", "VQD", Kind::kPeDriver},
    {"VQD2K.SYS", "VQD2K", Kind::kPeDriver},
    {"MERIDAX.VXD", "MERIDAX", Kind::kVxd},
    {"VQD2K.INF", "VQD2KINF", Kind::kInf},
    {"VQD2K.CAT", "VQD2KCAT", Kind::kCatalog},
}};

namespace {

using Bytes = std::vector<uint8_t>;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

// The lines of a text, split at LF; a CR before the LF is dropped.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool FirstLineAfter(const std::string& text, const std::string& prefix, std::string* rest) {
  for (const std::string& line : Lines(text)) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      *rest = line.substr(prefix.size());
      return true;
    }
  }
  return false;
}

bool Number(const std::string& s, size_t pos, size_t n, int* v) {
  *v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    *v = *v * 10 + (s[i] - '0');
  }
  return true;
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar
// (year >= 1601). Counted from 1600-03-01 so that the leap day ends a year.
int64_t DaysSince1601(int y, int m, int d) {
  if (m <= 2) --y;
  const int64_t years = y - 1600;
  const int64_t shifted = m > 2 ? m - 3 : m + 9;  // March = 0
  const int64_t dayOfYear = (153 * shifted + 2) / 5 + d - 1;
  const int64_t sinceMarch1600 = years * 365 + years / 4 - years / 100 + years / 400 + dayOfYear;
  return sinceMarch1600 - 306;  // 1600-03-01 .. 1601-01-01
}

bool ReadFile(const fs::path& path, Bytes* bytes) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  bytes->assign(std::istreambuf_iterator<char>(f), {});
  return !f.bad();
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Writes bytes to path unless it already holds exactly them. The new content
// goes to a temporary file first, so that a failed write leaves no half file.
bool WriteIfChanged(const fs::path& path, const Bytes& bytes, std::string* error) {
  Bytes old;
  if (ReadFile(path, &old) && old == bytes) return true;
  const fs::path tmp = path.string() + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    if (!f) {
      *error = "cannot write " + tmp.string();
      return false;
    }
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) {
    *error = "cannot write " + path.string() + ": " + ec.message();
    return false;
  }
  return true;
}

// The file of the payload folder with the given name: the exact name, else
// the one entry that matches it without regard to case.
bool Locate(const fs::path& dir, const std::string& name, fs::path* found, std::string* error) {
  std::error_code ec;
  if (fs::is_regular_file(dir / name, ec)) {
    *found = dir / name;
    return true;
  }
  std::vector<fs::path> matches;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
    if (Upper(e.path().filename().string()) == name && e.is_regular_file(ec)) matches.push_back(e.path());
  if (matches.size() == 1) {
    *found = matches[0];
    return true;
  }
  *error = (dir / name).string() + (matches.empty() ? ": missing" : ": more than one file of that name");
  return false;
}

// A path as a windres string: forward slashes are taken as they are,
// backslashes doubled. Quotes and control characters cannot be written.
bool RcString(const std::string& path, std::string* out, std::string* error) {
  *out = "\"";
  for (char c : path) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20) {
      *error = "output path " + path + ": cannot be named in a resource script";
      return false;
    }
    if (c == '\\') *out += '\\';
    *out += c;
  }
  *out += '"';
  return true;
}

}  // namespace

bool ParseUtc(const std::string& date, const std::string& time, uint64_t* filetime) {
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return false;
  if (time.size() != 8 || time[2] != ':' || time[5] != ':') return false;
  int y, mo, d, h, mi, s;
  if (!Number(date, 0, 4, &y) || !Number(date, 5, 2, &mo) || !Number(date, 8, 2, &d)) return false;
  if (!Number(time, 0, 2, &h) || !Number(time, 3, 2, &mi) || !Number(time, 6, 2, &s)) return false;
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1601 || mo < 1 || mo > 12 || d < 1) return false;
  if (d > kMonthDays[mo - 1] + (mo == 2 && LeapYear(y) ? 1 : 0)) return false;
  if (h > 23 || mi > 59 || s > 59) return false;
  const int64_t seconds = DaysSince1601(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  *filetime = uint64_t(seconds) * 10000000u;
  return true;
}

std::array<uint8_t, 24> DateRecord(const FileTimes& times) {
  std::array<uint8_t, 24> record{};
  const uint64_t values[3] = {times.creation, times.lastAccess, times.lastWrite};
  for (size_t i = 0; i < 3; ++i)
    for (size_t b = 0; b < 8; ++b) record[i * 8 + b] = uint8_t(values[i] >> (8 * b));
  return record;
}

bool ParseTimesFile(const std::string& text, std::map<std::string, TimesEntry>* entries,
                    std::string* error) {
  entries->clear();
  const std::vector<std::string> lines = Lines(text);
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string where = "line " + std::to_string(n + 1) + ": ";
    std::istringstream in(lines[n].substr(0, lines[n].find('#')));
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) continue;
    if (words.size() != 11) {
      *error = where + "expected FILE VERSION created DATE TIME accessed DATE TIME written DATE TIME";
      return false;
    }
    const std::string name = Upper(words[0]);
    bool known = false;
    for (const PayloadFile& f : kPayloadFiles) known |= name == f.file;
    if (!known) {
      *error = where + "unknown file " + words[0];
      return false;
    }
    if (entries->count(name)) {
      *error = where + name + " is listed twice";
      return false;
    }
    TimesEntry entry;
    entry.version = words[1];
    static const char* const kWhat[3] = {"created", "accessed", "written"};
    uint64_t* const field[3] = {&entry.times.creation, &entry.times.lastAccess, &entry.times.lastWrite};
    for (size_t i = 0; i < 3; ++i) {
      const std::string& keyword = words[2 + 3 * i];
      const std::string& date = words[3 + 3 * i];
      const std::string& time = words[4 + 3 * i];
      if (keyword != kWhat[i]) {
        *error = where + "expected \"" + kWhat[i] + "\", found \"" + keyword + "\"";
        return false;
      }
      if (!ParseUtc(date, time, field[i])) {
        *error = where + "unreadable " + kWhat[i] + " time \"" + date + " " + time +
                 "\" (want YYYY-MM-DD HH:MM:SS, UTC, from 1601)";
        return false;
      }
    }
    (*entries)[name] = entry;
  }
  for (const PayloadFile& f : kPayloadFiles) {
    if (!entries->count(f.file)) {
      *error = std::string("no line for ") + f.file;
      return false;
    }
  }
  return true;
}

bool RegDefaultValue(const std::string& text, std::string* value) {
  if (!FirstLineAfter(text, "@=\"", value)) return false;
  if (!value->empty()) value->pop_back();
  return true;
}

bool InfVersion(const std::string& text, std::string* value) { return FirstLineAfter(text, ";Ver=", value); }

bool DriverFileVersion(const std::vector<uint8_t>& image, bool vxd, std::string* version,
                       std::string* error) {
  size_t offset = 0, length = 0;
  const bool found = vxd ? verinfo::FindVxdVersionResource(image.data(), image.size(), &offset, &length)
                         : verinfo::FindPeVersionResource(image.data(), image.size(), &offset, &length);
  if (!found || length > UINT32_MAX / 2) {
    *error = vxd ? "no readable VxD version resource" : "no readable version resource";
    return false;
  }
  // Room behind the block for the 8-bit copies of its strings, as
  // GetFileVersionInfo provides.
  Bytes block(image.begin() + std::ptrdiff_t(offset), image.begin() + std::ptrdiff_t(offset + length));
  block.resize(2 * length);
  const void* value = nullptr;
  uint32_t size = 0;
  if (!verinfo::QueryValue(block.data(), uint32_t(block.size()), "\\VarFileInfo\\Translation", &value, &size) ||
      size < 4) {
    *error = "version resource without a translation";
    return false;
  }
  const uint8_t* t = static_cast<const uint8_t*>(value);
  char query[64];
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileVersion", unsigned(t[0] | t[1] << 8),
                unsigned(t[2] | t[3] << 8));
  if (!verinfo::QueryValue(block.data(), uint32_t(block.size()), query, &value, &size) || size == 0) {
    *error = std::string("no FileVersion (") + query + ")";
    return false;
  }
  *version = std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), size));
  if (version->empty()) {
    *error = std::string("empty FileVersion (") + query + ")";
    return false;
  }
  return true;
}

bool MakePayload(const std::string& payloadDir, const std::string& timesFile, const std::string& outDir,
                 std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(payloadDir, ec)) {
    *error = "payload folder " + payloadDir + ": not a folder";
    return false;
  }
  if (!fs::is_directory(outDir, ec)) {
    *error = "output folder " + outDir + ": not a folder";
    return false;
  }
  if (fs::equivalent(payloadDir, outDir, ec)) {
    *error = "the output folder must not be the payload folder";
    return false;
  }

  Bytes timesText;
  if (!ReadFile(timesFile, &timesText)) {
    *error = "times file " + timesFile + ": cannot be read";
    return false;
  }
  std::map<std::string, TimesEntry> times;
  if (!ParseTimesFile(Text(timesText), &times, error)) {
    *error = "times file " + timesFile + ", " + *error;
    return false;
  }

  // Everything is read and checked before anything is written.
  const fs::path out = fs::absolute(outDir).lexically_normal();
  std::vector<Bytes> contents;
  std::string versions, script;
  for (const PayloadFile& f : kPayloadFiles) {
    fs::path path;
    if (!Locate(payloadDir, f.file, &path, error)) return false;
    Bytes bytes;
    if (!ReadFile(path, &bytes)) {
      *error = path.string() + ": cannot be read";
      return false;
    }
    if (bytes.empty()) {
      *error = path.string() + ": empty";
      return false;
    }
    std::string version, why;
    switch (f.kind) {
      case Kind::kPeDriver:
      case Kind::kVxd:
        if (!DriverFileVersion(bytes, f.kind == Kind::kVxd, &version, &why)) {
          *error = path.string() + ": " + why;
          return false;
        }
        break;
      case Kind::kInf:
        if (!InfVersion(Text(bytes), &version)) {
          *error = path.string() + ": no line beginning with \";Ver=\"";
          return false;
        }
        break;
      case Kind::kReg:
        if (!RegDefaultValue(Text(bytes), &version)) {
          *error = path.string() + ": no line beginning with \"@=\\\"\" (the default value)";
          return false;
        }
        break;
      case Kind::kCatalog:
        version = "N/A";
        break;
    }
    versions += std::string(f.file) + ": " + version + "\n";
    std::string data, date;
    if (!RcString((out / f.file).generic_string(), &data, error) ||
        !RcString((out / f.file).generic_string() + ".date", &date, error))
      return false;
    script += std::string(f.resource) + " DATA " + data + "\n";
    script += std::string(f.resource) + "_DATE DATA " + date + "\n";
    contents.push_back(std::move(bytes));
  }

  for (size_t i = 0; i < kPayloadFiles.size(); ++i) {
    const std::string name = kPayloadFiles[i].file;
    const std::array<uint8_t, 24> record = DateRecord(times[name].times);
    if (!WriteIfChanged(out / name, contents[i], error) ||
        !WriteIfChanged(out / (name + ".date"), Bytes(record.begin(), record.end()), error))
      return false;
  }
  return WriteIfChanged(out / "payload.rc", Bytes(script.begin(), script.end()), error) &&
         WriteIfChanged(out / "payload-versions.txt", Bytes(versions.begin(), versions.end()), error);
}

}  // namespace payloadcheck
