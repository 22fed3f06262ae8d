// inflate() against zlib's raw inflate on streams from zlib's deflate: every
// level, strategy and flush style, over random, text, run-length, binary and real
// files, whole, cut by the buffer and cut short.
#include <gtest/gtest.h>
#include <stdint.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "inflate/inflate.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const uint8_t GUARD = 0x5A;

struct Sample {
  std::string name;
  Bytes data;
};

Bytes readFile(const char* path, size_t limit) {
  std::ifstream file(path, std::ios::binary);
  Bytes data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (data.size() > limit) data.resize(limit);
  return data;
}

Bytes wordText(std::mt19937* random, size_t size) {
  static const char* const words[] = {"deflate",  "the",   "window", "of",  "a",  "page", "Huffman", "code",  "length",
                                      "distance", "block", "stored", "and", "\n", ", ",   "zlib",    "brisa", "comic"};
  std::string text;
  while (text.size() < size) {
    text += words[(*random)() % (sizeof(words) / sizeof(words[0]))];
    text += (*random)() % 5 ? " " : ".\n";
  }
  return Bytes(text.begin(), text.begin() + ptrdiff_t(size));
}

Bytes runs(std::mt19937* random, size_t size) {
  Bytes data;
  while (data.size() < size) {
    size_t length = (*random)() % 4 ? (*random)() % 20 : (*random)() % 2000;
    data.insert(data.end(), length, uint8_t((*random)() % 4));
  }
  data.resize(size);
  return data;
}

Bytes shortPeriods(std::mt19937* random, size_t size) {
  Bytes data;
  while (data.size() < size) {
    size_t period = 2 + (*random)() % 6;
    Bytes pattern(period);
    for (uint8_t& b : pattern) b = uint8_t((*random)());
    for (size_t n = (*random)() % 300; n > 0; n--) data.push_back(pattern[n % period]);
  }
  data.resize(size);
  return data;
}

// Generated data of several kinds, and files every Debian system has (licence
// texts, C headers, this test program); a missing file is replaced by text.
const std::vector<Sample>& samples() {
  static std::vector<Sample> all;
  if (!all.empty()) return all;
  std::mt19937 random(1951);
  const size_t size = 100000;
  Bytes noise(size);
  for (uint8_t& b : noise) b = uint8_t(random());
  all.push_back({"random", noise});
  all.push_back({"words", wordText(&random, size)});
  all.push_back({"runs", runs(&random, size)});
  all.push_back({"periods", shortPeriods(&random, size)});
  for (const char* path : {"/usr/share/common-licenses/GPL-3", "/usr/share/common-licenses/Apache-2.0",
                           "/usr/include/zlib.h", "/usr/include/stdlib.h", "/proc/self/exe"}) {
    Bytes data = readFile(path, size);
    all.push_back({path, data.size() > 1000 ? data : wordText(&random, size)});
  }
  return all;
}

struct Settings {
  int level;
  int strategy;
  int windowBits;
  int memLevel;
  int flush;   // between chunks of the input; Z_NO_FLUSH for one piece
};

std::string describe(const Settings& s) {
  return "level " + std::to_string(s.level) + " strategy " + std::to_string(s.strategy) + " window " +
         std::to_string(s.windowBits) + " mem " + std::to_string(s.memLevel) + " flush " + std::to_string(s.flush);
}

// Every level with every strategy; window, memory level and flush style vary along.
std::vector<Settings> allSettings() {
  static const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  static const int windows[] = {15, 9, 12, 10};
  static const int memLevels[] = {8, 1, 9};
  static const int flushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK, Z_NO_FLUSH};
  std::vector<Settings> all;
  int n = 0;
  for (int level = 0; level <= 9; level++)
    for (int strategy : strategies) {
      all.push_back({level, strategy, windows[n % 4], memLevels[n % 3], flushes[n % 6]});
      n++;
    }
  return all;
}

Bytes compress(const Bytes& data, const Settings& s) {
  z_stream z = {};
  EXPECT_EQ(deflateInit2(&z, s.level, Z_DEFLATED, -s.windowBits, s.memLevel, s.strategy), Z_OK);
  Bytes out(deflateBound(&z, uLong(data.size())) + 64 + data.size() / 8);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  size_t chunk = s.flush == Z_NO_FLUSH ? data.size() : 777;
  size_t at = 0;
  do {
    size_t n = std::min(chunk, data.size() - at);
    z.next_in = const_cast<Bytef*>(data.data() + at);
    z.avail_in = uInt(n);
    at += n;
    deflate(&z, at == data.size() ? Z_FINISH : s.flush);
  } while (at < data.size());
  EXPECT_EQ(z.avail_in, 0u);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// zlib's raw inflate into at most capacity bytes: what it wrote, and whether it
// reached the end of the stream.
struct ZlibResult {
  Bytes bytes;
  bool ended;
};

ZlibResult zlibInflate(const uint8_t* data, size_t size, size_t capacity) {
  z_stream z = {};
  inflateInit2(&z, -15);
  Bytes out(capacity + 1);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  z.next_out = out.data();
  z.avail_out = uInt(capacity);
  int status = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return {out, status == Z_STREAM_END};
}

// Runs inflate() into capacity bytes followed by guards; returns the result and the buffer.
int64_t ours(const uint8_t* data, size_t size, size_t capacity, Bytes* buffer) {
  buffer->assign(capacity + 8, GUARD);
  return inflate(data, size, buffer->data(), capacity);
}

// The buffer holds expected, then guards only.
::testing::AssertionResult holds(const Bytes& buffer, const Bytes& expected) {
  if (buffer.size() < expected.size()) return ::testing::AssertionFailure() << "buffer too small";
  for (size_t i = 0; i < buffer.size(); i++) {
    uint8_t want = i < expected.size() ? expected[i] : GUARD;
    if (buffer[i] != want) return ::testing::AssertionFailure() << "byte " << i << " differs";
  }
  return ::testing::AssertionSuccess();
}

TEST(InflateZlib, WholeStreamsAndCapacities) {
  const size_t sizes[] = {0, 1, 2, 7, 100, 1000, 5000, 30000, 100000};
  Bytes buffer;
  int streams = 0;
  for (const Sample& sample : samples())
    for (const Settings& settings : allSettings())
      for (size_t size : sizes) {
        if (size > sample.data.size()) continue;
        Bytes data(sample.data.begin(), sample.data.begin() + ptrdiff_t(size));
        Bytes stream = compress(data, settings);
        SCOPED_TRACE(sample.name + " size " + std::to_string(size) + " " + describe(settings));
        ASSERT_EQ(zlibInflate(stream.data(), stream.size(), size).bytes, data);
        ASSERT_EQ(ours(stream.data(), stream.size(), size + 100, &buffer), int64_t(size));
        ASSERT_TRUE(holds(buffer, data));
        for (size_t capacity : {size_t(0), size / 3, size - (size > 0)}) {
          ASSERT_EQ(ours(stream.data(), stream.size(), capacity, &buffer), int64_t(capacity));
          ASSERT_TRUE(holds(buffer, Bytes(data.begin(), data.begin() + ptrdiff_t(capacity))));
        }
        stream.push_back(0xFF);   // bytes after the final block are ignored
        stream.push_back(0x03);
        ASSERT_EQ(ours(stream.data(), stream.size(), size, &buffer), int64_t(size));
        streams++;
      }
  EXPECT_GT(streams, 3000);
}

// Streams of a few KiB cut at every length fail, having written exactly what
// zlib writes from the same bytes; at every capacity they fill it exactly.
TEST(InflateZlib, EveryPrefixAndEveryCapacity) {
  Bytes buffer;
  int streams = 0;
  for (const Sample& sample : samples()) {
    size_t size = sample.name == "random" ? 1500 : 4000;
    Bytes data(sample.data.begin(), sample.data.begin() + ptrdiff_t(size));
    for (const Settings& settings : allSettings()) {
      if (settings.level % 3 != 1 && settings.level != 0) continue;   // levels 0, 1, 4, 7
      Bytes stream = compress(data, settings);
      SCOPED_TRACE(sample.name + " " + describe(settings));
      for (size_t cut = 0; cut < stream.size(); cut++) {
        ZlibResult reference = zlibInflate(stream.data(), cut, size);
        ASSERT_FALSE(reference.ended);
        ASSERT_EQ(ours(stream.data(), cut, size, &buffer), -1) << "cut at " << cut;
        ASSERT_TRUE(holds(buffer, reference.bytes)) << "cut at " << cut;
      }
      for (size_t capacity = 0; capacity <= size; capacity++) {
        ASSERT_EQ(ours(stream.data(), stream.size(), capacity, &buffer), int64_t(capacity));
        ASSERT_TRUE(holds(buffer, Bytes(data.begin(), data.begin() + ptrdiff_t(capacity))));
      }
      streams++;
    }
  }
  EXPECT_GT(streams, 100);
}

}   // namespace
