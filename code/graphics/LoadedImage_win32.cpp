// Image decoding through the GDI+ flat interface: any file the platform's
// codec reads, converted to 32-bit ARGB, plus the raw indices of 8-bit
// palette images.
#include <windows.h>
// The lean windows.h leaves out the COM declarations GDI+ needs.
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

#include "foundation/CMemMan.h"
#include "foundation/LogFile.h"
#include "graphics/LoadedImage.h"

namespace G {

namespace {

ULONG_PTR g_gdiplusToken = 0;

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

void LogFailed(const std::string& name) {
  ErrorLog << "Failed to load image: " << name << "\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
}

// Copies the whole bitmap in the pixel format, row by row: the codec's
// stride may be wider than the row and is negative for bottom-up data.
bool ReadPixels(GpBitmap* bitmap, int width, int height, PixelFormat format, void* out, size_t rowBytes) {
  GpRect rect(0, 0, width, height);
  BitmapData data = {};
  if (GdipBitmapLockBits(bitmap, &rect, ImageLockModeRead, format, &data) != Ok) return false;
  const unsigned char* source = static_cast<const unsigned char*>(data.Scan0);
  unsigned char* target = static_cast<unsigned char*>(out);
  for (int row = 0; row < height; ++row)
    std::memcpy(target + row * rowBytes, source + static_cast<ptrdiff_t>(row) * data.Stride, rowBytes);
  GdipBitmapUnlockBits(bitmap, &data);
  return true;
}

}  // namespace

void InitImageLoader() {
  GdiplusStartupInput input;  // version 1
  GdiplusStartup(&g_gdiplusToken, &input, nullptr);
}

void ShutdownImageLoader() {
  if (g_gdiplusToken) GdiplusShutdown(g_gdiplusToken);
  g_gdiplusToken = 0;
}

bool LoadedImage::Load(const std::string& name) {
  Free();
  width = height = channels = 0;

  // The codec takes a wide name of at most 256 characters with its end; a
  // longer name does not convert and fails like a missing file.
  WCHAR wide[256];
  GpBitmap* bitmap = nullptr;
  if (MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide, 256) > 0) GdipCreateBitmapFromFile(wide, &bitmap);
  UINT w = 0, h = 0;
  if (bitmap) {
    GdipGetImageWidth(bitmap, &w);
    GdipGetImageHeight(bitmap, &h);
  }
  if (w == 0 || h == 0) {
    LogFailed(name);
    if (bitmap) GdipDisposeImage(bitmap);
    return false;
  }

  PixelFormat format = 0;
  GdipGetImagePixelFormat(bitmap, &format);
  if (format == PixelFormat24bppRGB || format == PixelFormat32bppRGB) {
    channels = 3;
  } else if (format == PixelFormat8bppIndexed) {
    channels = 1;
  } else if (format == PixelFormat32bppARGB) {
    channels = 4;
  } else {
    channels = 4;
    ErrorLog << "LoadedImage.Load warning: Exact pixel format not matched for purposes of channel count for: "
             << name << "\n";
  }

  const size_t pixels = static_cast<size_t>(w) * h;
  argb = new2_array(unsigned int, pixels);
  if (!argb || !ReadPixels(bitmap, w, h, PixelFormat32bppARGB, argb, static_cast<size_t>(w) * 4)) {
    // The file opened but would not convert: nothing usable was read.
    Free();
    channels = 0;
    LogFailed(name);
    GdipDisposeImage(bitmap);
    return false;
  }

  if (channels == 1) {
    indices = new2_array(unsigned char, pixels);
    if (!indices || !ReadPixels(bitmap, w, h, PixelFormat8bppIndexed, indices, w)) {
      ErrorLog << "minor warning: thought we could use 8bpp... but it wouldn't work, for " << name
               << ".  maybe a bug in ImageLoader.Load\n";
      if (indices) delete2_array(indices);
      indices = nullptr;
    }
  }

  width = static_cast<int>(w);
  height = static_cast<int>(h);
  GdipDisposeImage(bitmap);
  return true;
}

}  // namespace G
