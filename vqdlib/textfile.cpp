#include "vqdlib/textfile.h"

#include "platform/platform.h"
#include "vqdlib/error.h"

bool DeleteFileUnlessLink(const std::string& path) {
  return !plat::IsReparsePointA(path) && plat::DeleteFileA(path);
}

plat::FileHandle CreateFileAnew(const std::string& path, plat::Access access, uint32_t shareMode) {
  // A symbolic link stays, and CREATE_NEW then finds the name taken.
  DeleteFileUnlessLink(path);
  return plat::CreateFileA(path, access, shareMode, plat::Disposition::CreateNew);
}

bool ReadTextLines(const std::string& path, std::vector<std::string>* lines) {
  lines->clear();
  plat::FileHandle file = plat::CreateFileA(path, plat::Access::Read, plat::kFileShareRead, plat::Disposition::OpenExisting);
  if (file == plat::kInvalidFile) return false;
  std::string text;
  char buffer[4096];
  uint32_t read = 0;
  while (plat::ReadFile(file, buffer, sizeof buffer, &read) && read > 0) text.append(buffer, read);
  plat::CloseHandle(file);
  // A line ends at CR LF, LF or CR; the end is never part of the line.
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines->push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines->push_back(line);
  return true;
}

plat::FileHandle CreateTextFile(const std::string& path) {
  plat::FileHandle file = CreateFileAnew(path, plat::Access::Write);
  if (file == plat::kInvalidFile) throw InstallerError("cannot create " + path);
  return file;
}

void WriteTextLines(plat::FileHandle file, const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  uint32_t written = 0;
  bool ok = plat::WriteFile(file, text.data(), static_cast<uint32_t>(text.size()), &written);
  ok = plat::CloseHandle(file) && ok;
  if (!ok) throw InstallerError("cannot write " + path);
}
