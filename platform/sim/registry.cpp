// The simulated registry: keys and typed values in memory, with the rules of
// Windows (names without regard to case, NT deleting only keys without
// subkeys, HKEY_LOCAL_MACHINE read-only for a user who is not an
// administrator).
#include <algorithm>
#include <cstring>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/direct.h"

namespace sim::internal {

std::shared_ptr<RegNode> FindChild(RegNode& node, const std::string& name) {
  for (auto& child : node.subkeys)
    if (Upper(child->name) == Upper(name)) return child;
  return nullptr;
}

std::shared_ptr<RegNode> AddChild(RegNode& node, const std::string& name) {
  auto child = std::make_shared<RegNode>();
  child->name = name;
  child->parent = &node;
  auto pos = std::find_if(node.subkeys.begin(), node.subkeys.end(),
                          [&](const std::shared_ptr<RegNode>& k) { return Upper(k->name) > Upper(name); });
  node.subkeys.insert(pos, child);
  return child;
}

KeyHandle* Handle(plat::RegKey key) {
  auto it = M().keys.find(key);
  if (it == M().keys.end() || it->second.node->deleted) return nullptr;
  return &it->second;
}

bool SplitKeyPath(const std::string& path, std::vector<std::string>* parts) {
  if (!path.empty() && path[0] == '\\') return false;  // ERROR_BAD_PATHNAME
  std::stringstream ss(path);
  std::string part;
  while (std::getline(ss, part, '\\'))
    if (!part.empty()) parts->push_back(part);
  return true;
}

long OpenOrCreate(plat::RegKey root, const std::string& subKey, bool writable, bool create,
                  plat::RegKey* result, const char* function) {
  *result = 0;
  KeyHandle* base = Handle(root);
  if (!base) return 6;  // ERROR_INVALID_HANDLE
  std::string fullPath = base->path + "\\" + subKey;
  if (Failing(function, fullPath)) return plat::kErrorAccessDenied;
  if (base->localMachine && writable && !M().admin) return plat::kErrorAccessDenied;
  std::vector<std::string> parts;
  if (!SplitKeyPath(subKey, &parts)) return 161;
  std::shared_ptr<RegNode> node = base->node;
  for (auto& part : parts) {
    auto child = FindChild(*node, part);
    if (!child) {
      if (!create) return plat::kErrorFileNotFound;
      child = AddChild(*node, part);
    }
    node = child;
  }
  plat::RegKey key = M().nextKey++;
  M().keys[key] = KeyHandle{node, writable, base->localMachine, fullPath};
  *result = key;
  return 0;
}

RegValue* FindValue(RegNode& node, const std::string& name) {
  for (auto& v : node.values)
    if (Upper(v.name) == Upper(name)) return &v;
  return nullptr;
}

void MarkDeleted(RegNode& node) {
  node.deleted = true;
  for (auto& child : node.subkeys) MarkDeleted(*child);
}


void DeleteTree(plat::RegKey root, const std::string& subKey) {
  KeyHandle* base = Handle(root);
  std::vector<std::string> parts;
  if (!base || !SplitKeyPath(subKey, &parts) || parts.empty()) return;
  std::shared_ptr<RegNode> node = base->node;
  for (auto& part : parts)
    if (!(node = FindChild(*node, part))) return;
  MarkDeleted(*node);
  auto& siblings = node->parent->subkeys;
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
}

}  // namespace sim::internal

using namespace sim::internal;

namespace plat {

long direct::RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  bool writable = (access & 0x00000006) != 0 || access == kKeyAllAccess;  // KEY_SET_VALUE | KEY_CREATE_SUB_KEY
  return OpenOrCreate(root, subKey, writable, false, result, "RegOpenKeyExA");
}

long direct::RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  // Opened with the most access allowed: read-only for a non-administrator.
  KeyHandle* base = Handle(root);
  bool writable = !(base && base->localMachine && !M().admin);
  return OpenOrCreate(root, subKey, writable, false, result, "RegOpenKeyA");
}

long direct::RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  // It asks for the most access allowed: on NT a user who may not write
  // HKEY_LOCAL_MACHINE gets an existing key opened for reading, and may not
  // create a new one.
  KeyHandle* base = Handle(root);
  if (base && base->localMachine && !M().admin && M().version.platformId == kPlatformWin32NT) {
    long rc = OpenOrCreate(root, subKey, false, false, result, "RegCreateKeyA");
    return rc == kErrorFileNotFound ? kErrorAccessDenied : rc;
  }
  return OpenOrCreate(root, subKey, true, true, result, "RegCreateKeyA");
}

long direct::RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  (void)access;
  return OpenOrCreate(root, subKey, true, true, result, "RegCreateKeyExA");
}

long direct::RegCloseKey(RegKey key) {
  if (Failing("RegCloseKey")) return kErrorAccessDenied;
  if (key == kHKeyLocalMachine || key == kHKeyCurrentUser) return 0;
  return M().keys.erase(key) == 1 ? 0 : 6;
}

long RegQueryValueExA(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegQueryValueExA", h->path + "\\" + name)) return kErrorAccessDenied;
  RegValue* v = FindValue(*h->node, name);
  if (!v) return kErrorFileNotFound;
  if (type) *type = v->type;
  uint32_t needed = static_cast<uint32_t>(v->data.size());
  if (!size) return data ? kErrorInvalidParameter : 0;
  if (data && *size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (data && needed) std::memcpy(data, v->data.data(), needed);
  *size = needed;
  return 0;
}

long direct::RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (!h->writable || Failing("RegSetValueExA", h->path + "\\" + name)) return kErrorAccessDenied;
  RegValue* v = FindValue(*h->node, name);
  if (!v) {
    h->node->values.push_back(RegValue{name, type, {}});
    v = &h->node->values.back();
  }
  v->type = type;
  v->data.assign(data, data + size);
  return 0;
}

long direct::RegDeleteValueA(RegKey key, const std::string& name) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (!h->writable || Failing("RegDeleteValueA", h->path + "\\" + name)) return kErrorAccessDenied;
  auto& values = h->node->values;
  auto it = std::find_if(values.begin(), values.end(), [&](const RegValue& v) { return Upper(v.name) == Upper(name); });
  if (it == values.end()) return kErrorFileNotFound;
  values.erase(it);
  return 0;
}

long direct::RegDeleteKeyA(RegKey key, const std::string& subKey) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegDeleteKeyA", h->path + "\\" + subKey)) return kErrorAccessDenied;
  if (h->localMachine && !M().admin) return kErrorAccessDenied;
  std::vector<std::string> parts;
  if (!SplitKeyPath(subKey, &parts) || parts.empty()) return kErrorInvalidParameter;
  std::shared_ptr<RegNode> node = h->node;
  for (auto& part : parts) {
    node = FindChild(*node, part);
    if (!node) return kErrorFileNotFound;
  }
  // The NT family deletes only a key without subkeys; Windows 9x the whole tree.
  if (M().version.platformId == kPlatformWin32NT && !node->subkeys.empty()) return kErrorAccessDenied;
  RegNode* parent = node->parent;
  MarkDeleted(*node);
  parent->subkeys.erase(std::find(parent->subkeys.begin(), parent->subkeys.end(), node));
  return 0;
}

long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegQueryInfoKeyA", h->path)) return kErrorAccessDenied;
  *subKeys = static_cast<uint32_t>(h->node->subkeys.size());
  return 0;
}

long RegEnumValueA(RegKey key, uint32_t index, char* name, uint32_t* size) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegEnumValueA", h->path)) return kErrorAccessDenied;
  if (index >= h->node->values.size()) return kErrorNoMoreItems;
  const std::string& n = h->node->values[index].name;
  if (n.size() + 1 > *size) return kErrorMoreData;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *size = static_cast<uint32_t>(n.size());
  return 0;
}

long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* size) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegEnumKeyExA", h->path)) return kErrorAccessDenied;
  if (index >= h->node->subkeys.size()) return kErrorNoMoreItems;
  const std::string& n = h->node->subkeys[index]->name;
  if (n.size() + 1 > *size) return kErrorMoreData;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *size = static_cast<uint32_t>(n.size());
  return 0;
}

}  // namespace plat
