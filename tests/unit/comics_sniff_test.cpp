// Image size sniffers on headers written field by field, and on real images made
// by ImageMagick at test time.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "comics/archive/sniff.h"

namespace {

struct Bytes {
  std::string s;
  Bytes& le16(uint32_t v) {
    s += (char)v;
    s += (char)(v >> 8);
    return *this;
  }
  Bytes& le24(uint32_t v) {
    le16(v);
    s += (char)(v >> 16);
    return *this;
  }
  Bytes& le32(uint32_t v) {
    le16(v);
    le16(v >> 16);
    return *this;
  }
  Bytes& be16(uint32_t v) {
    s += (char)(v >> 8);
    s += (char)v;
    return *this;
  }
  Bytes& be32(uint32_t v) {
    be16(v >> 16);
    be16(v);
    return *this;
  }
  Bytes& raw(const std::string& bytes) {
    s += bytes;
    return *this;
  }
};

std::string png(uint32_t w, uint32_t h) {
  return Bytes().raw("\x89PNG\r\n\x1A\n").be32(13).raw("IHDR").be32(w).be32(h).raw(std::string("\x08\x06\0\0\0", 5)).s;
}
std::string gif(uint32_t w, uint32_t h) {
  return Bytes().raw("GIF89a").le16(w).le16(h).s;
}
std::string bmp(int32_t w, int32_t h) {
  return Bytes().raw("BM").le32(9999).le32(0).le32(54).le32(40).le32(w).le32(h).le16(1).s;
}
std::string riff(const std::string& chunk, const std::string& payload) {
  std::string body = payload + std::string(payload.size() < 10 ? 10 - payload.size() : 0, '\0');
  return Bytes().raw("RIFF").le32(4 + 8 + body.size()).raw("WEBP").raw(chunk).le32(body.size()).raw(body).s;
}
std::string vp8x(uint32_t w, uint32_t h) {
  return riff("VP8X", Bytes().raw(std::string(4, '\0')).le24(w - 1).le24(h - 1).s);
}
std::string vp8l(uint32_t w, uint32_t h, char signature = 0x2F) {
  return riff("VP8L", Bytes().raw(std::string(1, signature)).le32((w - 1) | (h - 1) << 14).s);
}
std::string vp8(uint32_t w, uint32_t h) {
  return riff("VP8 ", Bytes().raw(std::string("\x10\x02\x00", 3)).raw("\x9D\x01\x2A").le16(w).le16(h).s);
}
// A JPEG segment: marker and, unless it has none, its length and payload.
std::string segment(uint8_t marker, const std::string& payload) {
  return Bytes().raw(std::string("\xFF", 1) + (char)marker).be16(payload.size() + 2).raw(payload).s;
}
std::string frame(uint8_t marker, uint32_t w, uint32_t h) {
  return segment(marker, Bytes().raw("\x08").be16(h).be16(w).raw(std::string("\x03\x01\x22\0", 4)).s);
}
const std::string soi("\xFF\xD8", 2);

struct Case {
  const char* what;
  std::string bytes;
  int32_t width, height;   // 0: not sniffed
};

void check(const Case& c) {
  int32_t w = -7, h = -7;
  bool found = sniffImageSize((const uint8_t*)c.bytes.data(), c.bytes.size(), &w, &h);
  EXPECT_EQ(found, c.width != 0) << c.what;
  if (found && c.width != 0) {
    EXPECT_EQ(w, c.width) << c.what;
    EXPECT_EQ(h, c.height) << c.what;
  }
}

TEST(ComicsSniff, PngGifAndBmpHeaders) {
  const Case cases[] = {
      {"png", png(640, 480), 640, 480},
      {"png zero width", png(0, 10), 0, 0},
      {"png negative as signed", png(0x80000000u, 10), 0, 0},
      {"png wider than 65535", png(70000, 10), 0, 0},
      {"png 65535 square", png(65535, 65535), 65535, 65535},
      {"png cut before its height", png(640, 480).substr(0, 23), 0, 0},
      {"gif", gif(320, 200), 320, 200},
      {"gif zero height", gif(5, 0), 0, 0},
      {"gif cut", gif(320, 200).substr(0, 9), 0, 0},
      {"bmp top-down", bmp(800, -600), 800, 600},
      {"bmp bottom-up", bmp(800, 600), 800, 600},
      {"bmp height INT_MIN", bmp(800, INT_MIN), 0, 0},
      {"bmp negative width", bmp(-5, 5), 0, 0},
      {"bmp taller than 65535", bmp(5, -65536), 0, 0},
      {"bmp cut", bmp(8, 8).substr(0, 25), 0, 0},
      {"nothing known", "II*\0 TIFF and more bytes", 0, 0},
      {"empty", "", 0, 0},
  };
  for (const Case& c : cases) check(c);
}

TEST(ComicsSniff, WebpChunks) {
  const Case cases[] = {
      {"vp8x", vp8x(3000, 2000), 3000, 2000},
      {"vp8x smallest", vp8x(1, 1), 1, 1},
      {"vp8x largest canvas", vp8x(1u << 24, 5), 0, 0},
      {"vp8x 65536 high", vp8x(5, 65536), 0, 0},
      {"vp8l", vp8l(1024, 768), 1024, 768},
      {"vp8l largest", vp8l(16384, 16384), 16384, 16384},
      {"vp8l without 0x2F", vp8l(1024, 768, 0x2E), 0, 0},
      {"vp8", vp8(400, 300), 400, 300},
      {"vp8 scale bits ignored", vp8(0xC000 | 400, 0x4000 | 300), 400, 300},
      {"vp8 zero width", vp8(0, 300), 0, 0},
      {"vp8 without start code", riff("VP8 ", std::string(12, '\x01')), 0, 0},
      {"other first chunk", riff("ALPH", std::string(12, '\0')), 0, 0},
      {"riff but not webp", Bytes().raw("RIFF1234AVI LIST").raw(std::string(20, '\0')).s, 0, 0},
      {"vp8x cut", vp8x(30, 20).substr(0, 29), 0, 0},
  };
  for (const Case& c : cases) check(c);
}

TEST(ComicsSniff, JpegMarkerWalk) {
  std::string app1 = segment(0xE1, std::string(40000, 'x'));
  const Case cases[] = {
      {"baseline", soi + segment(0xE0, "JFIF\0") + frame(0xC0, 1600, 2400), 1600, 2400},
      {"after a 40 KB APP1", soi + app1 + frame(0xC1, 7, 9), 7, 9},
      {"progressive", soi + frame(0xC2, 31, 17), 31, 17},
      {"huffman table, JPG and DAC skipped",
       soi + segment(0xC4, std::string(30, '\0')) + segment(0xC8, "ab") + segment(0xCC, "ab") + frame(0xCF, 5, 6), 5,
       6},
      {"fill bytes, restart markers, TEM and stray bytes",
       soi + std::string("\xFF\xFF\xFF\xD0\xFF\x01\x00\x42", 8) + frame(0xC0, 8, 4), 8, 4},
      {"zero width", soi + frame(0xC0, 0, 4), 0, 0},
      {"frame cut short", (soi + frame(0xC0, 8, 4)).substr(0, 11), 0, 0},
      {"only fill bytes", soi + std::string(100, '\xFF'), 0, 0},
      {"segment length zero", soi + std::string("\xFF\xE0\x00\x00", 4) + frame(0xC0, 3, 3), 3, 3},
      {"segment leaps past the end", soi + std::string("\xFF\xE0\xFF\xFF", 4) + frame(0xC0, 3, 3), 0, 0},
  };
  for (const Case& c : cases) check(c);
  // A frame beyond the first 64 KiB is not seen in the prefix the size pass reads.
  std::string late =
      soi + segment(0xE1, std::string(65000, 'x')) + segment(0xE2, std::string(600, 'y')) + frame(0xC0, 10, 10);
  int32_t w, h;
  EXPECT_FALSE(sniffImageSize((const uint8_t*)late.data(), 65536, &w, &h));
  EXPECT_TRUE(sniffImageSize((const uint8_t*)late.data(), late.size(), &w, &h));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ComicsSniffReference, ImagesMadeByImageMagick) {
  const char* convert = "/usr/bin/convert";
  if (system((std::string("test -x ") + convert).c_str()) != 0) GTEST_SKIP() << "no ImageMagick";
  std::string dir = testing::TempDir() + "comics_sniff_reference_" + std::to_string(getpid()) + "/";
  ASSERT_EQ(system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
  struct Made {
    const char* file;
    const char* options;
    int32_t width, height;
    const char* magic;
  };
  const Made images[] = {
      {"a.png", "", 37, 23, "\x89PNG"},
      {"a.gif", "", 1001, 3, "GIF8"},
      {"a.bmp", "", 5, 700, "BM"},
      {"a.jpg", "-quality 80", 333, 222, "\xFF\xD8"},
      {"p.jpg", "-interlace Plane", 64, 48, "\xFF\xD8"},
      {"x.jpg", "-set comment COMMENT", 12, 34, "\xFF\xD8"},   // a 20 KB COM segment
      {"lossy.webp", "", 121, 45, "RIFF"},
      {"lossless.webp", "-define webp:lossless=true", 300, 17, "RIFF"},
      {"alpha.webp", "-alpha set -channel A -evaluate set 50% +channel", 80, 60, "RIFF"},
  };
  for (const Made& m : images) {
    std::string options = m.options;
    size_t at = options.find("COMMENT");
    if (at != std::string::npos) options.replace(at, 7, std::string(20000, 'c'));
    std::string command = std::string(convert) + " -size " + std::to_string(m.width) + "x" + std::to_string(m.height) +
                          " gradient:navy-orange " + options + " '" + dir + m.file + "' 2>/dev/null";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    std::string bytes = readFile(dir + m.file);
    ASSERT_EQ(bytes.compare(0, strlen(m.magic), m.magic), 0) << m.file;
    if (at != std::string::npos) {
      ASSERT_GT(bytes.size(), 20000u);
    }
    int32_t w = 0, h = 0;
    EXPECT_TRUE(sniffImageSize((const uint8_t*)bytes.data(), bytes.size(), &w, &h)) << m.file;
    EXPECT_EQ(w, m.width) << m.file;
    EXPECT_EQ(h, m.height) << m.file;
  }
  EXPECT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
}

}   // namespace
