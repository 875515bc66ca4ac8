// The journal's side of the registry: a value or a whole key tree read as
// it is before a change, and the key a create is about to make.
#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat::journal {

std::vector<Entry> Entries;

Entry Make(Kind kind, const std::string& path, bool existed) {
  Entry e;
  e.kind = kind;
  e.path = path;
  e.existed = existed;
  return e;
}

bool Same(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string Join(const std::string& base, const std::string& sub) {
  std::string path = base;
  for (char c : "\\" + sub)
    if (c != '\\' || (!path.empty() && path.back() != '\\')) path += c;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool Covered(const std::string& path, const std::string* valueName) {
  for (const Entry& e : Entries) {
    if (e.quiet) continue;
    if (e.kind == kValue && valueName && Same(e.path, path) && Same(e.name, *valueName)) return true;
    if (e.kind == kKey && (Same(e.path, path) || (path.size() > e.path.size() && path[e.path.size()] == '\\' &&
                                                  Same(path.substr(0, e.path.size()), e.path))))
      return true;
  }
  return false;
}

long ReadValue(RegKey key, const std::string& path, const std::string& name, Entry* e) {
  *e = Make(kValue, path);
  e->name = name;
  uint32_t size = 0;
  long rc = RegQueryValueExA(key, name, &e->type, nullptr, &size);
  if (rc == kErrorFileNotFound) return 0;
  if (rc == 0) {
    e->data.resize(size);
    rc = RegQueryValueExA(key, name, &e->type, reinterpret_cast<uint8_t*>(&e->data[0]), &size);
    e->data.resize(size);
  }
  e->existed = rc == 0;
  return rc;
}

namespace {

// Appends the key and everything below it to tree, in the order they are
// made again.
long ReadTree(const std::string& path, std::vector<Entry>* tree) {
  RegKey key = 0;
  long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, path, kKeyRead, &key);
  if (rc != 0) return rc;
  tree->push_back(Make(kKey, path, true));
  std::string name(16384, '\0');
  std::vector<std::string> subkeys;
  for (uint32_t i = 0; rc == 0; ++i) {
    uint32_t size = static_cast<uint32_t>(name.size());
    if ((rc = RegEnumValueA(key, i, &name[0], &size)) != 0) break;
    tree->emplace_back();
    rc = ReadValue(key, path, name.substr(0, size), &tree->back());
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
  std::vector<Entry> tree;
  std::string stored = path;
  long rc = StoredName(&stored);
  if (rc == 0) rc = ReadTree(stored, &tree);
  if (rc != 0 && rc != kErrorFileNotFound) return rc;
  // Undone the last first: the tree goes, then each part is made again.
  for (size_t i = tree.size(); i-- > 0;) {
    tree[i].quiet = true;
    Entries.push_back(tree[i]);
  }
  Entries.push_back(Make(kKey, path, rc == 0));
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
