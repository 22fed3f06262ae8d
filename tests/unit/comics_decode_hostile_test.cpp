// Damaged and hostile images: headers built field by field that claim huge sizes,
// real files cut short or overwritten, targets beyond the image budget and failed
// allocations. Each must fail cleanly: no crash, no hang, no leak (the sanitizer
// build checks the last two), and nothing written outside the target.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "comics/decode.h"
#include "comics/archive/memory.h"

namespace {

const char* const imageMagick = "/usr/bin/convert";

struct Bytes {
  std::string s;
  Bytes& u8(uint32_t v) {
    s += (char)v;
    return *this;
  }
  Bytes& le16(uint32_t v) {
    u8(v);
    u8(v >> 8);
    return *this;
  }
  Bytes& le32(uint32_t v) {
    le16(v);
    le16(v >> 16);
    return *this;
  }
  Bytes& be16(uint32_t v) {
    u8(v >> 8);
    u8(v);
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
  Bytes& zeros(size_t n) {
    s.append(n, '\0');
    return *this;
  }
};

// A BMP with a 40-byte info header and the given fields; pixel data follows at 54
// unless told otherwise.
std::string bmp(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression, const std::string& pixels,
                uint32_t pixelsAt = 54, uint32_t colours = 0) {
  return Bytes()
      .raw("BM")
      .le32(54 + (uint32_t)pixels.size())
      .le32(0)
      .le32(pixelsAt)
      .le32(40)
      .le32((uint32_t)width)
      .le32((uint32_t)height)
      .le16(1)
      .le16(bitCount)
      .le32(compression)
      .le32(0)
      .le32(2835)
      .le32(2835)
      .le32(colours)
      .le32(0)
      .raw(pixels)
      .s;
}

struct Result {
  bool ok;
  int32_t width, height;
};

// Decodes into a target of exactly the asked size; the guard bytes around it must
// stay untouched.
Result decodeInto(const std::string& bytes, int32_t width, int32_t height) {
  std::vector<uint8_t> buffer((size_t)width * height * 4 + 64, 0xA5);
  int32_t w = -1, h = -1;
  bool ok = decodeImage(createImagingFactory(WORKER_APARTMENT), (const uint8_t*)bytes.data(), bytes.size(), width,
                        height, buffer.data() + 32, &w, &h);
  for (size_t i = 0; i < 32; i++) {
    EXPECT_EQ(buffer[i], 0xA5) << "written before the target";
    EXPECT_EQ(buffer[buffer.size() - 1 - i], 0xA5) << "written after the target";
  }
  if (ok) {
    for (size_t i = 32 + 3; i < buffer.size() - 32; i += 4) {
      if (buffer[i] != 255) {
        ADD_FAILURE() << "alpha not 255 in a successful decode";
        break;
      }
    }
  }
  return Result{ok, w, h};
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(ComicsDecodeHostile, NothingToDecode) {
  ImagingFactory factory = createImagingFactory(UI_THREAD_APARTMENT);
  ASSERT_NE(factory, nullptr);
  std::string tiny = bmp(1, 1, 24, 0, std::string("\x10\x20\x30\0", 4));
  uint8_t pixel[4];
  EXPECT_TRUE(decodeImage(factory, (const uint8_t*)tiny.data(), tiny.size(), 1, 1, pixel, nullptr, nullptr));
  EXPECT_EQ(pixel[0], 0x10);
  EXPECT_EQ(pixel[2], 0x30);
  EXPECT_FALSE(decodeImage(nullptr, (const uint8_t*)tiny.data(), tiny.size(), 1, 1, pixel, nullptr, nullptr));
  EXPECT_FALSE(decodeImage(factory, nullptr, 10, 1, 1, pixel, nullptr, nullptr));
  EXPECT_FALSE(decodeImage(factory, (const uint8_t*)tiny.data(), 0, 1, 1, pixel, nullptr, nullptr));
  std::string unknown = "this is not an image at all";
  EXPECT_FALSE(decodeImage(factory, (const uint8_t*)unknown.data(), unknown.size(), 1, 1, pixel, nullptr, nullptr));
  EXPECT_TRUE(decodeInto(tiny, 1, 1).ok);
  EXPECT_FALSE(decodeImage(factory, (const uint8_t*)tiny.data(), tiny.size(), 0, 1, pixel, nullptr, nullptr));
  EXPECT_FALSE(decodeImage(factory, (const uint8_t*)tiny.data(), tiny.size(), 1, -1, pixel, nullptr, nullptr));
}

TEST(ComicsDecodeHostile, TargetsBeyondTheBudgetFailWithoutBeingWritten) {
  // 65536 x 65536 x 4 bytes is 0 in 32-bit arithmetic: a check in int32_t would
  // let the decoder write 16 GiB into a 4-byte buffer.
  std::string tiny = bmp(2, 1, 24, 0, std::string(8, '\x40'));
  uint8_t guard[64];
  memset(guard, 0xA5, sizeof guard);
  int32_t w = 0, h = 0;
  ImagingFactory factory = createImagingFactory(UI_THREAD_APARTMENT);
  EXPECT_FALSE(decodeImage(factory, (const uint8_t*)tiny.data(), tiny.size(), 65536, 65536, guard, &w, &h));
  EXPECT_EQ(w, 2) << "the size is still reported";
  EXPECT_EQ(h, 1);
  EXPECT_FALSE(decodeImage(factory, (const uint8_t*)tiny.data(), tiny.size(), 8193, 8192, guard, &w, &h));
  for (uint8_t b : guard) ASSERT_EQ(b, 0xA5);
  // Exactly the budget is allowed (8192 x 8192 x 4 = 256 MiB).
  EXPECT_EQ(imagePixelBytes(8192, 8192), IMAGE_BUDGET_BYTES);
}

TEST(ComicsDecodeHostile, BmpHeadersClaimingTooMuch) {
  const std::string row(8, '\x7F');
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"2,000,000,000 wide", bmp(2000000000, 1, 24, 0, row)},
      {"2,000,000,000 high", bmp(1, 2000000000, 24, 0, row)},
      {"height INT_MIN", bmp(1, INT_MIN, 24, 0, row)},
      {"negative width", bmp(-4, 1, 24, 0, row)},
      {"zero height", bmp(4, 0, 24, 0, row)},
      {"pixels past the end", bmp(1, 1, 24, 0, row, 0xFFFFFFF0u)},
      {"rows cut short", bmp(100, 100, 24, 0, row)},
      {"bit count 0", bmp(1, 1, 0, 0, row)},
      {"bit count 7", bmp(1, 1, 7, 0, row)},
      {"JPEG inside", bmp(1, 1, 24, 4, row)},
      {"RLE8 top-down", bmp(1, -1, 8, 1, row)},
      {"RLE4 at 8 bits", bmp(1, 1, 8, 2, row)},
      {"palette past the end", bmp(1, 1, 8, 0, row, 54, 256)},
      {"bit fields past the end", Bytes().raw(bmp(1, 1, 32, 3, "")).s},
      {"header size huge", Bytes().raw("BM").le32(0).le32(0).le32(54).le32(0xFFFFFFF0u).zeros(40).s},
      {"header size 20", Bytes().raw("BM").le32(0).le32(0).le32(54).le32(20).zeros(40).s},
  };
  for (const Case& c : cases) {
    Result r = decodeInto(c.bytes, 4, 4);
    EXPECT_FALSE(r.ok) << c.what;
  }
}

TEST(ComicsDecodeHostile, GifFrameOutsideTheScreenLeavesItBlank) {
  std::string gif = Bytes()
                        .raw("GIF89a")
                        .le16(4)
                        .le16(4)
                        .u8(0x80)
                        .u8(0)
                        .u8(0)
                        .zeros(6)
                        .u8(0x2C)
                        .le16(60000)
                        .le16(60000)
                        .le16(1)
                        .le16(1)
                        .u8(0)
                        .u8(2)
                        .u8(2)
                        .u8(0x4C)
                        .u8(1)
                        .u8(0)
                        .u8(0x3B)
                        .s;
  std::vector<uint8_t> pixels(2 * 2 * 4, 0);
  ASSERT_TRUE(decodeImage(createImagingFactory(0), (const uint8_t*)gif.data(), gif.size(), 2, 2, pixels.data(), nullptr,
                          nullptr));
  for (uint8_t b : pixels) EXPECT_EQ(b, 255);
}

TEST(ComicsDecodeHostile, RleCodesThatRunOffTheImage) {
  // A 4 x 2 RLE8 image: runs longer than the row, deltas far past the end, an
  // absolute run past the data, and no end code. Out-of-image pixels are dropped,
  // skipped ones stay transparent (white).
  std::string palette = Bytes().le32(0x000000FF).le32(0x0000FF00).s;   // 0 blue, 1 green
  std::string codes = Bytes().u8(200).u8(1).u8(0).u8(2).u8(250).u8(250).u8(0).u8(9).u8(1).s;
  std::string file = bmp(4, 2, 8, 1, palette + codes, 54 + 8, 2);
  std::vector<uint8_t> pixels(4 * 2 * 4);
  ASSERT_TRUE(decodeImage(createImagingFactory(0), (const uint8_t*)file.data(), file.size(), 4, 2, pixels.data(),
                          nullptr, nullptr));
  EXPECT_EQ(pixels[(4 + 0) * 4 + 1], 255) << "bottom row: the run of green";
  EXPECT_EQ(pixels[(4 + 0) * 4 + 0], 0);
  EXPECT_EQ(pixels[0], 255) << "top row: skipped, white";
  EXPECT_EQ(pixels[1], 255);

  // Eight bytes of codes claiming 2,800,000 rows: the rows no code wrote are
  // passed over, not averaged pixel by pixel.
  std::string tall = bmp(12, 2800000, 8, 1, palette + Bytes().u8(12).u8(1).u8(0).u8(1).s, 54 + 8, 2);
  auto started = std::chrono::steady_clock::now();
  std::vector<uint8_t> small(3 * 4 * 4);
  EXPECT_TRUE(decodeImage(createImagingFactory(0), (const uint8_t*)tall.data(), tall.size(), 3, 4, small.data(),
                          nullptr, nullptr));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 5.0);
}

TEST(ComicsDecodeHostile, OtherHeadersClaimingHugeImages) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string ihdr = Bytes().raw("IHDR").be32(0x7FFFFFFF).be32(1).raw(std::string("\x08\x06\0\0\0", 5)).s;
  const Case cases[] = {
      {"PNG 2^31-1 wide without data",
       Bytes().raw("\x89PNG\r\n\x1A\n").be32(13).raw(ihdr).be32(0).be32(0).raw("IEND").be32(0).s},
      {"GIF screen 65535 x 65535 with a 1 x 1 frame", Bytes()
                                                          .raw("GIF89a")
                                                          .le16(65535)
                                                          .le16(65535)
                                                          .u8(0x80)
                                                          .u8(0)
                                                          .u8(0)
                                                          .zeros(6)
                                                          .u8(0x2C)
                                                          .le16(0)
                                                          .le16(0)
                                                          .le16(1)
                                                          .le16(1)
                                                          .u8(0)
                                                          .u8(2)
                                                          .u8(2)
                                                          .u8(0x4C)
                                                          .u8(1)
                                                          .u8(0)
                                                          .u8(0x3B)
                                                          .s},
      {"JPEG 65500 x 65500 with no scan", Bytes()
                                              .raw("\xFF\xD8\xFF\xC0")
                                              .be16(11)
                                              .u8(8)
                                              .be16(65500)
                                              .be16(65500)
                                              .u8(1)
                                              .u8(1)
                                              .u8(0x11)
                                              .u8(0)
                                              .raw("\xFF\xD9")
                                              .s},
      {"TIFF 4,294,967,295 wide", Bytes()
                                      .raw("II*\0")
                                      .le32(8)
                                      .le16(3)
                                      .le16(256)
                                      .le16(4)
                                      .le32(1)
                                      .le32(0xFFFFFFFFu)
                                      .le16(257)
                                      .le16(4)
                                      .le32(1)
                                      .le32(1)
                                      .le16(258)
                                      .le16(3)
                                      .le32(1)
                                      .le32(8)
                                      .le32(0)
                                      .s},
      {"WebP VP8X 16384 x 16384 and nothing else",
       Bytes().raw("RIFF").le32(22).raw("WEBPVP8X").le32(10).le32(0).le16(0x3FFF).u8(0).le16(0x3FFF).u8(0).s},
      {"JPEG XR header only", Bytes().raw("II\xBC\x01").le32(8).le16(0).s},
      {"AVIF brand only", Bytes().be32(16).raw("ftypavif").le32(0).s},
      {"HEIF brand only", Bytes().be32(16).raw("ftypheic").le32(0).s},
  };
  for (const Case& c : cases) {
    auto started = std::chrono::steady_clock::now();
    Result r = decodeInto(c.bytes, 8, 8);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_FALSE(r.ok) << c.what;
    EXPECT_LT(seconds, 5.0) << c.what;
  }
}

// Real files of every family made by ImageMagick (and the codecs' encoders), then
// cut short at many lengths and overwritten in the middle.
class ComicsDecodeDamaged : public testing::Test {
 protected:
  static std::string dir;
  static std::vector<std::string> files;

  static void SetUpTestSuite() {
    dir = testing::TempDir() + "comics_decode_damaged_" + std::to_string(getpid()) + "/";
    std::string c = imageMagick;
    std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "' && cd '" + dir + "' && " + c +
                          " -size 96x64 gradient:navy-orange -swirl 90 ref.png && " + c +
                          " ref.png -quality 90 a.jpg && " + c + " ref.png -interlace Plane p.jpg && " + c +
                          " ref.png a.png && " + c + " ref.png -interlace PNG i.png && " + c + " ref.png a.gif && " +
                          c + " ref.png BMP3:a.bmp && " + c + " ref.png -colors 200 -compress RLE BMP3:r.bmp && " + c +
                          " ref.png a.webp && " + c + " ref.png -define webp:lossless=true l.webp && " + c +
                          " ref.png -compress LZW a.tif && " + "avifenc ref.png a.avif && " + c +
                          " ref.png -type TrueColor PNG24:h.png && " + "heif-enc h.png -o a.heic && " + c +
                          " ref.png -type TrueColor BMP3:x.bmp && " + "JxrEncApp -i x.bmp -o a.jxr -c 0 -q 0.8";
    if (system((command + " >/dev/null 2>&1").c_str()) != 0) return;
    for (const char* f : {"a.jpg", "p.jpg", "a.png", "i.png", "a.gif", "a.bmp", "r.bmp", "a.webp", "l.webp", "a.tif",
                          "a.avif", "a.heic", "a.jxr"}) {
      files.push_back(f);
    }
  }
  static void TearDownTestSuite() {
    (void)!system(("rm -rf '" + dir + "'").c_str());
  }

  void SetUp() override {
    if (files.empty()) GTEST_SKIP() << "could not make the images (ImageMagick or an encoder missing)";
  }
};
std::string ComicsDecodeDamaged::dir;
std::vector<std::string> ComicsDecodeDamaged::files;

TEST_F(ComicsDecodeDamaged, CutShortAnywhere) {
  for (const std::string& f : files) {
    std::string whole = readFile(dir + f);
    ASSERT_GT(whole.size(), 100u) << f;
    ASSERT_TRUE(decodeInto(whole, 48, 32).ok) << f << " whole";
    for (size_t length : {(size_t)1, (size_t)4, (size_t)12, (size_t)30, (size_t)64, whole.size() / 3, whole.size() / 2,
                          whole.size() * 3 / 4, whole.size() - 20}) {
      std::string cut = whole.substr(0, length);
      Result scaled = decodeInto(cut, 48, 32);
      Result same = decodeInto(cut, 96, 64);
      if (length <= whole.size() / 2) {
        EXPECT_FALSE(scaled.ok) << f << " cut to " << length;
        EXPECT_FALSE(same.ok) << f << " cut to " << length;
      }
    }
  }
}

TEST_F(ComicsDecodeDamaged, OverwrittenInTheMiddle) {
  // Outcome free (some codecs show damaged data as it comes), but no crash and a
  // fully written target when they succeed.
  for (const std::string& f : files) {
    std::string whole = readFile(dir + f);
    uint32_t seed = 12345;
    for (int trial = 0; trial < 12; trial++) {
      std::string damaged = whole;
      size_t from = damaged.size() / 8 + (size_t)trial * damaged.size() / 16;
      for (size_t i = from; i < from + 24 && i < damaged.size(); i++) {
        seed = seed * 1103515245 + 12345;
        damaged[i] = (char)(seed >> 16);
      }
      decodeInto(damaged, 24, 16);
      decodeInto(damaged, 200, 100);
    }
  }
}

TEST_F(ComicsDecodeDamaged, FailedAllocationsLeaveNothingBehind) {
  // The sanitizer build reports a leak if any path forgets what it took.
  for (const std::string& f : files) {
    std::string whole = readFile(dir + f);
    for (int n = 0; n < 6; n++) {
      failNthAllocation(n);
      Result r = decodeInto(whole, 40, 30);
      failNthAllocation(-1);
      // Every codec but still WebP (decoded straight into the target) takes
      // a buffer of its own first.
      if (n == 0 && f.find(".webp") == std::string::npos) {
        EXPECT_FALSE(r.ok) << f;
      }
    }
    EXPECT_TRUE(decodeInto(whole, 40, 30).ok) << f << " after the failures";
  }
}

// A JPEG cut short by a few per cent shows what arrived, the missing blocks grey;
// the same bytes under a header claiming 8000 x 8000 are a few rows of a huge
// image, and fail at once rather than decoding the rest as grey.
TEST_F(ComicsDecodeDamaged, JpegCutByAFewPerCentShowsWhatArrived) {
  for (const char* f : {"a.jpg", "p.jpg"}) {
    std::string whole = readFile(dir + f);
    std::vector<uint8_t> intact(96 * 64 * 4), cut(96 * 64 * 4);
    ImagingFactory factory = createImagingFactory(WORKER_APARTMENT);
    ASSERT_TRUE(
        decodeImage(factory, (const uint8_t*)whole.data(), whole.size(), 96, 64, intact.data(), nullptr, nullptr));
    std::string shortened = whole.substr(0, whole.size() * 95 / 100);
    ASSERT_TRUE(
        decodeImage(factory, (const uint8_t*)shortened.data(), shortened.size(), 96, 64, cut.data(), nullptr, nullptr))
        << f;
    long difference = 0;
    for (size_t i = 0; i < 96 * 16 * 4; i++) difference += abs((int)intact[i] - (int)cut[i]);
    EXPECT_LT(difference / (96 * 16 * 3), 4) << f << ": the top rows are the image's";
    const uint8_t* corner = &cut[(64 * 96 - 1) * 4];
    const uint8_t* intactCorner = &intact[(64 * 96 - 1) * 4];
    if (std::string(f) == "a.jpg") {
      for (int c = 0; c < 3; c++) EXPECT_NEAR(corner[c], 128, 8) << "the missing corner is grey";
      EXPECT_GT(abs(intactCorner[0] - 128) + abs(intactCorner[2] - 128), 60);
    }

    std::string huge = shortened;
    size_t frame = huge.find("\xFF\xC0");
    if (frame == std::string::npos) frame = huge.find("\xFF\xC2");
    ASSERT_NE(frame, std::string::npos) << f;
    huge[frame + 5] = huge[frame + 7] = (char)0x1F;   // height and width 8000 (0x1F40)
    huge[frame + 6] = huge[frame + 8] = (char)0x40;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(decodeInto(huge, 96, 64).ok) << f << " claiming 8000 x 8000";
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 1.0) << f;
  }
}

}   // namespace
