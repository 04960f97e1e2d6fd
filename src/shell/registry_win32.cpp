// Extension registration's registry, WIN.INI and broadcast: ADVAPI32, KERNEL32 and USER32.
#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <cwchar>
#include <memory>

#include "shell/extensions.h"
#include "fs/wide_win32.h"

namespace {

HKEY Handle(ExtensionRegistry::Key key) {
  return key ? reinterpret_cast<HKEY>(key) : HKEY_CLASSES_ROOT;
}

// Deletes root\name and every key below it: a key with subkeys cannot be deleted on NT.
LONG DeleteKeyTree(HKEY root, const char* name) {
  if (!name || !*name) return ERROR_BADKEY;
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(root, name, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &opened);
  if (result != ERROR_SUCCESS) return result;
  for (;;) {
    char subkey[256];
    DWORD size = sizeof subkey;
    result = RegEnumKeyExA(opened, 0, subkey, &size, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) {
      result = RegDeleteKeyA(root, name);
      break;
    }
    if (result != ERROR_SUCCESS) break;
    // Index 0 again after each deletion: the remaining subkeys move up.
    result = DeleteKeyTree(opened, subkey);
    if (result != ERROR_SUCCESS) break;
  }
  RegCloseKey(opened);
  return result;
}

}  // namespace

int SystemRegistry::deleteKeyTree(const char* name) {
  return static_cast<int>(DeleteKeyTree(HKEY_CLASSES_ROOT, name));
}

ExtensionRegistry::Key SystemRegistry::createKey(Key parent, const char* name) {
  HKEY key = nullptr;
  if (RegCreateKeyW(Handle(parent), WideText(name).get(), &key) != ERROR_SUCCESS) return 0;
  return reinterpret_cast<Key>(key);
}

bool SystemRegistry::setDefaultValue(Key key, const char* value) {
  const std::unique_ptr<wchar_t[]> wide = WideText(value);
  return RegSetValueW(Handle(key), nullptr, REG_SZ, wide.get(),
                      static_cast<DWORD>((wcslen(wide.get()) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void SystemRegistry::closeKey(Key key) {
  if (key) RegCloseKey(reinterpret_cast<HKEY>(key));
}

bool SystemRegistry::writeProfileString(const char* section, const char* entry, const char* value) {
  // A null entry or value deletes, as the call takes it.
  const std::unique_ptr<wchar_t[]> wideEntry = entry ? WideText(entry) : nullptr;
  const std::unique_ptr<wchar_t[]> wideValue = value ? WideText(value) : nullptr;
  return WriteProfileStringW(WideText(section).get(), wideEntry.get(), wideValue.get()) != 0;
}

void SystemRegistry::broadcastIniChange() { PostMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0); }

bool SystemRegistry::fileTitle(const char* path, char* out, uint16_t size) {
  wchar_t title[MAX_PATH];
  if (GetFileTitleW(WideText(path).get(), title, MAX_PATH) != 0) return false;
  return WideCharToMultiByte(CP_UTF8, 0, title, -1, out, size, nullptr, nullptr) > 0;
}
