// Slimmer stand-ins for two pieces of the static C++ runtime, linked into
// the Windows programs only. Each is found by the linker before the archive
// member it replaces, so that member (and what it drags in) stays out:
//
// - The default terminate handler: libstdc++'s demangles the type of the
//   uncaught exception, which brings in the whole demangler (about 46 KiB).
//   This one writes the same lines with the type's mangled name, then aborts
//   as the original does.
// - The throw helpers of the containers and strings (std::__throw_*): the
//   library's raise std::length_error and friends, whose classes carry
//   copy-on-write strings and pull in a second string implementation and
//   std::random_device (about 55 KiB, and the only users of LoadLibraryW and
//   GetModuleHandleW). Here they raise RuntimeLimitError, a std::exception
//   like those, which the program's guard catches the same way; an
//   allocation failure is still std::bad_alloc.
//
// A new libstdc++ that needs another helper from the replaced member makes
// the link fail with a duplicate definition: then add that helper here.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

#include <cxxabi.h>

namespace {

// The library's message, unformatted ("basic_string::_M_create", ...).
struct RuntimeLimitError : std::exception {
  explicit RuntimeLimitError(const char* text) : text(text) {}
  const char* what() const noexcept override { return text; }
  const char* text;
};

}  // namespace

namespace std {

void __throw_logic_error(const char* text) { throw RuntimeLimitError(text); }
void __throw_length_error(const char* text) { throw RuntimeLimitError(text); }
void __throw_out_of_range(const char* text) { throw RuntimeLimitError(text); }
void __throw_out_of_range_fmt(const char* format, ...) { throw RuntimeLimitError(format); }
void __throw_invalid_argument(const char* text) { throw RuntimeLimitError(text); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }

}  // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool terminating = false;
  if (terminating) {
    std::fputs("terminate called recursively\n", stderr);
    std::abort();
  }
  terminating = true;
  if (std::type_info* type = abi::__cxa_current_exception_type()) {
    const char* name = type->name();
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(name + (*name == '*'), stderr);
    std::fputs("'\n", stderr);
    try {
      throw;
    } catch (const std::exception& e) {
      std::fputs("  what():  ", stderr);
      std::fputs(e.what(), stderr);
      std::fputs("\n", stderr);
    } catch (...) {
    }
  } else {
    std::fputs("terminate called without an active exception\n", stderr);
  }
  std::abort();
}

}  // namespace __gnu_cxx
