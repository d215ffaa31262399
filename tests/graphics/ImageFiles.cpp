// Writers for small BMP and PNG files (PNG with stored, uncompressed
// deflate blocks), so image tests need no files from outside.
#include "ImageFiles.h"

#include "TestSupport.h"

namespace {

void Put16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, unsigned v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put32BigEndian(std::string& out, unsigned v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// Rows bottom-up, each padded to 4 bytes; row(y) gives the bytes of row y
// (counted from the top).
template <class RowBytes>
void WriteBmp(const std::string& path, int width, int height, int bits, const std::vector<unsigned>& palette,
              RowBytes row) {
  const int stride = (width * bits / 8 + 3) & ~3;
  const unsigned headers = 14 + 40 + static_cast<unsigned>(palette.size()) * 4;
  std::string out = "BM";
  Put32(out, headers + stride * height);
  Put32(out, 0);
  Put32(out, headers);
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height);
  Put16(out, 1);
  Put16(out, bits);
  Put32(out, 0);  // BI_RGB
  Put32(out, stride * height);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, static_cast<unsigned>(palette.size()));
  Put32(out, 0);
  for (unsigned colour : palette) Put32(out, colour & 0x00FFFFFF);
  for (int y = height - 1; y >= 0; --y) {
    std::string bytes = row(y);
    bytes.resize(stride, '\0');
    out += bytes;
  }
  WriteFileBytes(path, out);
}

unsigned Crc32(const std::string& bytes) {
  unsigned crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void PutChunk(std::string& out, const std::string& type, const std::string& data) {
  Put32BigEndian(out, static_cast<unsigned>(data.size()));
  out += type + data;
  Put32BigEndian(out, Crc32(type + data));
}

}  // namespace

void WriteBmp24(const std::string& path, int width, int height, const std::vector<unsigned>& pixels) {
  WriteBmp(path, width, height, 24, {}, [&](int y) {
    std::string bytes;
    for (int x = 0; x < width; ++x) {
      unsigned p = pixels[y * width + x];
      bytes += static_cast<char>(p & 0xFF);
      bytes += static_cast<char>((p >> 8) & 0xFF);
      bytes += static_cast<char>((p >> 16) & 0xFF);
    }
    return bytes;
  });
}

void WriteBmp32(const std::string& path, int width, int height, const std::vector<unsigned>& pixels) {
  WriteBmp(path, width, height, 32, {}, [&](int y) {
    std::string bytes;
    for (int x = 0; x < width; ++x) Put32(bytes, pixels[y * width + x] & 0x00FFFFFF);
    return bytes;
  });
}

void WriteBmp16(const std::string& path, int width, int height, const std::vector<unsigned>& pixels) {
  WriteBmp(path, width, height, 16, {}, [&](int y) {
    std::string bytes;
    for (int x = 0; x < width; ++x) {
      unsigned p = pixels[y * width + x];
      Put16(bytes, (((p >> 19) & 31) << 10) | (((p >> 11) & 31) << 5) | ((p >> 3) & 31));
    }
    return bytes;
  });
}

void WriteBmp8(const std::string& path, int width, int height, const std::vector<unsigned>& palette,
               const std::vector<unsigned char>& indices) {
  WriteBmp(path, width, height, 8, palette, [&](int y) {
    return std::string(reinterpret_cast<const char*>(&indices[y * width]), width);
  });
}

void WritePngRgba(const std::string& path, int width, int height, const std::vector<unsigned>& pixels) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // no filter
    for (int x = 0; x < width; ++x) {
      unsigned p = pixels[y * width + x];
      raw += static_cast<char>((p >> 16) & 0xFF);
      raw += static_cast<char>((p >> 8) & 0xFF);
      raw += static_cast<char>(p & 0xFF);
      raw += static_cast<char>(p >> 24);
    }
  }
  std::string zlib = "\x78\x01";
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    size_t length = raw.size() - at < 65535 ? raw.size() - at : 65535;
    zlib += static_cast<char>(at + length >= raw.size() ? 1 : 0);
    Put16(zlib, static_cast<unsigned>(length));
    Put16(zlib, static_cast<unsigned>(~length & 0xFFFF));
    zlib += raw.substr(at, length);
    if (raw.empty()) break;
  }
  unsigned a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  Put32BigEndian(zlib, (b << 16) | a);

  std::string header;
  Put32BigEndian(header, width);
  Put32BigEndian(header, height);
  header += std::string("\x08\x06\x00\x00\x00", 5);
  std::string out = "\x89PNG\r\n\x1a\n";
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", zlib);
  PutChunk(out, "IEND", "");
  WriteFileBytes(path, out);
}
