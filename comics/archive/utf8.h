// UTF-8 decoding with one policy for malformed bytes, shared by every reader of
// archive names (ZIP entries, RAR entries and paths).
#ifndef BRISA_COMICS_UTF8_H
#define BRISA_COMICS_UTF8_H
#include <stddef.h>
#include <stdint.h>

// Decodes one UTF-8 sequence (RFC 3629) at s, n > 0 bytes available; *used says how
// many bytes it took. A malformed sequence gives U+FFFD and ends before the first
// byte that cannot continue it, so the next call restarts there: one U+FFFD per
// maximal ill-formed subsequence.
static inline uint32_t decodeUtf8(const uint8_t* s, size_t n, size_t* used) {
  uint32_t lead = s[0];
  uint32_t follow, low = 0x80, high = 0xBF;
  *used = 1;
  if (lead < 0x80) return lead;
  if (lead >= 0xC2 && lead <= 0xDF)
    follow = 1;
  else if (lead >= 0xE0 && lead <= 0xEF)
    follow = 2;
  else if (lead >= 0xF0 && lead <= 0xF4)
    follow = 3;
  else
    return 0xFFFD;                 // continuation or invalid lead
  if (lead == 0xE0) low = 0xA0;    // overlong
  if (lead == 0xED) high = 0x9F;   // surrogates
  if (lead == 0xF0) low = 0x90;    // overlong
  if (lead == 0xF4) high = 0x8F;   // beyond U+10FFFF
  uint32_t codePoint = lead & (0x3F >> follow);
  for (uint32_t i = 1; i <= follow; i++) {
    uint32_t next = i < n ? s[i] : 0;
    if (i >= n || next < low || next > high) {
      *used = i;
      return 0xFFFD;
    }
    codePoint = codePoint << 6 | (next & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  *used = follow + 1;
  return codePoint;
}

#endif
