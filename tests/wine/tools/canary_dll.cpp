// canary.dll: planted in a patch folder under the names of system DLLs
// (msi.dll, version.dll, ...). It only leaves a trace: when a process loads
// it, it appends one UTF-8 line to the file named by SETUP_CANARY_MARKER,
//   <this DLL's full path> TAB <the loading process's program file> CR LF
// so a test can tell which process took a planted DLL. Without that
// variable it does nothing. It exports nothing and always loads.
#include <windows.h>

namespace {

constexpr DWORD kPathUnits = 32768;  // the longest path Windows hands out

// Appends `bytes` to the file at `markerPath` in one write; best effort, as
// nothing here may keep the loading process from going on.
void AppendToMarker(const wchar_t* markerPath, const char* bytes, DWORD size) {
  const HANDLE file = CreateFileW(markerPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes, size, &written, nullptr);
  CloseHandle(file);
}

// Writes the path of `module` (null: the process's program) into `path`
// (kPathUnits units) and returns its length; "?" when it cannot be had, as
// the load itself is what matters.
DWORD ModulePath(HMODULE module, wchar_t* path) {
  const DWORD length = GetModuleFileNameW(module, path, kPathUnits);
  if (length == 0 || length >= kPathUnits) {
    path[0] = L'?';
    path[1] = L'\0';
    return 1;
  }
  return length;
}

// Appends `units` UTF-16 units of `text` to `line` at `used` as UTF-8;
// false when `line` (`capacity` bytes) has no room.
bool AppendUtf8(const wchar_t* text, DWORD units, char* line, int capacity, int& used) {
  const int written = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), line + used,
                                          capacity - used, nullptr, nullptr);
  if (written <= 0) return false;
  used += written;
  return true;
}

bool AppendByte(char byte, char* line, int capacity, int& used) {
  if (used >= capacity) return false;
  line[used++] = byte;
  return true;
}

void LeaveMarker(HMODULE self) {
  // Static: DllMain runs on a small loader stack, and loads are serialised.
  static wchar_t markerPath[kPathUnits];
  static wchar_t dllPath[kPathUnits];
  static wchar_t programPath[kPathUnits];
  static char line[4 * 2 * kPathUnits + 3];
  const DWORD markerLength =
      GetEnvironmentVariableW(L"SETUP_CANARY_MARKER", markerPath, kPathUnits);
  if (markerLength == 0 || markerLength >= kPathUnits) return;

  const DWORD dllLength = ModulePath(self, dllPath);
  const DWORD programLength = ModulePath(nullptr, programPath);
  const int capacity = static_cast<int>(sizeof line);
  int used = 0;
  if (!AppendUtf8(dllPath, dllLength, line, capacity, used) ||
      !AppendByte('\t', line, capacity, used) ||
      !AppendUtf8(programPath, programLength, line, capacity, used) ||
      !AppendByte('\r', line, capacity, used) || !AppendByte('\n', line, capacity, used)) {
    return;
  }
  AppendToMarker(markerPath, line, static_cast<DWORD>(used));
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(instance);
  return TRUE;
}
