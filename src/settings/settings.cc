#include "settings/settings.h"

#include <iterator>

namespace {

constexpr SettingsPlace kEveryPlace[] = {
    SettingsPlace::kPolicy64, SettingsPlace::kPolicy32,
    SettingsPlace::kPackage64, SettingsPlace::kPackage32};
constexpr SettingsPlace kPackagePlaces[] = {SettingsPlace::kPackage64,
                                            SettingsPlace::kPackage32};

template <std::size_t N>
FoundSetting FirstHolding(const SettingsPlace (&places)[N],
                          const char16_t* name) {
  FoundSetting found;
  for (SettingsPlace place : places) {
    found.value = ReadSetting(place, name);
    found.place = place;
    if (found.value.kind != RegistryValue::kAbsent) {
      return found;
    }
  }
  return found;
}

}  // namespace

FoundSetting FindSetting(const char16_t* name) {
  return FirstHolding(kEveryPlace, name);
}

FoundSetting FindPackageSetting(const char16_t* name) {
  return FirstHolding(kPackagePlaces, name);
}

bool IsPolicy(SettingsPlace place) {
  return place == SettingsPlace::kPolicy64 ||
         place == SettingsPlace::kPolicy32;
}

const char* KeyOf(SettingsPlace place) {
  return IsPolicy(place) ? "HKLM\\SOFTWARE\\Policies\\tesmarinds"
                         : "HKLM\\SOFTWARE\\tesmarinds";
}

bool IsKeepDays(const RegistryValue& value) {
  return value.kind == RegistryValue::kNumber && value.number <= kMostKeepDays;
}
