#include "SupportWin.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/WriteBehind.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

namespace {

HANDLE Create(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed) >> 3);
  return s;
}

}  // namespace

// Files of several buffers, written in uneven pieces one after the other
// through one writer, arrive whole and in order.
TEST(WriteBehind, FilesSpanningBuffersArriveWholeAndInOrder) {
  ScratchDir d("korvix_writebehind");
  TWriteBehind writer;
  const size_t sizes[] = {3 * TWriteBehind::KBufferSize + 4321, 0, 17, TWriteBehind::KBufferSize};
  for (unsigned k = 0; k < 4; ++k) {
    const std::string path = d / ("f" + std::to_string(k));
    const std::string bytes = Pattern(sizes[k], k);
    THandle file(Create(path, GENERIC_WRITE));
    ASSERT_TRUE(file);
    writer.Begin(file.Get());
    for (size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 7 % 700001 + 1)
      writer.Write(bytes.data() + at, std::min(piece, bytes.size() - at));
    EXPECT_TRUE(writer.Finish());
    file.Reset();
    EXPECT_EQ(bytes, ReadFilePart(path, 0, false, 0)) << k;
  }
}

// A write that fails is reported when the file ends, and the next file
// starts clean.
TEST(WriteBehind, AFailedWriteIsReportedAndTheNextFileStillWrites) {
  ScratchDir d("korvix_writebehind_fail");
  TWriteBehind writer;
  THandle readOnly(Create(d / "ro", GENERIC_READ));
  ASSERT_TRUE(readOnly);
  writer.Begin(readOnly.Get());
  const std::string bytes = Pattern(2 * TWriteBehind::KBufferSize + 5, 1);
  writer.Write(bytes.data(), bytes.size());
  EXPECT_FALSE(writer.Finish());

  THandle good(Create(d / "good", GENERIC_WRITE));
  writer.Begin(good.Get());
  writer.Write("abc", 3);
  EXPECT_TRUE(writer.Finish());
  good.Reset();
  EXPECT_EQ("abc", ReadFilePart(d / "good", 0, false, 0));
}
