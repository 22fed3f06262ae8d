// Decoding speed of inflate() against zlib and libdeflate on one corpus of raw
// DEFLATE streams, in one run, with every output checked bit for bit.
//
// The corpus mixes streams made by other programs (gzip-compressed documentation
// and manual pages, PNG image data from icons), files compressed here (C headers,
// by zlib and libdeflate at several levels) and generated content (PDF page
// content streams, photo-like raster data). Whatever the machine lacks is made up
// with generated data, so the corpus always holds at least 50 MB of streams.
//
// Usage: bench_inflate [repetitions]   (default 5; the best pass of each decoder counts)
// Times are the thread's CPU time, so that other work on a shared machine weighs less.
#include "inflate/inflate.h"
#include "tests/support/rawdeflate.h"

#include <libdeflate.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const size_t MEGABYTE = 1000 * 1000;
const size_t CORPUS_MINIMUM = 50 * MEGABYTE;   // compressed bytes

struct Stream {
  std::vector<uint8_t> compressed;
  size_t size;   // decoded
};

struct Kind {
  const char* name;
  std::vector<Stream> streams;
  size_t compressedBytes = 0;
  size_t decodedBytes = 0;
  explicit Kind(const char* kindName) : name(kindName) {}
};

std::vector<uint8_t> readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every regular file under root whose name ends with suffix, in a stable order.
std::vector<fs::path> filesUnder(const char* root, const char* suffix) {
  std::vector<fs::path> found;
  std::error_code error;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
  for (; !error && it != end; it.increment(error)) {
    std::error_code statError;
    if (!it->is_regular_file(statError) || it->is_symlink(statError)) continue;
    std::string name = it->path().filename().string();
    if (name.size() >= strlen(suffix) && name.compare(name.size() - strlen(suffix), std::string::npos, suffix) == 0)
      found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// zlib's reading of a raw stream: the decoded bytes, or false if zlib rejects it.
bool zlibDecode(const uint8_t* data, size_t size, std::vector<uint8_t>* decoded) {
  z_stream z = {};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  decoded->clear();
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  int status = Z_OK;
  uint8_t chunk[65536];
  while (status == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof(chunk);
    status = inflate(&z, Z_NO_FLUSH);
    decoded->insert(decoded->end(), chunk, chunk + (sizeof(chunk) - z.avail_out));
    if (status == Z_BUF_ERROR && z.avail_out != 0) break;   // input ran out
    if (status == Z_BUF_ERROR) status = Z_OK;
  }
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

void addStream(Kind* kind, std::vector<uint8_t> compressed, size_t decodedSize) {
  kind->compressedBytes += compressed.size();
  kind->decodedBytes += decodedSize;
  kind->streams.push_back(Stream{std::move(compressed), decodedSize});
}

// Adds a raw stream found inside a file, if zlib reads it whole.
void addFoundStream(Kind* kind, const uint8_t* data, size_t size) {
  std::vector<uint8_t> decoded;
  if (!zlibDecode(data, size, &decoded) || decoded.empty()) return;
  addStream(kind, std::vector<uint8_t>(data, data + size), decoded.size());
}

std::vector<uint8_t> libdeflateCompress(const std::vector<uint8_t>& data, int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  std::vector<uint8_t> out(libdeflate_deflate_compress_bound(compressor, data.size()));
  out.resize(libdeflate_deflate_compress(compressor, data.data(), data.size(), out.data(), out.size()));
  libdeflate_free_compressor(compressor);
  return out;
}

// The raw DEFLATE data of a gzip member (RFC 1952): after the header, before the 8-byte trailer.
void addGzipFile(Kind* kind, const std::vector<uint8_t>& file) {
  if (file.size() < 18 || file[0] != 0x1F || file[1] != 0x8B || file[2] != 8) return;
  uint8_t flags = file[3];
  size_t at = 10;
  if (flags & 4) {   // FEXTRA
    if (file.size() - at < 2) return;
    size_t extra = file[at] | size_t(file[at + 1]) << 8;
    if (file.size() - at - 2 < extra) return;
    at += 2 + extra;
  }
  for (int field = 8; field <= 16; field *= 2) {   // FNAME, FCOMMENT: zero-terminated
    if (!(flags & field)) continue;
    while (at < file.size() && file[at] != 0) at++;
    at++;
  }
  if (flags & 2) at += 2;   // FHCRC
  if (at >= file.size() || file.size() - at < 8) return;
  addFoundStream(kind, file.data() + at, file.size() - at - 8);
}

// The image data of a PNG: its IDAT chunks joined, less the 2-byte zlib header.
void addPngFile(Kind* kind, const std::vector<uint8_t>& file) {
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 8 || memcmp(file.data(), signature, 8) != 0) return;
  std::vector<uint8_t> data;
  for (size_t at = 8; file.size() - at >= 12;) {
    size_t length = size_t(file[at]) << 24 | size_t(file[at + 1]) << 16 | size_t(file[at + 2]) << 8 | file[at + 3];
    if (length > file.size() - at - 12) break;
    if (memcmp(&file[at + 4], "IDAT", 4) == 0) data.insert(data.end(), &file[at + 8], &file[at + 8 + length]);
    at += 12 + length;
  }
  if (data.size() < 3 || (data[0] & 0x0F) != 8 || (data[1] & 0x20)) return;   // deflate, no preset dictionary
  addFoundStream(kind, data.data() + 2, data.size() - 2);
}

// Small deterministic generator for the made-up content.
struct Random {
  uint64_t state;
  uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state >> 33);
  }
  int below(int n) {
    return int(next() % uint32_t(n));
  }
};

// A page content stream as PDF writers emit them: text runs, positioning, paths.
std::vector<uint8_t> makeContentStream(Random* random, size_t size) {
  static const char* const words[] = {"the",  "reader", "page",   "archive",  "comic", "Brisa",  "of", "and", "window",
                                      "zoom", "image",  "scroll", "document", "print", "search", "a",  "to",  "in"};
  std::string s;
  char line[160];
  while (s.size() < size) {
    snprintf(line, sizeof(line), "BT\n/F%d %d Tf\n%d.%02d %d.%02d Td\n", 1 + random->below(4), 8 + random->below(6),
             random->below(600), random->below(100), random->below(800), random->below(100));
    s += line;
    for (int run = random->below(6); run >= 0; run--) {
      s += "(";
      for (int w = 3 + random->below(10); w > 0; w--) {
        s += words[random->below(int(sizeof(words) / sizeof(words[0])))];
        s += ' ';
      }
      snprintf(line, sizeof(line), ") Tj\n0 -%d.%d TD\n", 10 + random->below(4), random->below(10));
      s += line;
    }
    s += "ET\n";
    if (random->below(4) == 0) {
      snprintf(line, sizeof(line), "q %.3f 0 0 %.3f %d %d cm %d %d m %d %d l S Q\n", 0.5 + random->below(100) / 100.0,
               0.5 + random->below(100) / 100.0, random->below(600), random->below(800), random->below(600),
               random->below(800), random->below(600), random->below(800));
      s += line;
    }
  }
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Photo-like RGB rows as PNG stores them: smooth shading, noise, Up/Sub filters.
std::vector<uint8_t> makeRaster(Random* random, int width, int height) {
  std::vector<uint8_t> rows;
  std::vector<uint8_t> previous(size_t(width) * 3, 0), current(size_t(width) * 3);
  int cx = random->below(width), cy = random->below(height);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      int d = (x - cx) * (x - cx) / 64 + (y - cy) * (y - cy) / 64;
      for (int c = 0; c < 3; c++)
        current[size_t(x) * 3 + c] = uint8_t((d * (c + 1) + x * c + y + random->below(6)) >> 1);
    }
    uint8_t filter = uint8_t(1 + y % 2);   // Sub, Up
    rows.push_back(filter);
    for (size_t i = 0; i < current.size(); i++) {
      uint8_t predictor = filter == 1 ? (i >= 3 ? current[i - 3] : 0) : previous[i];
      rows.push_back(uint8_t(current[i] - predictor));
    }
    previous.swap(current);
  }
  return rows;
}

void buildCorpus(std::vector<Kind>* kinds) {
  Kind text{"text (gzip streams of docs and man pages)"};
  const size_t gzipCap = 25 * MEGABYTE;
  for (const char* root : {"/usr/share/man", "/usr/share/doc", "/usr/share/info"})
    for (const fs::path& path : filesUnder(root, ".gz")) {
      if (text.compressedBytes >= gzipCap) break;
      addGzipFile(&text, readFile(path));
    }

  Kind source{"source code (C headers; zlib 1/6/9, libdeflate 6/12)"};
  const size_t sourceCap = 80 * MEGABYTE;   // decoded
  int turn = 0;
  for (const fs::path& path : filesUnder("/usr/include", ".h")) {
    if (source.decodedBytes >= sourceCap) break;
    std::vector<uint8_t> data = readFile(path);
    if (data.size() < 64) continue;
    std::vector<uint8_t> compressed;
    switch (turn++ % 5) {
      case 0:
        compressed = rawDeflate(data, 1, Z_DEFAULT_STRATEGY);
        break;
      case 1:
        compressed = rawDeflate(data, 6, Z_DEFAULT_STRATEGY);
        break;
      case 2:
        compressed = rawDeflate(data, 9, Z_DEFAULT_STRATEGY);
        break;
      case 3:
        compressed = libdeflateCompress(data, 6);
        break;
      default:
        compressed = libdeflateCompress(data, 12);
        break;
    }
    addStream(&source, std::move(compressed), data.size());
  }

  Kind images{"image data (PNG IDAT streams, generated rasters)"};
  for (const fs::path& path : filesUnder("/usr/share", ".png")) addPngFile(&images, readFile(path));

  Kind content{"PDF content streams (generated; zlib 6)"};
  Random random = {20240611};
  size_t total = text.compressedBytes + source.compressedBytes + images.compressedBytes;
  for (int i = 0; content.decodedBytes < 40 * MEGABYTE; i++) {
    std::vector<uint8_t> data = makeContentStream(&random, 2000 + size_t(random.below(200000)));
    addStream(&content, rawDeflate(data, 6, Z_DEFAULT_STRATEGY), data.size());
  }
  total += content.compressedBytes;
  while (images.compressedBytes < 15 * MEGABYTE || total < CORPUS_MINIMUM) {   // rasters fill the rest
    std::vector<uint8_t> data = makeRaster(&random, 200 + random.below(1200), 100 + random.below(800));
    std::vector<uint8_t> compressed = rawDeflate(data, 6, Z_FILTERED);
    total += compressed.size();
    addStream(&images, std::move(compressed), data.size());
  }
  kinds->push_back(std::move(text));
  kinds->push_back(std::move(source));
  kinds->push_back(std::move(content));
  kinds->push_back(std::move(images));
}

// ---------------------------------------------------------------------------
// Decoders under test: each decodes one stream into out (exactly its size) or returns false.

struct Decoders {
  z_stream zlib;
  libdeflate_decompressor* libdeflate;
};

bool decodeOurs(Decoders*, const Stream& stream, uint8_t* out) {
  return inflate(stream.compressed.data(), stream.compressed.size(), out, stream.size) == int64_t(stream.size);
}

bool decodeZlib(Decoders* decoders, const Stream& stream, uint8_t* out) {
  z_stream* z = &decoders->zlib;
  inflateReset(z);
  z->next_in = const_cast<Bytef*>(stream.compressed.data());
  z->avail_in = uInt(stream.compressed.size());
  z->next_out = out;
  z->avail_out = uInt(stream.size);
  return inflate(z, Z_FINISH) == Z_STREAM_END && z->total_out == stream.size;
}

bool decodeLibdeflate(Decoders* decoders, const Stream& stream, uint8_t* out) {
  size_t actual = 0;
  return libdeflate_deflate_decompress(decoders->libdeflate, stream.compressed.data(), stream.compressed.size(), out,
                                       stream.size, &actual) == LIBDEFLATE_SUCCESS &&
         actual == stream.size;
}

typedef bool (*Decode)(Decoders*, const Stream&, uint8_t*);

double cpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// CPU seconds for one pass over the kind's streams, each into its own place in out.
double timePass(Decode decode, Decoders* decoders, const Kind& kind, uint8_t* out, bool* ok) {
  double start = cpuSeconds();
  size_t at = 0;
  for (const Stream& stream : kind.streams) {
    if (!decode(decoders, stream, out + at)) *ok = false;
    at += stream.size;
  }
  return cpuSeconds() - start;
}

}   // namespace

int main(int argc, char** argv) {
  int repetitions = argc > 1 ? atoi(argv[1]) : 5;
  if (repetitions < 1) repetitions = 1;
  std::vector<Kind> kinds;
  buildCorpus(&kinds);

  Decoders decoders = {};
  inflateInit2(&decoders.zlib, -15);
  decoders.libdeflate = libdeflate_alloc_decompressor();

  static const char* const names[3] = {"brisa inflate", "zlib " ZLIB_VERSION, "libdeflate " LIBDEFLATE_VERSION_STRING};
  static const Decode decodes[3] = {decodeOurs, decodeZlib, decodeLibdeflate};
  double totalSeconds[3] = {0, 0, 0};
  size_t allCompressed = 0, allDecoded = 0, allStreams = 0;
  bool allGood = true;

  printf("%-52s %8s %9s %9s %10s %10s %10s %7s %7s\n", "corpus", "streams", "in MB", "out MB", "brisa MB/s",
         "zlib MB/s", "libdefl.", "/zlib", "/libdef");
  for (const Kind& kind : kinds) {
    std::vector<std::vector<uint8_t>> outputs(3, std::vector<uint8_t>(kind.decodedBytes));
    double best[3];
    for (int d = 0; d < 3; d++) {
      best[d] = 1e30;
      for (int r = 0; r < repetitions; r++) {
        bool ok = true;
        double seconds = timePass(decodes[d], &decoders, kind, outputs[d].data(), &ok);
        if (!ok) {
          fprintf(stderr, "%s failed a stream of %s\n", names[d], kind.name);
          allGood = false;
        }
        best[d] = std::min(best[d], seconds);
      }
      totalSeconds[d] += best[d];
    }
    if (outputs[0] != outputs[1] || outputs[0] != outputs[2]) {
      fprintf(stderr, "outputs differ for %s\n", kind.name);
      allGood = false;
    }
    double mb = double(kind.decodedBytes) / MEGABYTE;
    printf("%-52s %8zu %9.1f %9.1f %10.0f %10.0f %10.0f %7.2f %7.2f\n", kind.name, kind.streams.size(),
           double(kind.compressedBytes) / MEGABYTE, mb, mb / best[0], mb / best[1], mb / best[2], best[1] / best[0],
           best[2] / best[0]);
    allCompressed += kind.compressedBytes;
    allDecoded += kind.decodedBytes;
    allStreams += kind.streams.size();
  }
  double mb = double(allDecoded) / MEGABYTE;
  printf("%-52s %8zu %9.1f %9.1f %10.0f %10.0f %10.0f %7.2f %7.2f\n", "all", allStreams,
         double(allCompressed) / MEGABYTE, mb, mb / totalSeconds[0], mb / totalSeconds[1], mb / totalSeconds[2],
         totalSeconds[1] / totalSeconds[0], totalSeconds[2] / totalSeconds[0]);
  printf("MB/s of decoded output, best of %d; /zlib and /libdef are speed ratios of brisa inflate to each.\n",
         repetitions);
  printf("outputs %s\n", allGood ? "bit-identical across the three decoders" : "DIFFER");

  inflateEnd(&decoders.zlib);
  libdeflate_free_decompressor(decoders.libdeflate);
  if (allCompressed < CORPUS_MINIMUM) {
    fprintf(stderr, "corpus below 50 MB\n");
    return 1;
  }
  return allGood ? 0 : 1;
}
