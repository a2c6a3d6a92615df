#include "setup/kept_settings.h"

namespace setup {

KeptSetting KeptTerm(const RegistryValue& found) {
  KeptSetting kept;
  if (found.kind == RegistryValue::kAbsent) {
    kept.why = "there is none";
  } else if (found.kind != RegistryValue::kText) {
    kept.why = "it is not text (REG_SZ)";
  } else if (found.text.empty()) {
    kept.why = "it is empty";
  } else if (found.text.find_first_of(u"%\\") != std::u16string::npos) {
    kept.why = "it holds % or \\, which TERM may not";
  } else {
    kept.kept = true;
    kept.property = found.text;
  }
  return kept;
}

KeptSetting KeptKeepDays(const RegistryValue& found) {
  KeptSetting kept;
  if (found.kind == RegistryValue::kAbsent) {
    kept.why = "there is none";
  } else if (!IsKeepDays(found)) {
    kept.why = "it is not a REG_DWORD from 0 to 3650";
  } else {
    kept.kept = true;
    const std::string digits = std::to_string(found.number);
    kept.property.assign(digits.begin(), digits.end());
  }
  return kept;
}

}  // namespace setup
