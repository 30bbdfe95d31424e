// Stands in for a DLL planted under msi.dll's name in a download folder.
// It only leaves a trace: when loaded, it appends its own full path and a
// line break (UTF-16) to the file named by SETUP_CANARY_MARKER. Without
// that variable it does nothing.
#include <windows.h>

namespace {

// Appends `text` (`units` UTF-16 units) to `markerPath`; best effort, as
// nothing here may keep the loader from going on.
void AppendToMarker(const wchar_t* markerPath, const wchar_t* text, DWORD units) {
  const HANDLE file =
      ::CreateFileW(markerPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, text, units * static_cast<DWORD>(sizeof(wchar_t)), &written, nullptr);
  ::CloseHandle(file);
}

void LeaveMarker(HINSTANCE instance) {
  wchar_t markerPath[MAX_PATH + 1] = {};
  const DWORD markerLength =
      ::GetEnvironmentVariableW(L"SETUP_CANARY_MARKER", markerPath, MAX_PATH + 1);
  if (markerLength == 0 || markerLength > MAX_PATH) return;

  // Room for the path, "\r\n" and the terminator.
  wchar_t line[MAX_PATH + 3] = {};
  DWORD length = ::GetModuleFileNameW(instance, line, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) {
    // The load itself is what matters; say so even without a path.
    line[0] = L'?';
    length = 1;
  }
  line[length] = L'\r';
  line[length + 1] = L'\n';
  AppendToMarker(markerPath, line, length + 2);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(instance);
  // Loaded successfully, as a real planted DLL would want to be.
  return TRUE;
}
