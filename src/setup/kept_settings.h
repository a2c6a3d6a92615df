// Which of the settings the installed version wrote an upgrade takes over,
// from the value settings/settings.h found at the package's place: the
// value there belongs to the package while its feature is installed, so
// one an administrator changed there is the package's setting too. Apart
// from the platform, so the rules run natively.
#pragma once

#include <string>

#include "settings/settings.h"

namespace setup {

struct KeptSetting {
  bool kept = false;
  std::u16string property;  // the property's value when kept
  std::string why;          // why not, for the install's log
};

// Term, kept only as text that is not empty and that TERM's own rules
// take (no % and no \).
KeptSetting KeptTerm(const RegistryValue& found);
// KeepDays, kept only as a REG_DWORD from 0 to 3650 (IsKeepDays).
KeptSetting KeptKeepDays(const RegistryValue& found);

}  // namespace setup
