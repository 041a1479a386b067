// What no input and no failure may do: hang on a file that is not a file, read
// a huge file before looking at its headers, or leave a temporary file or a
// cut-short file behind when the process dies.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

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
using testutil::TTempDir;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

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

// head, then nothing but a hole up to size bytes: a sparse file.
void WriteSparse(const std::string& path, const std::string& head, uint64_t size) {
  testutil::WriteFile(path, head);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

}  // namespace

TEST(NonRegularInputs, AreRefusedAtOnceByEveryReader) {
  TTempDir dir;
  const std::string pipe = dir.File("pipe.bmp");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  const std::string device = dir.File("zero.bmp");
  ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
  const std::string folder = dir.File("folder.bmp");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string socketPath = dir.File("socket.bmp");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const struct {
    const char* name;
    std::function<void(const std::string&)> read;
  } readers[] = {
      {"whole-file read", [](const std::string& p) { ReadFileBytes(p); }},
      {"list file", [](const std::string& p) { TStringList().LoadFromFile(p); }},
      {"bitmap", [](const std::string& p) { TBitmap().LoadFromFile(p); }},
      {"exclusive hold", [](const std::string& p) { TFileStream(p, fmOpenReadWrite | fmShareExclusive); }},
  };
  // A pipe with no writer would block an ordinary open for ever; the test's
  // time-out catches a reader that waits.
  for (const std::string& path : {pipe, device, folder, socketPath, std::string("/dev/null")}) {
    for (const auto& reader : readers) {
      EXPECT_EQ(ErrorOf([&] { reader.read(path); }), "Cannot open file " + path) << reader.name;
    }
  }
  ::close(sock);
}

TEST(NonRegularInputs, AGlyphStripThatIsAPipeOrADeviceWritesNothing) {
  TTempDir in, out;
  OutputDir = out.Path();
  ASSERT_EQ(::mkfifo(in.File("pipe.bmp").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/urandom", in.File("random.bmp").c_str()), 0);
  for (const char* name : {"pipe", "random"}) {
    EXPECT_EQ(ErrorOf([&] { ExtractMetrics(in.File(std::string(name) + ".metrics"), 0); }),
              "Cannot open file " + in.File(std::string(name) + ".bmp"));
  }
  EXPECT_TRUE(testutil::ListFolder(out.Path()).empty());
}

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
       "Glyph strip %s has 0 of the 153 glyph cells its font needs"},
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

namespace {

// A file environment that ends the process in the middle of a write, as the
// machine does to a run it kills.
class TDyingEnv : public TFileEnv {
 public:
  TDyingEnv(size_t limit, bool named) : FLeft(limit), FNamed(named) {}
  int64_t Write(platform::THandle file, const void* data, size_t size) override {
    if (size >= FLeft) {
      TFileEnv::Write(file, data, FLeft);
      ::_exit(kDiedInWrite);
    }
    FLeft -= size;
    return TFileEnv::Write(file, data, size);
  }
  bool UnnamedTemporaryFiles() const override { return !FNamed; }
  static constexpr int kDiedInWrite = 77;

 private:
  size_t FLeft;
  bool FNamed;
};

// Runs work in a child process that dies once limit bytes have been written.
void DieWhileWriting(size_t limit, bool named, const std::function<void()>& work) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TDyingEnv env(limit, named);
    TScopedFileEnv scope(env);
    try {
      work();
    } catch (...) {
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), TDyingEnv::kDiedInWrite) << "the child did not die in a write";
}

}  // namespace

TEST(KilledWriters, LeaveNoTemporaryAndNoCutShortFile) {
  const struct {
    const char* name;
    bool named;     // the file system has no unnamed temporary files
    bool replaces;  // the target exists
  } cases[] = {
      {"new file", false, false},
      {"replaced file", false, true},
      {"new file, named fallback", true, false},
      {"replaced file, named fallback", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    const std::string target = dir.File("f0999.bmp");
    if (c.replaces) testutil::WriteFile(target, "the old font");
    DieWhileWriting(5000, c.named, [&] { WriteFileBytes(target, std::string(100000, 'x')); });

    std::vector<std::string> left = testutil::ListFolder(dir.Path());
    // What the fallback leaves is only ever its hidden temporary file...
    EXPECT_EQ(std::erase(left, ".f0999.bmp.eitmp"), c.named ? 1u : 0u);
    EXPECT_EQ(left, c.replaces ? std::vector<std::string>{"f0999.bmp"} : std::vector<std::string>{});
    if (c.replaces) {
      EXPECT_EQ(testutil::ReadFile(target), "the old font");
    }

    // ...and the next writer of that target removes it.
    testutil::TNamedTempEnv next;
    TScopedFileEnv scope(next);
    WriteFileBytes(target, "new");
    EXPECT_EQ(testutil::ListFolder(dir.Path()), std::vector<std::string>{"f0999.bmp"});
    EXPECT_EQ(testutil::ReadFile(target), "new");
  }
}

TEST(KilledWriters, AConversionKilledPartWayLeavesTheOldFontWhole) {
  TTempDir in, out;
  const std::string metrics = testutil::WriteFont(in.Path(), "font");
  OutputDir = out.Path();
  testutil::WriteFile(out.File("font.bmp"), "old bitmap");
  testutil::WriteFile(out.File("font.metrics"), "old metrics");
  // Part-way through the packed bitmap, and part-way through the metrics text,
  // which is written after the whole bitmap (5774 bytes for this font).
  for (size_t limit : {size_t{100}, size_t{5774 + 100}}) {
    SCOPED_TRACE(limit);
    DieWhileWriting(limit, false, [&] { ExtractMetrics(metrics, 0); });
    EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{"font.bmp", "font.metrics"}));
    EXPECT_EQ(testutil::ReadFile(out.File("font.bmp")), "old bitmap");
    EXPECT_EQ(testutil::ReadFile(out.File("font.metrics")), "old metrics");
  }
}

TEST(Writer, ANewFileOnlyAppearsWhole) {
  TTempDir dir;
  const std::string target = dir.File("new.bin");
  TFileWriter writer(target);
  writer.Write("first half ");
  EXPECT_TRUE(testutil::ListFolder(dir.Path()).empty()) << "nothing under any name before the commit";
  writer.Write("second half");
  writer.Commit();
  EXPECT_EQ(testutil::ReadFile(target), "first half second half");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << "the mode of any new file";
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
