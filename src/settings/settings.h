// The settings an administrator gives every PC, where both the task's
// runner and the package read them: a policy's (Group Policy, Intune) under
// HKLM\SOFTWARE\Policies\tesmarinds, else the package's under
// HKLM\SOFTWARE\tesmarinds, each in the 64-bit registry view and then the
// 32-bit one. src/win/settings_win32.cc reads the registry; the rules that
// decide which value counts are here, apart from it, so that the runner
// and the package decide alike and the tests run them natively.
#pragma once

#include <cstdint>
#include <string>

// On 32-bit Windows both views of a place are the one view.
enum class SettingsPlace { kPolicy64, kPolicy32, kPackage64, kPackage32 };
struct RegistryValue {
  enum Kind { kAbsent, kText, kNumber, kOther } kind = kAbsent;
  std::u16string text;       // kText: REG_SZ, up to its first NUL
  std::uint32_t number = 0;  // kNumber: REG_DWORD
};
// The value name under the place's key, whatever its size; kAbsent when
// the key or the value is not there.
RegistryValue ReadSetting(SettingsPlace place, const char16_t* name);

// Where a value was found: the first place in the order searched that holds
// it decides, whatever its type, so that a value set by policy is never
// passed over for an older one beneath it, nor one view's for the other's.
struct FoundSetting {
  RegistryValue value;
  SettingsPlace place = SettingsPlace::kPackage32;
};
// Policy first, then the package's: what the runner reads.
FoundSetting FindSetting(const char16_t* name);
// The package's own place alone: what an upgrade keeps.
FoundSetting FindPackageSetting(const char16_t* name);

// The key a place names, as administrators write it.
const char* KeyOf(SettingsPlace place);
bool IsPolicy(SettingsPlace place);

// KeepDays counts only as a REG_DWORD from 0 (every copy kept) to 3650,
// the range the package, the template and the guide give; false for any
// other value or type.
constexpr std::uint32_t kMostKeepDays = 3650;
bool IsKeepDays(const RegistryValue& value);
