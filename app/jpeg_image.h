#pragma once

#include <cstddef>
#include <vector>

namespace etherm {

// A decoded picture: 8-bit RGB, rows from the top, no padding.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;
};

// Decodes a JPEG held in memory. Throws Failure naming libjpeg's complaint when the bytes are
// not a picture it can read.
RgbPicture DecodeJpeg(const unsigned char* bytes, std::size_t size);

// The window's logo, built into the program from app/logo.jpg.
RgbPicture DecodeLogo();

}  // namespace etherm
