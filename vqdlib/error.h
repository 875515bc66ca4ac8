// The one kind of error the program raises: an unexpected runtime failure
// (for example a text file that cannot be written). The entry point's guard
// around the actions catches it.
#pragma once

#include <stdexcept>
#include <string>

struct InstallerError : std::runtime_error {
  explicit InstallerError(const std::string& what) : std::runtime_error(what) {}
};
