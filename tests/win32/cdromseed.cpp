// A console program of the win32 build for the end-to-end tests: it puts
// root-enumerated CD-ROM devices with a CD-ROM device interface and a
// friendly name on the system, so that SetupAPI lists them as the program's
// device restart asks for them, and takes them away again. Not part of
// vqdinst.exe; it imports SetupAPI as any test tool may.
//
//   add ENUMERATOR INDEX FRIENDLY   ROOT\ENUMERATOR\000INDEX; a friendly name
//                                   "multi:A|B" is stored as REG_MULTI_SZ
//                                   with the strings A and B, else as REG_SZ
//   remove ENUMERATOR               every device under ROOT\ENUMERATOR
//   count                           "count=N": the devices of the CD-ROM
//                                   interface set the restart enumerates
//
// Exit code 0 on success, 1 when a call failed (with its error on stderr).
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The CD-ROM setup class and the CD-ROM device interface class.
const GUID CdromClass = {0x4D36E965, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID CdromInterface = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

int Fail(const char* what) {
  std::fprintf(stderr, "cdromseed: %s failed: %lu\n", what, static_cast<unsigned long>(::GetLastError()));
  return 1;
}

// The friendly name as the value's data: one string, or a multi-string.
std::string FriendlyData(const std::string& text, DWORD* type) {
  const std::string multi = "multi:";
  if (text.compare(0, multi.size(), multi) != 0) {
    *type = REG_SZ;
    return text + '\0';
  }
  *type = REG_MULTI_SZ;
  std::string data = text.substr(multi.size());
  for (char& c : data)
    if (c == '|') c = '\0';
  return data + '\0' + '\0';
}

int Add(const std::string& enumerator, int index, const std::string& friendly) {
  char instance[200];
  std::snprintf(instance, sizeof instance, "ROOT\\%s\\%04d", enumerator.c_str(), index);
  HDEVINFO set = ::SetupDiCreateDeviceInfoList(&CdromClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  SP_DEVICE_INTERFACE_DATA iface;
  iface.cbSize = sizeof iface;
  int rc = 0;
  if (!::SetupDiCreateDeviceInfoA(set, instance, &CdromClass, nullptr, nullptr, 0, &device))
    rc = Fail("SetupDiCreateDeviceInfoA");
  else if (!::SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr))
    rc = Fail("SetupDiRegisterDeviceInfo");
  else if (!::SetupDiCreateDeviceInterfaceA(set, &device, &CdromInterface, nullptr, 0, &iface))
    rc = Fail("SetupDiCreateDeviceInterfaceA");
  ::SetupDiDestroyDeviceInfoList(set);
  if (rc != 0) return rc;

  // Written into the device's key, so that the type stays as given.
  DWORD type = REG_SZ;
  std::string data = FriendlyData(friendly, &type);
  std::string path = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + instance;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return Fail("RegOpenKeyExA of the device key");
  LONG stored = ::RegSetValueExA(key, "FriendlyName", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
  ::RegCloseKey(key);
  if (stored != ERROR_SUCCESS) {
    ::SetLastError(stored);
    return Fail("RegSetValueExA FriendlyName");
  }
  return 0;
}

int Remove(const std::string& enumerator) {
  std::string root = "ROOT\\" + enumerator;
  HDEVINFO set = ::SetupDiGetClassDevsA(nullptr, root.c_str(), nullptr, DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiGetClassDevsA");
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  int rc = 0;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i)
    if (!::SetupDiRemoveDevice(set, &device)) rc = Fail("SetupDiRemoveDevice");
  ::SetupDiDestroyDeviceInfoList(set);
  return rc;
}

int Count() {
  HDEVINFO set = ::SetupDiGetClassDevsA(&CdromInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiGetClassDevsA");
  SP_DEVINFO_DATA device;
  device.cbSize = sizeof device;
  DWORD n = 0;
  while (::SetupDiEnumDeviceInfo(set, n, &device)) ++n;
  ::SetupDiDestroyDeviceInfoList(set);
  std::printf("count=%lu\n", static_cast<unsigned long>(n));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "add" && argc == 5) return Add(argv[2], std::atoi(argv[3]), argv[4]);
  if (command == "remove" && argc == 3) return Remove(argv[2]);
  if (command == "count" && argc == 2) return Count();
  std::fprintf(stderr, "usage: cdromseed add ENUMERATOR INDEX FRIENDLY | remove ENUMERATOR | count\n");
  return 2;
}
