#include "payload/PeResources.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "payload/ContainerBuilder.h"

using namespace testpayload;

namespace {

// A minimal x64 image: headers in the first 0x200 bytes, one code section.
std::string TinyImage() {
  std::string d(0x400, '\0');
  d[0] = 'M', d[1] = 'Z';
  PutU32(d, 0x3C, 0x40);
  d.replace(0x40, 4, std::string("PE\0\0", 4));
  d[0x44] = 0x64, d[0x45] = (char)0x86;  // x64
  d[0x46] = 1;                           // one section
  d[0x54] = (char)240;                   // optional header size
  size_t opt = 0x58;
  d[opt] = 0x0B, d[opt + 1] = 0x02;  // PE32+
  PutU32(d, opt + 32, 0x1000);       // section alignment
  PutU32(d, opt + 36, 0x200);        // file alignment
  PutU32(d, opt + 56, 0x2000);       // size of image
  PutU32(d, opt + 60, 0x200);        // size of headers
  PutU32(d, opt + 108, 16);          // data directories
  size_t sec = opt + 240;
  d.replace(sec, 5, ".text");
  PutU32(d, sec + 8, 0x200);
  PutU32(d, sec + 12, 0x1000);
  PutU32(d, sec + 16, 0x200);
  PutU32(d, sec + 20, 0x200);
  return d;
}

// An .ico file with square images of the given sizes (4 bits per pixel).
std::string IcoFile(std::initializer_list<int> sizes) {
  std::string head = std::string("\0\0\1\0", 4) + (char)sizes.size() + '\0';
  std::string images;
  size_t at = 6 + 16 * sizes.size();
  for (int n : sizes) {
    std::string img(40 + 64 + n * n / 2 + n * 4, '\x11');
    PutU32(img, 0, 40);
    std::string e(16, '\0');
    e[0] = e[1] = (char)n;
    e[6] = 4;
    PutU32(e, 8, (uint32_t)img.size());
    PutU32(e, 12, (uint32_t)(at + images.size()));
    head += e;
    images += img;
  }
  return head + images;
}

// A tree rebuilt in the stub's own section is read by the system in
// StubResources_win_test.cpp.
TEST(PeResources, ATreeWrittenAppendsASectionAndReadsBack) {
  // Type and name ({number, ""} or {0, "name"}), language, code page, data.
  std::vector<TPeResource> given = {{{KRtManifest, ""}, {1, ""}, 0x409, 0, "<assembly/>"},
                                    {{0, "Custom"}, {0, "Thing"}, 7, 0, "abc"},
                                    {{0, "Custom"}, {5, ""}, 9, 0, std::string(3000, 'x')},
                                    {{KRtVersion, ""}, {1, ""}, 0x409, 0, "v"}};
  std::string image = TinyImage();
  std::string error;
  ASSERT_TRUE(WriteResources(image, given, error)) << error;
  EXPECT_EQ(image[0x46], 2);  // a section appended
  EXPECT_EQ(image.size() % 0x200, 0u);
  std::vector<TPeResource> back;
  ASSERT_TRUE(ReadResources(image, back, error)) << error;
  ASSERT_EQ(back.size(), given.size());
  // Named entries come first and are stored upper case, as the system looks
  // them up.
  EXPECT_EQ(back[0].Type.Name + "/" + back[0].Name.Name + "/" + back[0].Data, "CUSTOM/THING/abc");
  EXPECT_EQ(back[1].Data, given[2].Data);
  EXPECT_EQ(back[3].Data, "<assembly/>");
}

TEST(PeResources, ForeignSignedOrDamagedImagesAreRefused) {
  std::string error;
  std::vector<TPeResource> res;
  std::string notPe = "MZ" + std::string(600, '\0');
  EXPECT_FALSE(ReadResources(notPe, res, error));
  EXPECT_FALSE(WriteResources(notPe, res, error));

  std::string signedImage = TinyImage();
  PutU32(signedImage, 0x58 + 112 + 8 * 4, 0x400);  // certificate table
  PutU32(signedImage, 0x58 + 112 + 8 * 4 + 4, 0x10);
  EXPECT_FALSE(WriteResources(signedImage, res, error));
  EXPECT_NE(error.find("signature"), std::string::npos);

  // A data entry that points past its section.
  std::string image = TinyImage();
  ASSERT_TRUE(WriteResources(image, {{{10, ""}, {1, ""}, 0, 0, "data"}}, error));
  size_t entry = image.size() - 0x200 + 16 + 8 + 16 + 8 + 16 + 8;  // root, type, name dirs
  PutU32(image, entry, 0x7FFFFFF0);
  EXPECT_FALSE(ReadResources(image, res, error));
  EXPECT_TRUE(res.empty());
}

TEST(PeResources, MainIconIsReplacedWithoutTouchingOtherIcons) {
  std::vector<TPeResource> res;
  std::vector<TIconImage> images;
  std::string error;
  ASSERT_TRUE(ReadIcoFile(IcoFile({16, 32}), images, error)) << error;
  SetGroupIcon(res, "MainIcon", images);
  SetGroupIcon(res, "Other", images);
  ASSERT_TRUE(ReadIcoFile(IcoFile({16, 32, 48}), images, error)) << error;
  SetGroupIcon(res, KMainIconName, images);
  EXPECT_EQ(GroupIconImages(res, "mainicon").size(), 3u);
  EXPECT_EQ(GroupIconImages(res, "OTHER").size(), 2u);
  // Two groups, their five images with distinct numbers.
  std::vector<uint16_t> ids;
  for (auto& r : res)
    if (r.Type.Is(KRtIcon)) ids.push_back(r.Name.Id);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(res.size(), 7u);
  EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end()) == ids.end());

  EXPECT_FALSE(ReadIcoFile("GIF89a", images, error));
  std::string cut = IcoFile({32});
  EXPECT_FALSE(ReadIcoFile(cut.substr(0, cut.size() - 1), images, error));
}

// Setting a setup's version runs end to end in StubResources_win_test.cpp.
TEST(PeResources, VersionNumbersAndDamagedVersionResources) {
  uint16_t p[4];
  EXPECT_TRUE(ParseVersionNumber("65535.0.0.1", p));
  for (const char* bad : {"", "1.2.3.4.5", "65536", "1..2", "a.b", "1. 2", "-1"})
    EXPECT_FALSE(ParseVersionNumber(bad, p)) << bad;
  ASSERT_TRUE(ParseVersionNumber("2.5", p));
  EXPECT_EQ(p[0] * 1000 + p[1] * 100 + p[2] * 10 + p[3], 2500);
  TVersionFields given, back;
  given.ProductName = "Caf\xC3\xA9 \xE2\x9C\x93";  // UTF-8
  ASSERT_TRUE(ReadVersionResource(BuildVersionResource(given), back));
  EXPECT_EQ(back.ProductName, given.ProductName);
  EXPECT_FALSE(ReadVersionResource("\x10\x00junk", back));
}

}  // namespace
