// The Windows decoding back end: the Windows Imaging Component decodes every
// image type the system has a codec for, scales with its Fant filter inside the
// copy and converts to premultiplied BGRA. COM is loaded on first use so that
// start-up does not pay for it.
#include "comics/decode.h"

#include <wincodec.h>

#include "base/base.h"

// Our own copies of the identifiers, so that nothing needs the uuid library.
static const CLSID IMAGING_FACTORY_CLASS =   // CLSID_WICImagingFactory1
    {0xCACAF262, 0x9370, 0x4615, {0xA1, 0x3B, 0x9F, 0x55, 0x39, 0xDA, 0x4C, 0x0A}};
static const IID IMAGING_FACTORY_INTERFACE =   // IID_IWICImagingFactory
    {0xEC5EC8A9, 0xC395, 0x4314, {0x9C, 0x77, 0x54, 0xD7, 0xA9, 0x35, 0xFF, 0x70}};
static const GUID PREMULTIPLIED_BGRA_FORMAT =   // GUID_WICPixelFormat32bppPBGRA
    {0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, 0x10}};

static const DWORD IN_PROCESS_SERVER = 1;   // CLSCTX_INPROC_SERVER

typedef HRESULT(WINAPI* CoInitializeExProc)(void* reserved, DWORD flags);
typedef HRESULT(WINAPI* CoCreateInstanceProc)(REFCLSID type, IUnknown* outer, DWORD context, REFIID interfaceId,
                                              void** object);

ImagingFactory createImagingFactory(uint32_t apartmentFlags) {
  CoInitializeExProc coInitializeEx = (CoInitializeExProc)(void*)loadProc("ole32", "CoInitializeEx");
  CoCreateInstanceProc coCreateInstance = (CoCreateInstanceProc)(void*)loadProc("ole32", "CoCreateInstance");
  if (coInitializeEx == NULL || coCreateInstance == NULL) return NULL;
  coInitializeEx(NULL, apartmentFlags);   // already initialised is fine too
  IWICImagingFactory* factory = NULL;
  if (FAILED(coCreateInstance(IMAGING_FACTORY_CLASS, NULL, IN_PROCESS_SERVER, IMAGING_FACTORY_INTERFACE,
                              (void**)&factory))) {
    return NULL;
  }
  return factory;
}

// What a decode holds between its steps, released by releaseDecode.
struct WicDecode {
  IWICImagingFactory* factory;
  IWICStream* stream;
  IWICBitmapDecoder* decoder;
  IWICBitmapFrameDecode* frame;
  UINT width, height;
};

static void releaseDecode(WicDecode* decode) {
  if (decode->frame) decode->frame->Release();
  if (decode->decoder) decode->decoder->Release();
  if (decode->stream) decode->stream->Release();
}

// Stream over the bytes, decoder, first frame (of a GIF or TIFF too) and its size.
static bool openFirstFrame(WicDecode* decode, const uint8_t* bytes, uint64_t length) {
  if (length > 0xFFFFFFFFu) return false;   // the stream takes a 32-bit size
  if (FAILED(decode->factory->CreateStream(&decode->stream))) return false;
  if (FAILED(decode->stream->InitializeFromMemory((BYTE*)bytes, (DWORD)length))) return false;
  if (FAILED(decode->factory->CreateDecoderFromStream(decode->stream, NULL, WICDecodeMetadataCacheOnDemand,
                                                      &decode->decoder))) {
    return false;
  }
  if (FAILED(decode->decoder->GetFrame(0, &decode->frame))) return false;
  return SUCCEEDED(decode->frame->GetSize(&decode->width, &decode->height));
}

// The scaler and the converter of one attempt.
struct CopyChain {
  IWICBitmapScaler* scaler;
  IWICFormatConverter* converter;
};

static void releaseChain(CopyChain* chain) {
  if (chain->scaler) chain->scaler->Release();
  if (chain->converter) chain->converter->Release();
  chain->scaler = NULL;
  chain->converter = NULL;
}

static bool addScaler(WicDecode* decode, CopyChain* chain, IWICBitmapSource* source, UINT width, UINT height) {
  if (FAILED(decode->factory->CreateBitmapScaler(&chain->scaler))) return false;
  return SUCCEEDED(chain->scaler->Initialize(source, width, height, WICBitmapInterpolationModeFant));
}

static bool addConverter(WicDecode* decode, CopyChain* chain, IWICBitmapSource* source) {
  if (FAILED(decode->factory->CreateFormatConverter(&chain->converter))) return false;
  return SUCCEEDED(chain->converter->Initialize(source, PREMULTIPLIED_BGRA_FORMAT, WICBitmapDitherTypeNone, NULL, 0.0,
                                                WICBitmapPaletteTypeCustom));
}

static bool copyFrom(IWICBitmapSource* source, UINT width, UINT height, uint8_t* target) {
  WICRect whole = {0, 0, (INT)width, (INT)height};
  UINT stride = width * 4;
  return SUCCEEDED(source->CopyPixels(&whole, stride, stride * height, target));
}

// First attempt: scale the frame as decoded, then convert. Codecs whose native
// format the scaler cannot take fail here and get the second attempt.
static bool scaleThenConvert(WicDecode* decode, UINT width, UINT height, uint8_t* target) {
  CopyChain chain = {NULL, NULL};
  IWICBitmapSource* source = decode->frame;
  bool copied = true;
  if (width != decode->width || height != decode->height) {
    copied = addScaler(decode, &chain, source, width, height);
    source = chain.scaler;
  }
  copied = copied && addConverter(decode, &chain, source) && copyFrom(chain.converter, width, height, target);
  releaseChain(&chain);
  return copied;
}

// Second attempt: convert the frame first, then scale the premultiplied pixels.
static bool convertThenScale(WicDecode* decode, UINT width, UINT height, uint8_t* target) {
  CopyChain chain = {NULL, NULL};
  bool copied = addConverter(decode, &chain, decode->frame);
  IWICBitmapSource* source = chain.converter;
  if (copied && (width != decode->width || height != decode->height)) {
    copied = addScaler(decode, &chain, source, width, height);
    source = chain.scaler;
  }
  copied = copied && copyFrom(source, width, height, target);
  releaseChain(&chain);
  return copied;
}

bool decodeImage(ImagingFactory factory, const uint8_t* bytes, uint64_t length, int32_t targetWidth,
                 int32_t targetHeight, uint8_t* target, int32_t* imageWidth, int32_t* imageHeight) {
  if (factory == NULL || bytes == NULL || length == 0) return false;
  WicDecode decode = {(IWICImagingFactory*)factory, NULL, NULL, NULL, 0, 0};
  bool decoded = openFirstFrame(&decode, bytes, length) && decode.width > 0 && decode.height > 0 &&
                 decode.width <= INT32_MAX && decode.height <= INT32_MAX;
  if (decoded) {
    if (imageWidth) *imageWidth = (int32_t)decode.width;
    if (imageHeight) *imageHeight = (int32_t)decode.height;
  }
  if (decoded && target != NULL) {
    // The stride and buffer size are 32-bit: the budget keeps both far below.
    uint64_t bytesNeeded = imagePixelBytes(targetWidth, targetHeight);
    decoded = bytesNeeded > 0 && bytesNeeded <= IMAGE_BUDGET_BYTES;
    UINT width = (UINT)targetWidth, height = (UINT)targetHeight;
    decoded = decoded &&
              (scaleThenConvert(&decode, width, height, target) || convertThenScale(&decode, width, height, target));
    if (decoded) compositeOverWhite(target, (size_t)width * height);
  }
  releaseDecode(&decode);
  return decoded;
}
