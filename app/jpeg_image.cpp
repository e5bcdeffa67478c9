#include "app/jpeg_image.h"

#include <csetjmp>
#include <cstdio>
#include <string>

// libjpeg's header needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "textio/failure.h"

namespace etherm {

extern const unsigned char kLogoJpeg[];
extern const std::size_t kLogoJpeg_size;

namespace {

// libjpeg ends the process on a fatal error unless the error handler leaves by longjmp.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void LeaveOnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (a slightly damaged stream) are not worth a message box for a logo.
void IgnoreMessage(j_common_ptr) {}

// Only trivially destructible objects live in this frame, so the longjmp back into it is safe.
bool DecodeInto(const unsigned char* bytes, std::size_t size, RgbPicture& picture,
                ErrorManager& errors) {
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = LeaveOnError;
  errors.base.output_message = IgnoreMessage;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  picture.width = static_cast<int>(info.output_width);
  picture.height = static_cast<int>(info.output_height);
  const std::size_t rowBytes = static_cast<std::size_t>(info.output_width) * 3;
  picture.pixels.resize(rowBytes * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = picture.pixels.data() + rowBytes * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

RgbPicture DecodeJpeg(const unsigned char* bytes, std::size_t size) {
  RgbPicture picture;
  ErrorManager errors{};
  if (size == 0 || !DecodeInto(bytes, size, picture, errors)) {
    throw Failure(std::string("Picture not readable: ") + (size == 0 ? "no data" : errors.message));
  }
  return picture;
}

RgbPicture DecodeLogo() {
  return DecodeJpeg(kLogoJpeg, kLogoJpeg_size);
}

}  // namespace etherm
