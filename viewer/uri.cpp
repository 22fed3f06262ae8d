// Which link addresses we hand to the shell: web and mail only.
#include "viewer/links.h"

static const char* const ACCEPTED_PREFIXES[] = {"http://", "https://", "mailto:"};

// Compares letters without regard to case; only 'A'-'Z' are folded, so that
// control bytes never turn into ':' or '/'.
static bool startsWithPrefix(const char* uri, const char* prefix) {
  for (; *prefix; uri++, prefix++) {
    char c = *uri;
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != *prefix) return false;
  }
  return true;
}

bool isFollowableUri(const char* uri) {
  for (const char* prefix : ACCEPTED_PREFIXES)
    if (startsWithPrefix(uri, prefix)) return true;
  return false;
}
