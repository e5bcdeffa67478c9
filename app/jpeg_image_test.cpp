#include "app/jpeg_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textio/failure.h"

namespace etherm {

extern const unsigned char kLogoJpeg[];
extern const std::size_t kLogoJpeg_size;

namespace {

TEST(JpegImage, LogoDecodesToAColouredPicture) {
  const RgbPicture logo = DecodeLogo();
  EXPECT_EQ(logo.width, 153);
  EXPECT_EQ(logo.height, 65);
  ASSERT_EQ(logo.pixels.size(), 153u * 65u * 3u);
  // A drawn mark, not a flat fill: white strokes, the dark ground and the warm glow.
  bool white = false, dark = false, warm = false;
  for (std::size_t i = 0; i < logo.pixels.size(); i += 3) {
    const int r = logo.pixels[i], g = logo.pixels[i + 1], b = logo.pixels[i + 2];
    white |= r > 230 && g > 230 && b > 230;
    dark |= r < 40 && g < 50 && b < 80;
    warm |= r > 200 && b < 120 && r - b > 100;
  }
  EXPECT_TRUE(white);
  EXPECT_TRUE(dark);
  EXPECT_TRUE(warm);
}

TEST(JpegImage, UnreadableBytesFailWithLibjpegsReason) {
  const std::vector<unsigned char> garbage = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  const std::vector<unsigned char> headerOnly(kLogoJpeg, kLogoJpeg + 2);
  const struct {
    const char* what;
    const unsigned char* bytes;
    std::size_t size;
    const char* reason;
  } cases[] = {
      {"garbage", garbage.data(), garbage.size(), "Not a JPEG file"},
      {"nothing", garbage.data(), 0, "no data"},
      {"start marker only", headerOnly.data(), headerOnly.size(), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      DecodeJpeg(c.bytes, c.size);
      ADD_FAILURE() << "decoded";
    } catch (const Failure& failure) {
      const std::string text = failure.what();
      EXPECT_EQ(text.rfind("Picture not readable: ", 0), 0u) << text;
      EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
  }
}

TEST(JpegImage, TruncatedPictureStillDecodesItsSize) {
  // libjpeg fills a cut stream's missing rows and only warns; the window still gets a picture.
  const RgbPicture picture = DecodeJpeg(kLogoJpeg, kLogoJpeg_size / 2);
  EXPECT_EQ(picture.width, 153);
  EXPECT_EQ(picture.height, 65);
}

}  // namespace
}  // namespace etherm
