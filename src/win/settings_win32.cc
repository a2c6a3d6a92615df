// Reading the settings of settings/settings.h from the registry, for the
// task's runner and the package's custom actions alike.
#include <windows.h>

#include <cstdint>
#include <string>

#include "settings/settings.h"

RegistryValue ReadSetting(SettingsPlace place, const char16_t* name) {
  // A 32-bit program reads the 64-bit view through the flag; on 32-bit
  // Windows the flags are ignored and there is one view.
  const REGSAM view =
      place == SettingsPlace::kPolicy64 || place == SettingsPlace::kPackage64
          ? KEY_WOW64_64KEY
          : KEY_WOW64_32KEY;
  RegistryValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExW(
          HKEY_LOCAL_MACHINE,
          IsPolicy(place) ? L"SOFTWARE\\Policies\\tesmarinds"
                          : L"SOFTWARE\\tesmarinds",
          0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
    return value;
  }
  const auto* wide_name = reinterpret_cast<const wchar_t*>(name);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, wide_name, nullptr, &type, nullptr, &size) ==
      ERROR_SUCCESS) {
    value.kind = RegistryValue::kOther;
    // Room for a value stored without its terminator, and one more unit.
    std::u16string data(size / sizeof(char16_t) + 2, u'\0');
    size = static_cast<DWORD>(data.size() * sizeof(char16_t));
    if (RegQueryValueExW(key, wide_name, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS) {
      if (type == REG_SZ) {
        value.kind = RegistryValue::kText;
        // Stored with or without its terminator: the text ends at the first.
        data.resize(size / sizeof(char16_t));
        value.text = data.substr(0, data.find(u'\0'));
      } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        value.kind = RegistryValue::kNumber;
        value.number = static_cast<std::uint32_t>(data[0]) |
                       static_cast<std::uint32_t>(data[1]) << 16;
      }
    }
  }
  RegCloseKey(key);
  return value;
}
