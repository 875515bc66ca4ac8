// The journal's side of the registry: a value or a whole key tree read as
// it is before a change, and the key a create is about to make; and the
// small helpers the journal's files share.
#include <algorithm>

#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat::journal {

std::vector<Entry> Entries;

Entry& Add(std::vector<Entry>* list, Kind kind, const std::string& path, bool existed) {
  list->emplace_back();
  Entry& e = list->back();
  e.kind = kind;
  e.path = path;
  e.existed = existed;
  return e;
}

void Truncate(size_t mark) {
  Dropped(mark);
  while (Entries.size() > mark) Entries.pop_back();
}

namespace {

// The first n characters of a and b compared as Windows compares names.
bool SameStart(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool Same(const std::string& a, const std::string& b) {
  return a.size() == b.size() && SameStart(a.data(), b.data(), a.size());
}

bool Below(const std::string& path, const std::string& base) {
  return path.size() > base.size() && path[base.size()] == '\\' && SameStart(path.data(), base.data(), base.size());
}

std::string Join(const std::string& base, const std::string& sub) {
  std::string path = base;
  auto add = [&path](char c) {
    if (c != '\\' || (!path.empty() && path.back() != '\\')) path += c;
  };
  add('\\');
  for (char c : sub) add(c);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool Gone(uint32_t error) { return error == kErrorFileNotFound || error == kErrorPathNotFound; }

Found Look(const std::string& path, bool* readOnly) {
  FindData found;
  FindHandle find = FindFirstFileA(path, &found);
  if (find == kInvalidFind) return Gone(GetLastError()) ? kNothing : kUnknown;
  FindClose(find);
  if (readOnly) *readOnly = found.readOnly;
  return found.directory || found.reparsePoint ? kOther : kAFile;
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& listed : names)
    if (Same(listed, name)) return true;
  return false;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += name + '\n';
  return text;
}

std::vector<std::string> SplitNames(const std::string& text) {
  std::vector<std::string> names;
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    names.push_back(text.substr(at, end - at));
  return names;
}

bool Covered(const std::string& path, const std::string* valueName) {
  for (const Entry& e : Entries) {
    if (e.quiet) continue;
    if (e.kind == kValue && valueName && Same(e.path, path) && Same(e.name, *valueName)) return true;
    if (e.kind == kKey && (Same(e.path, path) || Below(path, e.path))) return true;
  }
  return false;
}

long ReadValue(RegKey key, const std::string& name, Entry* e) {
  e->name = name;
  const long rc = direct::RegQueryTreeValue(key, direct::NativeName(name), &e->type, &e->data);
  e->existed = rc == 0;
  return rc == kErrorFileNotFound ? 0 : rc;
}

namespace {

// The key name below parent (open as key, at the native path) and
// everything below it, appended to the entries in the order they are made
// again. A subkey that is listed but cannot be read fails the recording:
// a tree is recorded whole or not at all.
long ReadTree(RegKey parent, const std::string& name, RegKey key, const std::string& path) {
  direct::KeyFacts facts;
  long rc = direct::RegTreeKeyFacts(parent, name, key, ProbeName(), &facts);
  if (rc != 0) return rc;
  Entry& made = Add(&Entries, kTreeKey, path, true);
  made.quiet = true;
  made.type = (facts.isVolatile ? kVolatileKey : 0) | (facts.link ? kLinkKey : 0);
  made.name.swap(facts.security);
  made.data.swap(facts.target);
  if (facts.link) return 0;  // a link is recorded, never entered
  for (uint32_t i = 0; rc == 0; ++i) {
    Entry value;
    if ((rc = direct::RegEnumTreeValue(key, i, &value.name, &value.type, &value.data)) != 0) break;
    Entry& e = Add(&Entries, kTreeValue, path, true);
    e.quiet = true;
    e.type = value.type;
    e.name.swap(value.name);
    e.data.swap(value.data);
  }
  if (rc != kErrorNoMoreItems) return rc;
  std::vector<std::string> subkeys;
  if ((rc = TreeSubkeys(key, &subkeys)) != 0) return rc;
  const std::string separator = direct::NativeName("\\");
  for (const std::string& sub : subkeys) {
    RegKey subKey = 0;
    if ((rc = direct::RegOpenTreeKey(key, sub, &subKey)) != 0) return rc;
    rc = ReadTree(key, sub, subKey, path + separator + sub);
    direct::RegCloseKey(subKey);
    if (rc != 0) return rc;
  }
  return 0;
}

// The subkeys of the parent listed last: a tree is deleted one subkey after
// the other, and listing the parent again for each would make recording
// grow with the square of the subkeys. Deletes only take names away (a
// name gone is not asked for again); a create may add one, and so forgets
// the list.
std::string ListedParent;
std::vector<std::string> ListedSubkeys;
bool Listing = false;

// The names of the key's subkeys (8-bit), all of them or the error.
long Subkeys(RegKey key, std::vector<std::string>* names) {
  char name[256];  // the longest key name Windows allows, and its end
  long rc = 0;
  for (uint32_t i = 0, size = sizeof name; rc == 0; ++i, size = sizeof name)
    if ((rc = RegEnumKeyExA(key, i, name, &size)) == 0) names->emplace_back(name, size);
  return rc == kErrorNoMoreItems ? 0 : rc;
}

// The path with the key's own name as stored (it is put back so), found
// among its parent's subkeys.
long StoredName(std::string* path) {
  const size_t slash = path->rfind('\\');
  const std::string parent = slash == std::string::npos ? "" : path->substr(0, slash), own = path->substr(slash + 1);
  if (!Listing || !Same(parent, ListedParent)) {
    RegKey key = 0;
    long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, parent, kKeyRead, &key);
    if (rc != 0) return rc;
    ListedSubkeys.clear();
    rc = Subkeys(key, &ListedSubkeys);
    direct::RegCloseKey(key);
    if (rc != 0) return rc;
    ListedParent = parent;
    Listing = true;
  }
  for (const std::string& listed : ListedSubkeys)
    if (Same(listed, own)) {
      *path = Join(parent, listed);
      break;
    }
  return 0;
}

}  // namespace

long RecordKey(const std::string& path) {
  if (Covered(path)) return 0;
  const size_t mark = Entries.size();
  std::string stored = path;
  long rc = StoredName(&stored);
  RegKey key = 0;
  const std::string native = direct::NativeName(stored);
  if (rc == 0) rc = direct::RegOpenTreeKey(kHKeyLocalMachine, native, &key);
  if (rc == kErrorFileNotFound) {
    Add(&Entries, kKey, path);
    return 0;
  }
  if (rc != 0) return rc;
  // On disk before the first probe key is made: a run killed now leaves no
  // probe behind.
  Add(&Entries, kTreeStart, native, true).name = stored;
  if (Persist()) rc = ReadTree(kHKeyLocalMachine, native, key, native);
  else rc = GetLastError() ? static_cast<long>(GetLastError()) : static_cast<long>(kErrorAccessDenied);
  direct::RegCloseKey(key);
  if (rc != 0) {
    // The start stays where a probe key does (the undo takes it out).
    Truncate(DeleteProbes(native) ? mark : mark + 1);
    return rc;
  }
  // Undone the last first: the tree goes, then each part is made again.
  std::reverse(Entries.begin() + static_cast<std::ptrdiff_t>(mark) + 1, Entries.end());
  Add(&Entries, kKey, path, true);
  return 0;
}

long TreeSubkeys(RegKey key, std::vector<std::string>* names) {
  long rc = 0;
  for (uint32_t i = 0; rc == 0; ++i) {
    std::string name;
    if ((rc = direct::RegEnumTreeKey(key, i, &name)) == 0) names->push_back(name);
  }
  return rc == kErrorNoMoreItems ? 0 : rc;
}

std::string ProbeName() { return direct::NativeName("~vqdprobe"); }

void ForgetListing() { Listing = false; }

long RecordCreate(const std::string& path) {
  ForgetListing();
  for (size_t end = path.find('\\'); true; end = path.find('\\', end + 1)) {
    RegKey key = 0;
    long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, path.substr(0, end), kKeyRead, &key);
    if (rc == kErrorFileNotFound) return RecordKey(path.substr(0, end));
    if (rc != 0) return rc;
    direct::RegCloseKey(key);
    if (end == std::string::npos) return 0;
  }
}


// The names of the files in the store of setup information files, as a
// list, and the store's folder.
bool StoredInfs(std::vector<std::string>* names, std::string* store) {
  char windows[261] = {};
  uint32_t length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return false;
  *store = std::string(windows) + "\\INF\\";
  FindData found;
  FindHandle find = FindFirstFileA(*store + "*", &found);
  if (find == kInvalidFind) return Gone(GetLastError());
  do names->push_back(found.name);
  while (FindNextFileA(find, &found));
  const bool complete = GetLastError() == 18;  // ERROR_NO_MORE_FILES
  return FindClose(find) && complete;
}

bool ReadBytes(const std::string& path, std::string* bytes) {
  FileView view;
  if (!MapWholeFile(path, &view)) return false;
  bytes->assign(reinterpret_cast<const char*>(view.data), view.size);
  UnmapWholeFile(&view);
  return true;
}

}  // namespace plat::journal
