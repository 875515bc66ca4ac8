// Simulated processes: the one program the simulation can start is the
// registry editor, which imports a REGEDIT4 file into the simulated registry.
#include <algorithm>
#include <sstream>

#include "platform/direct.h"
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

// A hexadecimal number of one to eight digits and nothing else, as the
// registry editor takes after "dword:" and inside "hex(...)"; anything else
// makes it skip the line.
bool ParseHex32(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  *value = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
  return true;
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
      if (key) plat::direct::RegCloseKey(key);
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
        plat::direct::RegCreateKeyA(root, sub, &key);
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
      plat::direct::RegDeleteValueA(key, name);
      continue;
    } else if (!value.empty() && value[0] == '"') {
      size_t vpos = 0;
      std::string s;
      if (!ParseQuoted(value, &vpos, &s)) continue;
      data.assign(s.begin(), s.end());
      data.push_back(0);
    } else if (value.compare(0, 6, "dword:") == 0) {
      uint32_t v = 0;
      if (!ParseHex32(value.substr(6), &v)) continue;
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
      type = plat::kRegDword;
    } else if (value.compare(0, 4, "hex:") == 0) {
      type = plat::kRegBinary;
      if (!ParseHexBytes(value.substr(4), &data)) continue;
    } else if (value.compare(0, 4, "hex(") == 0 && value.find("):") != std::string::npos) {
      size_t close = value.find("):");
      if (!ParseHex32(value.substr(4, close - 4), &type)) continue;
      if (!ParseHexBytes(value.substr(close + 2), &data)) continue;
    } else {
      continue;
    }
    plat::direct::RegSetValueExA(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
  }
  if (key) plat::direct::RegCloseKey(key);
}

// The arguments of a command line as a Windows program's start-up code splits
// them: blanks and tabs separate, double quotes group (and are dropped).
std::vector<std::string> SplitArguments(const std::string& commandLine) {
  std::vector<std::string> args;
  size_t i = 0;
  while (true) {
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= commandLine.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < commandLine.size(); ++i) {
      char c = commandLine[i];
      if (c == '"')
        quoted = !quoted;
      else if ((c == ' ' || c == '\t') && !quoted)
        break;
      else
        arg += c;
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace

ProcessHandle CreateProcessA(const std::string& applicationName, const std::string& commandLine,
                             const std::string& currentDirectory, uint16_t showWindow) {
  (void)showWindow;
  if (Failing("CreateProcessA", commandLine)) return 0;
  M().processes.push_back({applicationName, commandLine, currentDirectory});
  const uint32_t kErrorDirectory = 267;  // ERROR_DIRECTORY
  if (!currentDirectory.empty() && !IsDir(ToHost(FullPath(currentDirectory)))) {
    M().lastError = kErrorDirectory;
    return 0;
  }
  std::vector<std::string> args = SplitArguments(commandLine);
  const std::string editor = Upper(M().windowsDir + "\\REGEDIT.EXE");
  size_t first = 1;
  std::string program;
  if (!applicationName.empty()) {
    // The program named; its command line's first word is its own name.
    program = FullPath(applicationName);
  } else {
    // The program is the first argument. Without quotes, the system tries
    // each blank in turn as its end; the registry editor is the only program
    // here.
    size_t start = commandLine.find_first_not_of(" \t");
    bool quotedProgram = start != std::string::npos && commandLine[start] == '"';
    program = args.empty() ? "" : args[0];
    while (!quotedProgram && first < args.size() && Upper(program) != editor) program += " " + args[first++];
    if (args.empty()) program.clear();
  }
  if (M().windowsDir.empty() || Upper(program) != editor) {
    M().lastError = kErrorFileNotFound;
    return 0;
  }
  // "/s" silences it; every other argument is a file to import, and a file
  // that cannot be read imports nothing (the editor still exits as set).
  for (size_t n = first; n < args.size(); ++n)
    if (Upper(args[n]) != "/S") ImportRegistryFile(args[n]);
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
