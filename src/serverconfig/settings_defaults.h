// What a load of settings.cfg puts right in the record: defaults for fields
// left zero or empty, two corrections, and the normal form of address lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "serverconfig/fixed_record.h"

namespace serverconfig {

// Trimmed, every "," turned into ";" and every space removed.
std::string NormalizeList(std::string_view text);

// Values that a load takes out of the record or carries from the load before.
struct HeldSettings {
  uint16_t TakenOut = 0;           // the value at 22122, zeroed in the record
  uint32_t PreviousLoadValue = 0;  // default of the value at 22142
};

// Applies the numeric and text defaults, the corrections and the list forms.
// The creation date becomes `today` when zero; a defaulted groupware user gets
// a new random password.
void ApplySettingsDefaults(TFixedRecord& settings, HeldSettings& held, double today);

// A password of letters and digits for the groupware super-user.
std::string GeneratePassword(std::size_t length);

}  // namespace serverconfig
