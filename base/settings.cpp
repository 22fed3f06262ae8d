// Preferences: DWORD values under HKCU\Software\Brisa, read when needed and
// written when they change. An unreadable value counts as 0, the default.
#include "base/base.h"

static const wchar_t SETTINGS_KEY[] = L"Software\\Brisa";

// 0 unless the value exists and is a DWORD: a failed read must not leave bytes
// of a value of another type behind.
DWORD readSetting(const wchar_t* name) {
  DWORD data = 0, size = sizeof(data);
  if (RegGetValueW(HKEY_CURRENT_USER, SETTINGS_KEY, name, RRF_RT_REG_DWORD, NULL, &data, &size) != ERROR_SUCCESS)
    return 0;
  return data;
}

// Creates the key when needed; a failed write only means the choice is not kept.
void writeSetting(const wchar_t* name, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, name, REG_DWORD, &value, sizeof(value));
}

// French for every French variant (France, Canada, Belgium, Switzerland...).
UiLanguageKind chooseUiLanguage() {
  return (GetUserDefaultUILanguage() & 0x3FF) == LANG_FRENCH ? UI_FRENCH : UI_ENGLISH;
}
