// Image files written by the tests themselves, one per pixel layout the
// image codec reports. Pixels are given top row first as 0xAARRGGBB.
#pragma once
#include <string>
#include <vector>

// 24-bit and 32-bit uncompressed BMP (the alpha byte is not stored / zero).
void WriteBmp24(const std::string& path, int width, int height, const std::vector<unsigned>& pixels);
void WriteBmp32(const std::string& path, int width, int height, const std::vector<unsigned>& pixels);
// 16-bit BMP, 5 bits per channel.
void WriteBmp16(const std::string& path, int width, int height, const std::vector<unsigned>& pixels);
// 8-bit BMP with a palette of up to 256 colours and one index per pixel.
void WriteBmp8(const std::string& path, int width, int height, const std::vector<unsigned>& palette,
               const std::vector<unsigned char>& indices);
// RGBA PNG, alpha kept.
void WritePngRgba(const std::string& path, int width, int height, const std::vector<unsigned>& pixels);
