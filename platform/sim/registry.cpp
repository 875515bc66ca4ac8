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

std::shared_ptr<RegNode> Followed(std::shared_ptr<RegNode> node) {
  for (int depth = 0; node && !node->link.empty(); ++depth) {
    std::vector<std::string> parts;
    if (depth == 16 || !SplitKeyPath(node->link, &parts)) return nullptr;
    node = M().hklm;
    for (const std::string& part : parts)
      if (!(node = Followed(FindChild(*node, part)))) return nullptr;
  }
  return node;
}

namespace {

// The node at subKey below root, links followed on the way (and at its end
// unless openLink); made where create says. Its error code when it is not
// there or cannot be made.
long Walk(plat::RegKey root, const std::string& subKey, bool create, bool openLink, std::shared_ptr<RegNode>* found) {
  KeyHandle* base = Handle(root);
  if (!base) return 6;  // ERROR_INVALID_HANDLE
  std::vector<std::string> parts;
  if (!SplitKeyPath(subKey, &parts)) return 161;
  std::shared_ptr<RegNode> node = base->node;
  for (size_t i = 0; i < parts.size(); ++i) {
    auto child = FindChild(*node, parts[i]);
    if (!child) {
      if (!create) return plat::kErrorFileNotFound;
      // A volatile key has only volatile subkeys.
      if (node->isVolatile) return plat::direct::kErrorChildMustBeVolatile;
      child = AddChild(*node, parts[i]);
    }
    const bool last = i + 1 == parts.size();
    node = last && openLink ? child : Followed(child);
    if (!node) return plat::kErrorFileNotFound;
  }
  *found = node;
  return 0;
}

plat::RegKey NewHandle(const std::shared_ptr<RegNode>& node, bool writable, bool localMachine, const std::string& path) {
  plat::RegKey key = M().nextKey++;
  M().keys[key] = KeyHandle{node, writable, localMachine, path};
  return key;
}

}  // namespace

long OpenOrCreate(plat::RegKey root, const std::string& subKey, bool writable, bool create, plat::RegKey* result,
                  const char* function) {
  *result = 0;
  KeyHandle* base = Handle(root);
  if (!base) return 6;  // ERROR_INVALID_HANDLE
  std::string fullPath = base->path + "\\" + subKey;
  if (Failing(function, fullPath)) return plat::kErrorAccessDenied;
  if (base->localMachine && writable && !M().admin) return plat::kErrorAccessDenied;
  const bool localMachine = base->localMachine;
  std::shared_ptr<RegNode> node;
  long rc = Walk(root, subKey, create, false, &node);
  if (rc == 0) *result = NewHandle(node, writable, localMachine, fullPath);
  return rc;
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

// The node and all below it gone: taken from its parent, and the handles
// open on any of it no longer valid.
void RemoveNode(const std::shared_ptr<RegNode>& node) {
  MarkDeleted(*node);
  auto& siblings = node->parent->subkeys;
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
}

void DeleteTree(plat::RegKey root, const std::string& subKey) {
  KeyHandle* base = Handle(root);
  std::vector<std::string> parts;
  if (!base || !SplitKeyPath(subKey, &parts) || parts.empty()) return;
  std::shared_ptr<RegNode> node = base->node;
  for (auto& part : parts)
    if (!(node = FindChild(*node, part))) return;
  RemoveNode(node);
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
  std::shared_ptr<RegNode> node;
  if (long rc = Walk(key, subKey, false, true, &node)) return rc;
  // The NT family deletes only a key without subkeys; Windows 9x the whole tree.
  if (M().version.platformId == kPlatformWin32NT && !node->subkeys.empty()) return kErrorAccessDenied;
  RemoveNode(node);
  return 0;
}

// ---- Key trees. Names are the simulated registry's own strings on every
// family.

std::string direct::NativeName(const std::string& name) { return name; }
std::string direct::PrintableName(const std::string& native) { return native; }

long direct::RegOpenTreeKey(RegKey parent, const std::string& name, RegKey* result) {
  *result = 0;
  KeyHandle* base = Handle(parent);
  if (!base) return 6;
  const std::string path = base->path + "\\" + name;
  if (Failing("RegOpenKeyExW", path)) return kErrorAccessDenied;
  std::shared_ptr<RegNode> node;
  long rc = Walk(parent, name, false, M().version.platformId == kPlatformWin32NT, &node);
  if (rc == 0) *result = NewHandle(node, M().admin || !base->localMachine, base->localMachine, path);
  return rc;
}

long direct::RegEnumTreeKey(RegKey key, uint32_t index, std::string* name) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegEnumKeyExW", h->path)) return kErrorAccessDenied;
  if (index >= h->node->subkeys.size()) return kErrorNoMoreItems;
  *name = h->node->subkeys[index]->name;
  return 0;
}

long direct::RegEnumTreeValue(RegKey key, uint32_t index, std::string* name, uint32_t* type, std::string* data) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegEnumValueW", h->path)) return kErrorAccessDenied;
  if (index >= h->node->values.size()) return kErrorNoMoreItems;
  const RegValue& v = h->node->values[index];
  *name = v.name;
  *type = v.type;
  data->assign(v.data.begin(), v.data.end());
  return 0;
}

long direct::RegTreeKeyFacts(RegKey parent, const std::string& name, RegKey key, const std::string& probe,
                             KeyFacts* facts) {
  (void)parent;
  (void)name;
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  *facts = KeyFacts();
  if (M().version.platformId != kPlatformWin32NT) return 0;
  if (Failing("RegGetKeySecurity", h->path)) return kErrorAccessDenied;
  facts->security = h->node->security;
  facts->link = !h->node->link.empty();
  facts->target = h->node->link;
  if (facts->link || probe.empty()) return 0;
  if (Failing("RegCreateKeyExW", h->path + "\\" + probe)) return kErrorAccessDenied;
  if (FindChild(*h->node, probe)) return kErrorAlreadyExists;
  facts->isVolatile = h->node->isVolatile;
  if (facts->isVolatile) return 0;
  std::shared_ptr<RegNode> made = AddChild(*h->node, probe);
  if (Failing("NtDeleteKey", h->path + "\\" + probe)) return kErrorAccessDenied;
  RemoveNode(made);
  return 0;
}

long direct::RegDeleteTreeKey(RegKey parent, const std::string& name, RegKey key) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (M().version.platformId != kPlatformWin32NT) return direct::RegDeleteKeyA(parent, name);
  if (Failing("NtDeleteKey", h->path)) return kErrorAccessDenied;
  if (!h->node->subkeys.empty()) return kErrorAccessDenied;
  RemoveNode(h->node);
  return 0;
}

long direct::RegMakeTreeKey(const std::string& path, const KeyFacts& facts, RegKey* result) {
  *result = 0;
  if (Failing("RegCreateKeyExW", "HKLM\\" + path)) return kErrorAccessDenied;
  std::vector<std::string> parts;
  if (!SplitKeyPath(path, &parts) || parts.empty()) return kErrorInvalidParameter;
  const std::string last = parts.back();
  std::shared_ptr<RegNode> parent;
  long rc = Walk(kHKeyLocalMachine, path.substr(0, path.size() - last.size()), true, false, &parent);
  if (rc != 0) return rc;
  if (FindChild(*parent, last)) return kErrorAlreadyExists;
  if (parent->isVolatile && !facts.isVolatile) return kErrorChildMustBeVolatile;
  std::shared_ptr<RegNode> node = AddChild(*parent, last);
  node->isVolatile = facts.isVolatile;
  if (facts.link) node->link = facts.target;
  *result = NewHandle(node, true, true, "HKLM\\" + path);
  return 0;
}

long direct::RegQueryTreeValue(RegKey key, const std::string& name, uint32_t* type, std::string* data) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegQueryValueExW", h->path + "\\" + name)) return kErrorAccessDenied;
  const RegValue* v = FindValue(*h->node, name);
  if (!v) return kErrorFileNotFound;
  *type = v->type;
  data->assign(v->data.begin(), v->data.end());
  return 0;
}

long direct::RegSetTreeValue(RegKey key, const std::string& name, uint32_t type, const std::string& data) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegSetValueExW", h->path + "\\" + name)) return kErrorAccessDenied;
  RegValue* v = FindValue(*h->node, name);
  if (!v) {
    h->node->values.push_back(RegValue{name, type, {}});
    v = &h->node->values.back();
  }
  v->type = type;
  v->data.assign(data.begin(), data.end());
  return 0;
}

long direct::RegSetTreeKeySecurity(const std::string& path, const std::string& security) {
  if (Failing("RegSetKeySecurity", "HKLM\\" + path)) return kErrorAccessDenied;
  std::shared_ptr<RegNode> node;
  if (long rc = Walk(kHKeyLocalMachine, path, false, true, &node)) return rc;
  node->security = security;
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

namespace sim {

namespace {
std::shared_ptr<RegNode> MadeNode(const std::string& path, bool openLink) {
  std::shared_ptr<RegNode> node;
  Walk(plat::kHKeyLocalMachine, path, true, openLink, &node);
  return node;
}
}  // namespace

void MakeRegistryLink(const std::string& path, const std::string& target) { MadeNode(path, true)->link = target; }
void SetKeySecurity(const std::string& path, const std::string& security) { MadeNode(path, true)->security = security; }
void MakeVolatileKey(const std::string& path) { MadeNode(path, true)->isVolatile = true; }

}  // namespace sim
