// The simulated user interface: scripted message boxes, the marker window and
// the message loop. The dialog windows are in dialogs.cpp.
#include "platform/sim/machine.h"

using namespace sim::internal;

namespace plat {

int MessageBoxA(WindowHandle owner, const std::string& text, const std::string& caption, uint32_t type) {
  if (Failing("MessageBoxA")) return 0;
  if (owner != 0 && !WindowExists(owner)) {
    M().lastError = kErrorInvalidWindowHandle;
    return 0;
  }
  M().boxes.push_back(sim::MessageBoxCall{text, caption, type, M().markerWindow != 0, owner});
  if (!M().answers.empty()) {
    int answer = M().answers.front();
    M().answers.erase(M().answers.begin());
    return answer;
  }
  return (type & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) {
  return MessageBoxA(0, text, caption, type);
}

bool IsWindowStationVisible() { return M().version.platformId != kPlatformWin32NT || M().stationVisible; }

bool WriteStandardOutput(const std::string& text) {
  if (Failing("WriteStandardOutput")) return false;
  if (!M().standardOutput) {
    M().lastError = 6;  // ERROR_INVALID_HANDLE
    return false;
  }
  M().standardOutputText += text;
  return true;
}

uint16_t RegisterMarkerClass(const std::string& name) {
  if (Failing("RegisterMarkerClass", name) || M().markerClass) return 0;
  M().markerClass = true;
  return 0xC001;
}

WindowHandle CreateMarkerWindow(const std::string& name) {
  if (Failing("CreateMarkerWindow", name) || !M().markerClass || M().markerWindow) return 0;
  M().markerWindow = 0x10010;
  return M().markerWindow;
}

bool DestroyWindow(WindowHandle window) {
  if (Failing("DestroyWindow")) return false;
  if (window == 0 || window != M().markerWindow) return DestroyDialogWindow(window);
  M().markerWindow = 0;
  return true;
}

bool UnregisterClassA(const std::string& name) {
  if (Failing("UnregisterClassA", name)) return false;
  if (!M().markerClass || M().markerWindow) return false;
  M().markerClass = false;
  return true;
}

// No window of the simulation has messages of its own; what is counted is
// how often the program let its windows have their turn, and what they
// showed when they painted then.
void DispatchPendingMessages() {
  ++M().messageDispatches;
  RecordPaint();
}

}  // namespace plat

namespace sim {
size_t MessageDispatches() { return M().messageDispatches; }
}  // namespace sim
