// A folder under /tmp for one test's files, removed with everything in it when
// the test ends, and reproducible pseudo-random bytes to fill them with.
#ifndef BRISA_TEST_TEMPFOLDER_H
#define BRISA_TEST_TEMPFOLDER_H

#include <stdio.h>
#include <stdlib.h>
#include <string>

// Bytes that no compressor shrinks much, the same for the same seed.
inline std::string patternBytes(size_t size, unsigned seed) {
  std::string out(size, 0);
  for (size_t i = 0; i < size; i++) {
    seed = seed * 1103515245u + 12345u;
    out[i] = (char)(seed >> 16);
  }
  return out;
}

struct TempFolder {
  std::string path;
  TempFolder() {
    char name[] = "/tmp/brisa-testXXXXXX";
    path = mkdtemp(name) ? name : "";
  }
  ~TempFolder() {
    if (!path.empty()) system(("rm -rf '" + path + "'").c_str());
  }
  // The file's path; the file is left missing when it cannot be written.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::string file = path + "/" + name;
    FILE* f = fopen(file.c_str(), "wb");
    if (f) {
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
    }
    return file;
  }
};

#endif
