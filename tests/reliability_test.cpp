// What no input and no failure may do: read a huge file before looking at its
// headers, read a text past its end, or change a file that already holds its
// content. What is POSIX's own is in reliability_posix_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "Classes.h"
#include "Exceptions.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Graphics.h"
#include "TestUtil.h"

using namespace platform;
using testutil::ErrorOf;
using testutil::TTempDir;

namespace {

void PutLE(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char((v >> (8 * i)) & 0xFF);
}

// The file header and a 40-byte info header; 8-bit files get a grey colour table.
std::string BmpHeaders(int width, int height, int bits, uint32_t compression = 0) {
  const uint32_t colors = bits <= 8 ? 1u << bits : 0;
  const uint32_t offBits = 14 + 40 + colors * 4;
  std::string h = "BM";
  PutLE(h, 0, 4);  // file size: not looked at
  PutLE(h, 0, 4);
  PutLE(h, offBits, 4);
  PutLE(h, 40, 4);
  PutLE(h, static_cast<uint32_t>(width), 4);
  PutLE(h, static_cast<uint32_t>(height), 4);
  PutLE(h, 1, 2);
  PutLE(h, static_cast<uint32_t>(bits), 2);
  PutLE(h, compression, 4);
  for (int i = 0; i < 5; ++i) PutLE(h, 0, 4);
  for (uint32_t i = 0; i < colors; ++i) PutLE(h, i * 0x010101u, 4);
  return h;
}

// head, then nothing but a hole up to size bytes: a sparse file where the
// file system has them.
void WriteSparse(const std::string& path, const std::string& head, uint64_t size) {
  testutil::WriteFile(path, head);
  std::filesystem::resize_file(path, size);
}

}  // namespace

TEST(TextFiles, AreReadOnlyUpToTheirFirstByteZero) {
  TTempDir dir;
  const std::string path = dir.File("list.log");
  testutil::WriteFile(path, std::string("a\r\nb\0", 5) + std::string(8 << 20, 'x'));
  testutil::TCountingEnv env;
  TScopedFileEnv scope(env);
  TStringList list;
  list.LoadFromFile(path);
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"a", "b"}));
  EXPECT_LE(env.BytesRead, 64u << 10);
}

TEST(HugeFiles, AreRefusedFromTheirHeadersWithoutReadingThePixels) {
  constexpr uint64_t kFourGiB = uint64_t{4} << 30;
  const struct {
    const char* name;
    std::string head;
    const char* message;  // %s: the strip
  } cases[] = {
      {"24 bits, 20000 x 20000: past the pixel limit", BmpHeaders(20000, 20000, 24),
       "Bitmap image is not valid"},
      {"8 bits, 20000 x 20000: plausible, but its marker row is black", BmpHeaders(20000, 20000, 8),
       "Glyph strip %s has 0 of the 153 glyph cells its font needs: its marker row marks no cell; \"!\" has none"},
      {"RLE8, 20000 x 20000, all zero bytes", BmpHeaders(20000, 20000, 8, 1), "Bitmap image is not valid"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir in, out;
    OutputDir = out.Path();
    WriteSparse(in.File("huge.bmp"), c.head, kFourGiB);
    testutil::TCountingEnv env;
    TScopedFileEnv scope(env);
    EXPECT_EQ(ErrorOf([&] { ExtractMetrics(in.File("huge.metrics"), 0); }), Format(c.message, in.File("huge.bmp")));
    // The headers, one marker row, or the RLE codes up to the first fault.
    EXPECT_LE(env.BytesRead, 128u << 10);
    EXPECT_TRUE(testutil::ListFolder(out.Path()).empty());
  }
}

TEST(HugeFiles, CutShortFilesAreRefusedFromTheirHeaders) {
  const std::string headers24 = BmpHeaders(1000, 1000, 24);
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"shorter than the file header", "BM" + std::string(10, '\0'), "Stream read error"},
      {"the file header alone", headers24.substr(0, 14), "Bitmap image is not valid"},
      {"half an info header", headers24.substr(0, 34), "Bitmap image is not valid"},
      {"3 MB of declared pixels in 1 MB", headers24 + std::string(1 << 20, '\x7F'), "Bitmap image is not valid"},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testutil::WriteFile(dir.File("cut.bmp"), c.bytes);
    testutil::TCountingEnv env;
    TScopedFileEnv scope(env);
    EXPECT_EQ(ErrorOf([&] { TBitmap().LoadFromFile(dir.File("cut.bmp")); }), c.message);
    EXPECT_LE(env.BytesRead, kBmpHeadBytes);
  }
}

TEST(Writer, AWriterThatIsNotCommittedChangesNothing) {
  TTempDir dir;
  testutil::WriteFile(dir.File("old.bin"), "old");
  for (bool named : {false, true}) {
    testutil::TNamedTempEnv namedEnv;
    TFileEnv plain;
    TScopedFileEnv scope(named ? static_cast<TFileEnv&>(namedEnv) : plain);
    {
      TFileWriter replaced(dir.File("old.bin"));
      TFileWriter created(dir.File("new.bin"));
      replaced.Write("changed");
      created.Write("created");
    }
    EXPECT_EQ(testutil::ListFolder(dir.Path()), std::vector<std::string>{"old.bin"}) << named;
    EXPECT_EQ(testutil::ReadFile(dir.File("old.bin")), "old");
  }
}

TEST(Writer, LeavesATargetThatAlreadyHoldsTheContentUntouched) {
  const std::string big(300 * 1024, 'b');  // more than one block of comparison
  const struct {
    const char* name;
    std::string old;
    std::vector<std::string> pieces;
    bool untouched;
  } cases[] = {
      {"the same bytes", "same content", {"same ", "content"}, true},
      {"the same large content", big + "end", {big, "end"}, true},
      {"both empty", "", {}, true},
      {"a difference in the last byte", big + "end", {big, "enD"}, false},
      {"the old content is a prefix", "short", {"short", " and more"}, false},
      {"the new content is a prefix", "longer content", {"longer"}, false},
      {"a new empty content", "old", {}, false},
  };
  TTempDir dir;
  for (bool named : {false, true}) {
    testutil::TNamedTempEnv namedEnv;
    TFileEnv plain;
    TScopedFileEnv scope(named ? static_cast<TFileEnv&>(namedEnv) : plain);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (named ? ", named fallback" : ""));
      const std::string path = dir.File("target");
      testutil::WriteFile(path, c.old);
      testutil::MakeOld(path);
      const auto before = testutil::FileIdentity(path);
      TFileWriter writer(path);
      std::string content;
      for (const std::string& piece : c.pieces) {
        writer.Write(piece);
        content += piece;
      }
      writer.Commit();
      EXPECT_EQ(writer.Unchanged(), c.untouched);
      EXPECT_EQ(testutil::ReadFile(path), content);
      EXPECT_EQ(testutil::FileIdentity(path) == before, c.untouched);
      EXPECT_EQ(testutil::ListFolder(dir.Path()), std::vector<std::string>{"target"});
    }
  }
}

TEST(Writer, RefusesATargetThatCannotBeWrittenEvenWithTheSameBytes) {
  TTempDir dir;
  const std::string readOnly = dir.File("ro.metrics");
  testutil::WriteFile(readOnly, "same");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_EQ(ErrorOf([&] { WriteFileBytes(readOnly, "same"); }), "Cannot create file " + readOnly);
}
