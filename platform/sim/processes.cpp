// Simulated processes: the one program the simulation can start is the
// registry editor, which imports a REGEDIT4 file into the simulated registry.
#include <algorithm>
#include <sstream>

#include "platform/sim/machine.h"

using namespace sim::internal;

namespace plat {

namespace {

// A quoted registry-file string: "text" with \\ and \" escapes. Advances pos
// past the closing quote; false when there is none.
bool ParseQuoted(const std::string& line, size_t* pos, std::string* out) {
  if (*pos >= line.size() || line[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      *out += line[++i];
    } else if (line[i] == '"') {
      *pos = i + 1;
      return true;
    } else {
      *out += line[i];
    }
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ',')) {
    item.erase(std::remove_if(item.begin(), item.end(), [](char c) { return c == ' ' || c == '\t'; }), item.end());
    if (item.empty()) continue;
    if (item.size() > 2 || item.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    bytes->push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
  }
  return true;
}


// What the registry editor does with "/s FILE": imports a REGEDIT4 file.
void ImportRegistryFile(const std::string& path) {
  std::string text = sim::ReadFile(path);
  std::vector<std::string> lines;
  std::string line, logical;
  std::stringstream ss(text);
  while (std::getline(ss, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = logical.empty() ? 0 : line.find_first_not_of(" \t");
    logical += line.substr(start == std::string::npos ? line.size() : start);
    if (!logical.empty() && logical.back() == '\\' && logical.find("=hex") != std::string::npos) {
      logical.pop_back();  // continued on the next line
      continue;
    }
    lines.push_back(logical);
    logical.clear();
  }
  if (lines.empty() || (lines[0] != "REGEDIT4" && lines[0] != "Windows Registry Editor Version 5.00")) return;
  plat::RegKey key = 0;
  for (size_t n = 1; n < lines.size(); ++n) {
    const std::string& l = lines[n];
    if (l.empty() || l[0] == ';') continue;
    if (l[0] == '[') {
      if (key) plat::RegCloseKey(key);
      key = 0;
      size_t close = l.rfind(']');
      if (close == std::string::npos) continue;
      bool remove = l.size() > 1 && l[1] == '-';
      std::string full = l.substr(remove ? 2 : 1, close - (remove ? 2 : 1));
      size_t slash = full.find('\\');
      std::string rootName = Upper(full.substr(0, slash));
      std::string sub = slash == std::string::npos ? "" : full.substr(slash + 1);
      plat::RegKey root = rootName == "HKEY_LOCAL_MACHINE" || rootName == "HKLM" ? plat::kHKeyLocalMachine
                          : rootName == "HKEY_CURRENT_USER" || rootName == "HKCU" ? plat::kHKeyCurrentUser
                                                                                   : 0;
      if (!root) continue;
      if (remove)
        DeleteTree(root, sub);
      else
        plat::RegCreateKeyA(root, sub, &key);
      continue;
    }
    if (!key) continue;
    size_t pos = 0;
    std::string name;
    if (l[0] == '@') {
      pos = 1;
    } else if (!ParseQuoted(l, &pos, &name)) {
      continue;
    }
    if (pos >= l.size() || l[pos] != '=') continue;
    std::string value = l.substr(pos + 1);
    std::vector<uint8_t> data;
    uint32_t type = plat::kRegSz;
    if (value == "-") {
      plat::RegDeleteValueA(key, name);
      continue;
    } else if (!value.empty() && value[0] == '"') {
      size_t vpos = 0;
      std::string s;
      if (!ParseQuoted(value, &vpos, &s)) continue;
      data.assign(s.begin(), s.end());
      data.push_back(0);
    } else if (value.compare(0, 6, "dword:") == 0) {
      uint32_t v = static_cast<uint32_t>(std::stoul(value.substr(6), nullptr, 16));
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
      type = plat::kRegDword;
    } else if (value.compare(0, 4, "hex:") == 0) {
      type = plat::kRegBinary;
      if (!ParseHexBytes(value.substr(4), &data)) continue;
    } else if (value.compare(0, 4, "hex(") == 0 && value.find("):") != std::string::npos) {
      size_t close = value.find("):");
      type = static_cast<uint32_t>(std::stoul(value.substr(4, close - 4), nullptr, 16));
      if (!ParseHexBytes(value.substr(close + 2), &data)) continue;
    } else {
      continue;
    }
    plat::RegSetValueExA(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
  }
  if (key) plat::RegCloseKey(key);
}

}  // namespace

ProcessHandle CreateProcessA(const std::string& commandLine, uint16_t showWindow) {
  (void)showWindow;
  if (Failing("CreateProcessA", commandLine)) return 0;
  M().processes.push_back(commandLine);
  const std::string editor = Upper(M().windowsDir + "\\REGEDIT.EXE /S ");
  if (M().windowsDir.empty() || Upper(commandLine).compare(0, editor.size(), editor) != 0) {
    M().lastError = kErrorFileNotFound;
    return 0;
  }
  ImportRegistryFile(commandLine.substr(editor.size()));
  ProcessHandle h = M().nextHandle++;
  M().running[h] = M().registryEditorExit;
  return h;
}

uint32_t WaitForProcess(ProcessHandle process) {
  if (Failing("WaitForProcess")) return 0xFFFFFFFFu;  // as when the exit code cannot be read
  auto it = M().running.find(process);
  if (it == M().running.end()) return 0xFFFFFFFFu;
  uint32_t code = it->second;
  M().running.erase(it);
  return code;
}

}  // namespace plat
