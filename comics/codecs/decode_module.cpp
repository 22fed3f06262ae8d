// The Linux build's decoders live in a library of their own, loaded at the first
// comic page. Linked into the program, the codec libraries and theirs (libjpeg,
// libpng, libwebp, libtiff with its compressors, libjxr, giflib) cost every start
// of the program about 10 ms, PDFs included, which never decode an image.
// The library is looked for beside the module this code is linked into; without
// it there is no imaging factory and comic pages show as undecodable.
#include <dlfcn.h>
#include <pthread.h>
#include <string.h>

#include "comics/codecs/codecs_module.h"
#include "comics/decode.h"

struct CodecModule {
  pthread_once_t once;
  CodecModuleCreateFactory createFactory;
  CodecModuleDecode decode;
};

static CodecModule codecModule = {PTHREAD_ONCE_INIT, NULL, NULL};

// The path of the codec library: this module's own folder + its name. False
// when it does not fit.
static bool codecModulePath(char* path, size_t capacity) {
  Dl_info info;
  if (dladdr((void*)&codecModulePath, &info) == 0 || info.dli_fname == NULL) return false;
  const char* slash = strrchr(info.dli_fname, '/');
  size_t folder = slash ? (size_t)(slash - info.dli_fname + 1) : 0;
  size_t name = strlen(CODEC_MODULE_NAME);
  if (folder + name + 1 > capacity) return false;
  memcpy(path, info.dli_fname, folder);
  memcpy(path + folder, CODEC_MODULE_NAME, name + 1);
  return true;
}

// Fills codecModule when the library and both its entry points are there.
static void findCodecModule() {
  char path[4096];
  if (!codecModulePath(path, sizeof path)) return;
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == NULL) return;
  CodecModuleCreateFactory createFactory = (CodecModuleCreateFactory)dlsym(module, CODEC_MODULE_CREATE_FACTORY_NAME);
  CodecModuleDecode decode = (CodecModuleDecode)dlsym(module, CODEC_MODULE_DECODE_NAME);
  if (createFactory == NULL || decode == NULL) return;
  codecModule.createFactory = createFactory;
  codecModule.decode = decode;
}

// Loads the library once; later calls only report the outcome. The UI thread and
// the worker may both ask first: the one that comes second waits for the load
// rather than finding it begun and taking it for failed.
static bool loadCodecModule() {
  if (pthread_once(&codecModule.once, findCodecModule) != 0) return false;
  return codecModule.decode != NULL;
}

ImagingFactory createImagingFactory(uint32_t apartmentFlags) {
  if (!loadCodecModule()) return NULL;
  return codecModule.createFactory(apartmentFlags);
}

bool decodeImage(ImagingFactory factory, const uint8_t* bytes, uint64_t length, int32_t targetWidth,
                 int32_t targetHeight, uint8_t* target, int32_t* imageWidth, int32_t* imageHeight) {
  // A factory exists only once the library is loaded.
  if (factory == NULL || codecModule.decode == NULL) return false;
  return codecModule.decode(factory, bytes, length, targetWidth, targetHeight, target, imageWidth, imageHeight);
}
