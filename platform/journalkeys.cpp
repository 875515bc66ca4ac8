// The journal's side of the registry: a value or a whole key tree read as
// it is before a change, and the key a create is about to make.
#include <utility>

#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat::journal {

std::string Join(const std::string& base, const std::string& sub) {
  std::string path = base;
  for (char c : "\\" + sub)
    if (c != '\\' || (!path.empty() && path.back() != '\\')) path += c;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool Recorded(Kind kind, const std::string& path, const std::string& name) {
  for (const Entry& e : Entries)
    if (e.kind == kind && Same(e.path, path) && Same(e.name, name)) return true;
  return false;
}

bool Covered(const std::string& path) {
  for (const Entry& e : Entries)
    if (e.kind == Kind::Key && (Same(e.path, path) || (path.size() > e.path.size() && path[e.path.size()] == '\\' &&
                                                      Same(path.substr(0, e.path.size()), e.path))))
      return true;
  return false;
}

long ReadValue(RegKey key, const std::string& path, const std::string& name, Entry* e) {
  e->kind = Kind::Value;
  e->path = path;
  e->name = name;
  uint32_t size = 0;
  long rc = RegQueryValueExA(key, name, &e->type, nullptr, &size);
  if (rc == kErrorFileNotFound) return 0;
  if (rc == 0) {
    e->data.resize(size);
    rc = RegQueryValueExA(key, name, &e->type, e->data.data(), &size);
    e->data.resize(size);
  }
  e->existed = rc == 0;
  return rc;
}

namespace {

// Appends the key and everything below it to tree.
long ReadTree(const std::string& path, std::vector<Entry>* tree) {
  RegKey key = 0;
  long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, path, kKeyRead, &key);
  if (rc != 0) return rc;
  tree->push_back(Make(Kind::Key, path, true));
  std::string name(16384, '\0');
  std::vector<std::string> subkeys;
  for (uint32_t i = 0; rc == 0; ++i) {
    uint32_t size = static_cast<uint32_t>(name.size());
    if ((rc = RegEnumValueA(key, i, &name[0], &size)) != 0) break;
    Entry value;
    if ((rc = ReadValue(key, path, name.substr(0, size), &value)) == 0) tree->push_back(value);
  }
  for (uint32_t i = 0; rc == kErrorNoMoreItems || rc == 0; ++i) {
    uint32_t size = static_cast<uint32_t>(name.size());
    if ((rc = RegEnumKeyExA(key, i, &name[0], &size)) != 0) break;
    subkeys.push_back(name.substr(0, size));
  }
  direct::RegCloseKey(key);
  if (rc != kErrorNoMoreItems) return rc;
  for (const std::string& sub : subkeys)
    if ((rc = ReadTree(path + "\\" + sub, tree)) != 0) return rc;
  return 0;
}

// The path with the key's own name as stored (it is put back so), found
// among its parent's subkeys.
long StoredName(std::string* path) {
  const size_t slash = path->rfind('\\');
  const std::string parent = slash == std::string::npos ? "" : path->substr(0, slash), own = path->substr(slash + 1);
  RegKey key = 0;
  long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, parent, kKeyRead, &key);
  char name[256];
  for (uint32_t i = 0, size = sizeof name; rc == 0; ++i, size = sizeof name)
    if ((rc = RegEnumKeyExA(key, i, name, &size)) == 0 && Same(std::string(name, size), own))
      *path = Join(parent, std::string(name, size));
  if (key) direct::RegCloseKey(key);
  return rc == kErrorNoMoreItems ? 0 : rc;
}

}  // namespace

long RecordKey(const std::string& path) {
  if (Covered(path)) return 0;
  Entry e = Make(Kind::Key, path);
  std::string stored = path;
  long rc = StoredName(&stored);
  if (rc == 0) rc = ReadTree(stored, &e.tree);
  if (rc != 0 && rc != kErrorFileNotFound) return rc;
  e.existed = rc == 0;
  Entries.push_back(std::move(e));
  return 0;
}

long RecordCreate(const std::string& path) {
  for (size_t end = path.find('\\'); true; end = path.find('\\', end + 1)) {
    RegKey key = 0;
    long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, path.substr(0, end), kKeyRead, &key);
    if (rc == kErrorFileNotFound) return RecordKey(path.substr(0, end));
    if (rc != 0) return rc;
    direct::RegCloseKey(key);
    if (end == std::string::npos) return 0;
  }
}


}  // namespace plat::journal
