// The two entry points of the Linux build's codec library (see decode_module.cpp),
// with C names so that they are found by name and never collide with the
// program's own createImagingFactory and decodeImage.
#ifndef BRISA_COMICS_CODECS_MODULE_H
#define BRISA_COMICS_CODECS_MODULE_H
#include <stdint.h>

#include "comics/decode.h"

static const char CODEC_MODULE_NAME[] = "libbrisa-codecs.so";
static const char CODEC_MODULE_CREATE_FACTORY_NAME[] = "brisaCodecsCreateImagingFactory";
static const char CODEC_MODULE_DECODE_NAME[] = "brisaCodecsDecodeImage";

typedef ImagingFactory (*CodecModuleCreateFactory)(uint32_t apartmentFlags);
typedef bool (*CodecModuleDecode)(ImagingFactory factory, const uint8_t* bytes, uint64_t length, int32_t targetWidth,
                                  int32_t targetHeight, uint8_t* target, int32_t* imageWidth, int32_t* imageHeight);

#endif
