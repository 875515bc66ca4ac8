// Two states of the simulated machine side by side: the registry of both
// roots and the files of some directories, with all that Windows keeps of
// each (a value's type and bytes; a file's bytes and three times).
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/sim/machine.h"

using namespace sim::internal;

namespace {

void AddKey(const RegNode& node, const std::string& path, sim::MachineState* state) {
  // A key with its security, as a link or volatile where it is one.
  state->items[path] = "key " + node.security + (node.isVolatile ? " volatile" : "") +
                       (node.link.empty() ? "" : " link to " + node.link);
  for (const RegValue& v : node.values) {
    std::string text = std::to_string(v.type) + ":";
    for (uint8_t b : v.data) text += "0123456789ABCDEF"[b >> 4], text += "0123456789ABCDEF"[b & 15];
    state->items[path + "\\\\" + v.name] = text;
  }
  for (const auto& child : node.subkeys) AddKey(*child, path + "\\" + child->name, state);
}

}  // namespace

namespace sim {

MachineState CaptureMachine(const std::vector<std::string>& windowsDirs) {
  MachineState state;
  AddKey(*M().hklm, "HKLM", &state);
  AddKey(*M().hkcu, "HKCU", &state);
  namespace fs = std::filesystem;
  for (const std::string& dir : windowsDirs) {
    const std::string top = FullPath(dir), host = ToHost(top);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(host, ec); it != fs::recursive_directory_iterator(); ++it) {
      if (!it->is_regular_file()) continue;
      std::string path = top + "\\" + fs::relative(it->path(), host).string();
      for (char& c : path)
        if (c == '/') c = '\\';
      std::ifstream in(it->path(), std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      auto found = M().times.find(TimeKey(path));
      const Times t = found == M().times.end() ? Times() : found->second;
      state.items[path] = bytes + " times " + std::to_string(t.creation) + " " + std::to_string(t.lastAccess) + " " +
                          std::to_string(t.lastWrite);
    }
  }
  return state;
}

std::vector<std::string> CompareMachines(const MachineState& before, const MachineState& after) {
  std::vector<std::string> differences;
  for (const auto& [name, value] : before.items) {
    auto it = after.items.find(name);
    if (it == after.items.end())
      differences.push_back("gone " + name);
    else if (it->second != value)
      differences.push_back("changed " + name);
  }
  for (const auto& [name, value] : after.items)
    if (!before.items.count(name)) differences.push_back("new " + name);
  return differences;
}

}  // namespace sim
