// The offer to open the system's default-apps page. A program cannot make
// itself the default PDF reader; only the user can, in Settings. So we ask at
// most once per run, only when an installer registered us (otherwise we would
// not be listed there), never while the About window is open, and never again
// after a No.
#include "about/about.h"

#include <shlwapi.h>

bool defaultPromptShown;

static const wchar_t CAPABILITIES_KEY[] = L"Software\\Brisa\\Capabilities";

// The name of the Settings page's parameter for where the registration lives,
// or null when there is none. Only the presence of a string value counts.
const wchar_t* registrationScope() {
  if (RegGetValueW(HKEY_CURRENT_USER, CAPABILITIES_KEY, L"ApplicationName", RRF_RT_REG_SZ, NULL, NULL, NULL) ==
      ERROR_SUCCESS)
    return L"registeredAppUser";
  if (RegGetValueW(HKEY_LOCAL_MACHINE, CAPABILITIES_KEY, L"ApplicationName", RRF_RT_REG_SZ, NULL, NULL, NULL) ==
      ERROR_SUCCESS)
    return L"registeredAppMachine";
  return NULL;
}

// True only when the system names this very executable for ".pdf"; any
// failure to find out counts as not being the default.
static bool isDefaultPdfReader() {
  typedef HRESULT(WINAPI * AssocQueryStringProc)(ASSOCF, ASSOCSTR, LPCWSTR, LPCWSTR, LPWSTR, DWORD*);
  wchar_t ownPath[MAX_PATH_UNITS], associated[MAX_PATH_UNITS];
  GetModuleFileNameW(NULL, ownPath, MAX_PATH_UNITS);
  AssocQueryStringProc query = (AssocQueryStringProc)loadProc("shlwapi", "AssocQueryStringW");
  if (!query) return false;
  DWORD capacity = MAX_PATH_UNITS;
  if (query(0, ASSOCSTR_EXECUTABLE, L".pdf", NULL, associated, &capacity) != S_OK) return false;
  return lstrcmpiW(ownPath, associated) == 0;
}

static const wchar_t QUESTION_FRENCH[] =
    L"Brisa n'est pas votre lecteur PDF par d\u00e9faut.\n\n"
    L"Windows ne laisse pas une application se d\u00e9signer elle-m\u00eame. Ouvrir la page de Brisa dans les "
    L"param\u00e8tres ? Il suffira d'y cliquer sur \u00ab .pdf \u00bb puis de choisir Brisa.\n\n"
    L"Non : ne plus demander. Le menu de la fen\u00eatre (clic droit sur la barre de titre) le propose toujours.";
static const wchar_t QUESTION_ENGLISH[] =
    L"Brisa is not your default PDF reader.\n\n"
    L"Windows does not let an application make itself the default. Open Brisa's page in Settings? "
    L"Just click \".pdf\" there and choose Brisa.\n\n"
    L"No: do not ask again. The window menu (right-click the title bar) still offers it.";

// Run when the frame receives WM_APP_ASK_DEFAULT: at start-up and each time
// the About window closes.
void checkDefaultReader() {
  if (defaultPromptShown || aboutWindow) return;   // the About window asks again when it closes
  if (readSetting(L"NeverAskDefault")) return;
  if (!registrationScope()) return;
  if (isDefaultPdfReader()) return;
  defaultPromptShown = true;   // before the box: its message loop may bring the request again
  int answer =
      MessageBoxW(frameWindow, pickText(QUESTION_FRENCH, QUESTION_ENGLISH), L"Brisa", MB_YESNO | MB_ICONQUESTION);
  if (answer == IDYES)
    openDefaultAppsSettings();
  else
    writeSetting(L"NeverAskDefault", 1);
}

// The default-apps page, at this application's entry when it is registered.
// A failure shows nothing; a Yes that opened nothing is asked again next run.
void openDefaultAppsSettings() {
  const wchar_t* scope = registrationScope();
  wchar_t target[80];
  if (scope)
    wsprintfW(target, L"ms-settings:defaultapps?%s=Brisa", scope);
  else
    lstrcpynW(target, L"ms-settings:defaultapps", 80);
  openInShell(frameWindow, NULL, target);
}
