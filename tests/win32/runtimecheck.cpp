// The runtime pieces of platform/win32/runtime.cpp on the real system: what
// the library's containers and strings raise when they hit their limits, as
// the program's guards see it, and the terminate handler's report.
//
//   runtimecheck.exe             one "ok"/"FAIL" line per check; exit 1 on a failure
//   runtimecheck.exe terminate   an uncaught exception: the handler's lines on
//                                standard error, then abort()
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "vqdlib/error.h"

namespace {

int failures = 0;

void Check(const char* what, bool ok) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

// How the program's guards would see what `action` raises: "bad_alloc" for
// std::bad_alloc (the device-property reader catches that), "exception:TEXT"
// for any other std::exception (the entry point's guard), "none".
template <typename Action>
std::string Caught(Action action) {
  try {
    action();
  } catch (const std::bad_alloc&) {
    return "bad_alloc";
  } catch (const std::exception& e) {
    return std::string("exception:") + e.what();
  } catch (...) {
    return "other";
  }
  return "none";
}

// The allocator's own checks come first, then operator new.
void Allocate(size_t ints) {
  std::allocator<int> allocator;
  allocator.deallocate(allocator.allocate(ints), ints);
}

bool StartsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "terminate") == 0) throw InstallerError("cannot write C:\\X.TXT");

  std::string at = Caught([] { return std::string("abc").at(5); });
  Check("string::at past the end raises a std::exception", StartsWith(at, "exception:") && at.size() > 10);
  Check("string::at within the string raises nothing", Caught([] { return std::string("abc").at(2); }) == "none");

  std::string length = Caught([] { std::string s; s.reserve(s.max_size() + 1); });
  Check("string beyond max_size raises a std::exception with the library's text",
        length == "exception:basic_string::_M_create");
  std::string substr = Caught([] { return std::string("abc").substr(4); });
  Check("substr past the end raises a std::exception", StartsWith(substr, "exception:"));
  std::string vector = Caught([] { std::vector<int> v; v.reserve(v.max_size() + 1); });
  Check("vector beyond max_size raises a std::exception", vector == "exception:vector::reserve");
  std::string null = Caught([] { return std::string(static_cast<const char*>(nullptr)); });
  Check("string from a null pointer raises a std::exception", StartsWith(null, "exception:basic_string"));

  // Allocation failures stay std::bad_alloc, whatever the route.
  Check("allocator beyond its size raises std::bad_alloc",
        Caught([] { Allocate(SIZE_MAX / 4 - 1); }) == "bad_alloc");
  Check("allocator beyond the address space raises std::bad_alloc (bad_array_new_length)",
        Caught([] { Allocate(SIZE_MAX / 2); }) == "bad_alloc");
  // Within the allocator's limit (2 GiB less 4 bytes), so operator new refuses.
  Check("operator new of almost 2 GiB raises std::bad_alloc",
        Caught([] { Allocate(std::allocator<int>().max_size()); }) == "bad_alloc");
  Check("the program's own error keeps its text",
        Caught([] { throw InstallerError("cannot create C:\\A"); }) == "exception:cannot create C:\\A");

  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
