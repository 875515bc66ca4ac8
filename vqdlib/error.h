// The one kind of error the program raises: an unexpected runtime failure
// (for example a text file that cannot be written). The entry point's guard
// around the actions catches it.
#pragma once

#include <exception>
#include <string>
#include <utility>

// A plain std::exception: std::runtime_error would bring the copy-on-write
// string of its stored message into the Windows program.
struct InstallerError : std::exception {
  explicit InstallerError(std::string what) : message(std::move(what)) {}
  const char* what() const noexcept override { return message.c_str(); }
  std::string message;
};
