// Every image type a comic page may be decodes, at its own size, smaller and
// larger, with the right colours in the right places. The images are made at test
// time by Debian's ImageMagick and, where it writes no such file, by the codec
// packages' own encoders (avifenc, heif-enc, JxrEncApp).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "comics/decode.h"
#include "comics/codecs/scale.h"

namespace {

const char* const imageMagick = "/usr/bin/convert";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Colour {
  int b, g, r;
};

const Colour red = {0, 0, 255}, green = {0, 255, 0}, blue = {255, 0, 0}, white = {255, 255, 255};

// The reference page: 64 x 48, red, green / blue, white quadrants.
const int32_t pageWidth = 64, pageHeight = 48;

// A folder of images made once for the whole suite.
class ComicsDecodeFormats : public testing::Test {
 protected:
  static std::string dir;
  static bool haveTools;

  static void SetUpTestSuite() {
    dir = testing::TempDir() + "comics_decode_formats_" + std::to_string(getpid()) + "/";
    haveTools = system((std::string("test -x ") + imageMagick).c_str()) == 0 &&
                system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()) == 0 &&
                make(std::string(imageMagick) +
                     " -size 32x24 xc:'#FF0000' xc:'#00FF00' +append"
                     " \\( -size 32x24 xc:'#0000FF' xc:'#FFFFFF' +append \\) -append ref.png");
  }
  static void TearDownTestSuite() {
    (void)!system(("rm -rf '" + dir + "'").c_str());
  }

  // Runs a shell command in the folder; true when it succeeded.
  static bool make(const std::string& command) {
    return system(("cd '" + dir + "' && " + command + " >/dev/null 2>&1").c_str()) == 0;
  }

  void SetUp() override {
    if (!haveTools) GTEST_SKIP() << "no ImageMagick at " << imageMagick;
  }

  std::string bytesOf(const std::string& file) {
    return readFile(dir + file);
  }
};
std::string ComicsDecodeFormats::dir;
bool ComicsDecodeFormats::haveTools;

struct Decoded {
  bool ok = false;
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;

  const uint8_t* at(int x, int y) const {
    return &pixels[((size_t)y * width + x) * 4];
  }
};

// Decodes the bytes at the given target size (0 x 0: size only).
Decoded decode(const std::string& bytes, int32_t width, int32_t height) {
  Decoded out;
  ImagingFactory factory = createImagingFactory(UI_THREAD_APARTMENT);
  int32_t imageWidth = -1, imageHeight = -1;
  if (width > 0) out.pixels.assign((size_t)width * height * 4, 0x5A);
  out.ok = decodeImage(factory, (const uint8_t*)bytes.data(), bytes.size(), width, height,
                       width > 0 ? out.pixels.data() : nullptr, &imageWidth, &imageHeight);
  out.width = width > 0 ? width : imageWidth;
  out.height = width > 0 ? height : imageHeight;
  return out;
}

testing::AssertionResult near(const uint8_t* pixel, Colour expected, int tolerance) {
  int got[3] = {pixel[0], pixel[1], pixel[2]};
  int want[3] = {expected.b, expected.g, expected.r};
  for (int c = 0; c < 3; c++) {
    if (abs(got[c] - want[c]) > tolerance || pixel[3] != 255) {
      return testing::AssertionFailure() << "BGRA " << got[0] << "," << got[1] << "," << got[2] << "," << (int)pixel[3]
                                         << " instead of " << want[0] << "," << want[1] << "," << want[2] << ",255";
    }
  }
  return testing::AssertionSuccess();
}

// Checks the four quadrant centres of a decoded reference page.
void expectQuadrants(const Decoded& d, int tolerance, const std::string& what) {
  ASSERT_TRUE(d.ok) << what;
  int x0 = d.width / 4, x1 = d.width * 3 / 4, y0 = d.height / 4, y1 = d.height * 3 / 4;
  EXPECT_TRUE(near(d.at(x0, y0), red, tolerance)) << what << " top left";
  EXPECT_TRUE(near(d.at(x1, y0), green, tolerance)) << what << " top right";
  EXPECT_TRUE(near(d.at(x0, y1), blue, tolerance)) << what << " bottom left";
  EXPECT_TRUE(near(d.at(x1, y1), white, tolerance)) << what << " bottom right";
  for (size_t i = 3; i < d.pixels.size(); i += 4) {
    if (d.pixels[i] != 255) {
      ADD_FAILURE() << what << ": alpha " << (int)d.pixels[i] << " at byte " << i;
      break;
    }
  }
}

struct Sample {
  const char* file;
  const char* command;   // made from ref.png in the folder
  int tolerance;         // per channel: 0 for lossless codecs
};

// One file per extension a page may have, and then the variants each codec reads
// differently (progressive, interlaced, 16-bit, palettes, RLE, tiles, CMYK…).
const Sample samples[] = {
    {"a.jpg", "convert ref.png -quality 95 a.jpg", 24},
    {"a.jpeg", "convert ref.png -quality 95 -interlace Plane JPEG:a.jpeg", 24},   // progressive
    {"a.jpe", "convert ref.png -quality 95 -sampling-factor 1x1 JPEG:a.jpe", 24},
    {"a.jfif", "convert ref.png -quality 95 -colorspace CMYK JPEG:a.jfif", 24},   // Adobe CMYK
    {"a.png", "convert ref.png -type TrueColor PNG24:a.png", 0},
    {"a.gif", "convert ref.png a.gif", 0},
    {"a.bmp", "convert ref.png -type TrueColor BMP3:a.bmp", 0},
    {"a.webp", "convert ref.png -quality 95 a.webp", 24},
    {"a.tif", "convert ref.png -type TrueColor a.tif", 0},
    // TrueColor: ImageMagick 6 writes the tiles of a palette TIFF wrongly.
    {"a.tiff", "convert ref.png -type TrueColor -compress LZW -define tiff:tile-geometry=16x16 TIFF:a.tiff", 0},
    {"a.avif", "avifenc --min 0 --max 10 ref.png a.avif", 24},
    {"a.heic", "convert ref.png -type TrueColor PNG24:heif.png && heif-enc -q 95 heif.png -o a.heic", 24},
    {"a.heif", "convert ref.png -quality 95 HEIC:a.heif", 24},
    {"a.jxr", "convert ref.png -type TrueColor BMP3:jxr.bmp && JxrEncApp -i jxr.bmp -o a.jxr -c 0 -q 1", 0},
    {"a.wdp",
     "convert ref.png -type TrueColorAlpha -depth 8 -compress None wdp.tif && JxrEncApp -i wdp.tif -o a.wdp -c 22 -a 2 "
     "-q 1",
     0},
    {"palette.png", "convert ref.png PNG8:palette.png", 0},
    {"deep.png", "convert ref.png -alpha on -depth 16 PNG64:deep.png", 0},
    {"adam7.png", "convert ref.png -interlace PNG -type TrueColor PNG24:adam7.png", 0},
    {"interlaced.gif", "convert ref.png -interlace GIF interlaced.gif", 0},
    {"palette.bmp", "convert ref.png -type Palette BMP3:palette.bmp", 0},
    {"rle8.bmp", "convert ref.png -type Palette -compress RLE BMP3:rle8.bmp", 0},
    {"alpha.bmp", "convert ref.png -alpha on -define bmp:format=bmp4 alpha.bmp", 0},
    {"lossless.webp", "convert ref.png -define webp:lossless=true lossless.webp", 0},
    {"cwebp.webp", "cwebp -quiet -q 95 -alpha_q 100 ref.png -o cwebp.webp", 24},
    {"deep.tif", "convert ref.png -depth 16 -compress Zip deep.tif", 0},
    {"planar.tif", "convert ref.png -interlace Plane -compress LZW planar.tif", 0},
    {"jpeg.tif", "convert ref.png -compress JPEG -quality 95 jpeg.tif", 24},
};

TEST_F(ComicsDecodeFormats, EveryTypeDecodesAtItsOwnSizeSmallerAndLarger) {
  for (const Sample& s : samples) {
    std::string command = s.command;
    if (command.compare(0, 8, "convert ") == 0) command = std::string(imageMagick) + command.substr(7);
    ASSERT_TRUE(make(command)) << command;
    std::string bytes = bytesOf(s.file);
    ASSERT_FALSE(bytes.empty()) << s.file;
    Decoded size = decode(bytes, 0, 0);
    EXPECT_TRUE(size.ok) << s.file << ": size only";
    EXPECT_EQ(size.width, pageWidth) << s.file;
    EXPECT_EQ(size.height, pageHeight) << s.file;
    expectQuadrants(decode(bytes, pageWidth, pageHeight), s.tolerance, std::string(s.file) + " at 64x48");
    expectQuadrants(decode(bytes, 16, 12), s.tolerance, std::string(s.file) + " at 16x12");
    expectQuadrants(decode(bytes, 100, 75), s.tolerance, std::string(s.file) + " at 100x75");
    expectQuadrants(decode(bytes, 7, 5), s.tolerance + 40, std::string(s.file) + " at 7x5");
  }
}

TEST_F(ComicsDecodeFormats, HalfTransparentBlackComesOutMidGreyInEveryAlphaFormat) {
  // Black at alpha 128/255, premultiplied 0, 0, 0, 128, over white: 127.
  const char* const made[][2] = {
      {"half.png", "convert -size 8x6 xc:'rgba(0,0,0,0.50196)' PNG32:half.png"},
      {"half.webp", "convert -size 8x6 xc:'rgba(0,0,0,0.50196)' -define webp:lossless=true half.webp"},
      {"half.tif",
       "convert -size 8x6 xc:'rgba(0,0,0,0.50196)' -type TrueColorAlpha -depth 8 -define tiff:alpha=unassociated "
       "half.tif"},
      {"assoc.tif",
       "convert -size 8x6 xc:'rgba(0,0,0,0.50196)' -type TrueColorAlpha -depth 8 -define tiff:alpha=associated "
       "assoc.tif"},
      {"half.bmp", "convert -size 8x6 xc:'rgba(0,0,0,0.50196)' -define bmp:format=bmp4 half.bmp"},
      {"half.wdp",
       "convert -size 8x6 xc:'rgba(0,0,0,0.50196)' -type TrueColorAlpha -depth 8 -compress None "
       "-define tiff:alpha=unassociated halfsrc.tif && "
       "JxrEncApp -i halfsrc.tif -o half.wdp -c 22 -a 2 -q 1"},
      {"half.heic",
       "convert -size 8x6 xc:'rgba(0,0,0,0.50196)' PNG32:halfsrc.png && "
       "heif-enc -L halfsrc.png -o half.heic"},
  };
  for (const auto& m : made) {
    std::string command = m[1];
    if (command.compare(0, 8, "convert ") == 0) command = std::string(imageMagick) + command.substr(7);
    ASSERT_TRUE(make(command)) << command;
    std::string bytes = bytesOf(m[0]);
    for (int32_t size : {8, 4, 16}) {
      Decoded d = decode(bytes, size, size * 6 / 8);
      ASSERT_TRUE(d.ok) << m[0] << " at width " << size;
      int tolerance = std::string(m[0]) == "half.heic" ? 3 : 1;   // alpha coded through YUV
      EXPECT_TRUE(near(d.at(size / 2, size * 6 / 16), Colour{127, 127, 127}, tolerance))
          << m[0] << " at width " << size;
    }
  }
}

TEST_F(ComicsDecodeFormats, TransparentGifPixelsAreWhite) {
  ASSERT_TRUE(make(std::string(imageMagick) + " -size 8x8 xc:none -fill blue -draw 'rectangle 0,0 3,7' t.gif"));
  Decoded d = decode(bytesOf("t.gif"), 8, 8);
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(near(d.at(1, 4), blue, 0));
  EXPECT_TRUE(near(d.at(6, 4), white, 0));
  Decoded half = decode(bytesOf("t.gif"), 2, 1);
  ASSERT_TRUE(half.ok);
  EXPECT_TRUE(near(half.at(0, 0), blue, 0));
  EXPECT_TRUE(near(half.at(1, 0), white, 0));
}

TEST_F(ComicsDecodeFormats, AveragingHoldsThroughRealFiles) {
  // A one-pixel checker halves to grey in lossless formats: nearest-neighbour
  // scaling (Wine's imaging component) would give pure black or pure white.
  ASSERT_TRUE(make(std::string(imageMagick) + " -size 64x64 pattern:gray50 -type TrueColor PNG24:c.png && " +
                   imageMagick + " c.png -type TrueColor BMP3:c.bmp && " + imageMagick + " c.png c.tif && " +
                   imageMagick + " c.png c.gif && " + imageMagick + " c.png -define webp:lossless=true c.webp"));
  for (const char* file : {"c.png", "c.bmp", "c.tif", "c.gif", "c.webp"}) {
    Decoded half = decode(bytesOf(file), 32, 32);
    ASSERT_TRUE(half.ok) << file;
    for (int y = 0; y < 32; y += 7) {
      for (int x = 0; x < 32; x += 5) {
        ASSERT_TRUE(near(half.at(x, y), Colour{128, 128, 128}, 1)) << file << " at " << x << "," << y;
      }
    }
  }
}

TEST_F(ComicsDecodeFormats, ReducedJpegDecodingMatchesFullDecodingAveraged) {
  // The DCT reduction before the final averaging must not change what the page
  // looks like: compare with a full-size decode averaged by the scaler alone.
  ASSERT_TRUE(make(std::string(imageMagick) + " -size 1600x1200 gradient:navy-orange -swirl 200 -quality 92 big.jpg"));
  std::string bytes = bytesOf("big.jpg");
  Decoded full = decode(bytes, 1600, 1200);
  ASSERT_TRUE(full.ok);
  std::vector<uint8_t> averaged(210 * 150 * 4);
  ImageScaler scaler;
  ASSERT_TRUE(startScaling(&scaler, 1600, 1200, 210, 150, averaged.data()));
  for (int y = 0; y < 1200; y++) {
    std::vector<uint8_t> row(full.pixels.begin() + (size_t)y * 6400, full.pixels.begin() + (size_t)(y + 1) * 6400);
    scaleRow(&scaler, row.data(), PREMULTIPLIED_BGRA);
  }
  ASSERT_TRUE(finishScaling(&scaler));
  Decoded reduced = decode(bytes, 210, 150);
  ASSERT_TRUE(reduced.ok);
  int worst = 0;
  for (size_t i = 0; i < averaged.size(); i++) worst = std::max(worst, abs(averaged[i] - reduced.pixels[i]));
  EXPECT_LE(worst, 12) << "largest difference of one channel";
}

TEST_F(ComicsDecodeFormats, FirstFrameOfAnimationsAndPages) {
  ASSERT_TRUE(make(std::string(imageMagick) + " -size 40x30 xc:red r.png && " + imageMagick +
                   " -size 40x30 xc:blue b.png && " + imageMagick + " -delay 10 r.png b.png -loop 0 anim.gif && " +
                   imageMagick + " -delay 10 r.png b.png -loop 0 anim.webp && " + imageMagick +
                   " r.png b.png pages.tif"));
  for (const char* file : {"anim.gif", "anim.webp", "pages.tif"}) {
    std::string bytes = bytesOf(file);
    Decoded size = decode(bytes, 0, 0);
    EXPECT_TRUE(size.ok) << file;
    EXPECT_EQ(size.width, 40) << file;
    EXPECT_EQ(size.height, 30) << file;
    Decoded d = decode(bytes, 20, 15);
    ASSERT_TRUE(d.ok) << file;
    EXPECT_TRUE(near(d.at(10, 7), red, 2)) << file << ": the first frame";
  }
}

TEST_F(ComicsDecodeFormats, GreyAndLowDepthImages) {
  // Left half black, right half white, in the depths each codec stores greys in.
  const char* const made[][2] = {
      {"g.png", "convert -size 32x16 xc:black xc:white +append -type Grayscale PNG8:g.png"},
      {"g1.png", "convert -size 32x16 xc:black xc:white +append -monochrome g1.png"},
      {"g16.png", "convert -size 32x16 xc:black xc:white +append -type Grayscale -depth 16 g16.png"},
      {"g.jpg", "convert -size 32x16 xc:black xc:white +append -type Grayscale g.jpg"},
      {"g1.bmp", "convert -size 32x16 xc:black xc:white +append -monochrome BMP3:g1.bmp"},
      {"g4.bmp", "convert -size 32x16 xc:black xc:gray xc:white +append -colors 3 -type Palette BMP3:g4.bmp"},
      {"g.tif", "convert -size 32x16 xc:black xc:white +append -type Grayscale g.tif"},
      {"g1.tif", "convert -size 32x16 xc:black xc:white +append -monochrome -compress Group4 g1.tif"},
      {"g.jxr",
       "convert -size 32x16 xc:black xc:white +append -type Grayscale -depth 8 gsrc.tif && "
       "JxrEncApp -i gsrc.tif -o g.jxr -c 2"},
  };
  for (const auto& m : made) {
    std::string command = std::string(imageMagick) + std::string(m[1]).substr(7);
    ASSERT_TRUE(make(command)) << command;
    Decoded size = decode(bytesOf(m[0]), 0, 0);
    ASSERT_TRUE(size.ok) << m[0];
    Decoded d = decode(bytesOf(m[0]), size.width, size.height);
    ASSERT_TRUE(d.ok) << m[0];
    int tolerance = std::string(m[0]) == "g.jpg" ? 8 : 0;
    EXPECT_TRUE(near(d.at(2, 8), Colour{0, 0, 0}, tolerance)) << m[0];
    EXPECT_TRUE(near(d.at(size.width - 3, 8), white, tolerance)) << m[0];
  }
}

}   // namespace
