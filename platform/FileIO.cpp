#include "FileIO.h"

#include <algorithm>
#include <cstring>

#include "Exceptions.h"

// What the file layer does alike on every system; the system calls are in
// FileIO_posix.cpp and FileIO_windows.cpp.

namespace platform {

namespace {

TFileEnv* CurrentEnv = nullptr;

}  // namespace

TFileEnv& TFileEnv::Current() {
  static TFileEnv real;
  return CurrentEnv ? *CurrentEnv : real;
}

TScopedFileEnv::TScopedFileEnv(TFileEnv& env) : FPrevious(CurrentEnv) { CurrentEnv = &env; }
TScopedFileEnv::~TScopedFileEnv() { CurrentEnv = FPrevious; }

// ---------------------------------------------------------------------------
// Reading

size_t TReadFile::ReadAt(uint64_t offset, void* into, size_t size) {
  TFileEnv& env = TFileEnv::Current();
  size_t done = 0;
  while (done < size) {
    const int64_t n = env.ReadAt(FHandle, static_cast<char*>(into) + done, size - done, offset + done);
    if (n < 0) throw EReadError();
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void TReadFile::ReadExactly(uint64_t offset, void* into, size_t size) {
  if (ReadAt(offset, into, size) != size) throw EReadError();
}

std::string ReadFileBytes(const std::string& path) {
  TReadFile file(path);
  std::string data(static_cast<size_t>(file.Size()), '\0');
  data.resize(file.ReadAt(0, data.data(), data.size()));
  return data;
}

std::string ReadTextFileBytes(const std::string& path) {
  constexpr size_t kBlock = 64 * 1024;
  TReadFile file(path);
  std::string text;
  for (;;) {
    const size_t used = text.size();
    text.resize(used + kBlock);
    const size_t n = file.ReadAt(used, text.data() + used, kBlock);
    text.resize(used + n);
    if (const void* zero = std::memchr(text.data() + used, '\0', n)) {
      text.resize(static_cast<size_t>(static_cast<const char*>(zero) - text.data()));
      return text;
    }
    if (n < kBlock) return text;
  }
}

// ---------------------------------------------------------------------------
// Writing

TFileWriter::~TFileWriter() {
  if (!FCommitted) Discard();
}

namespace {

constexpr size_t kFirstCompareBlock = 4 * 1024;
constexpr size_t kCompareBlock = 256 * 1024;

}  // namespace

bool TFileWriter::OpenOld() {
  try {
    FOld = std::make_unique<TReadFile>(FPath);
    return true;
  } catch (const EFOpenError&) {
    return false;
  }
}

void TFileWriter::StopComparing() {
  const std::unique_ptr<TReadFile> old = std::move(FOld);
  try {
    OpenTemporary();
    // The bytes that matched are the old target's: they are copied from it.
    FScratch.resize(static_cast<size_t>(std::min<uint64_t>(FMatched, kCompareBlock)));
    for (uint64_t at = 0; at < FMatched;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(FMatched - at, kCompareBlock));
      try {
        old->ReadExactly(at, FScratch.data(), want);
      } catch (const EReadError&) {
        throw EWriteError();  // the content cannot be completed
      }
      WriteOut(std::string_view(FScratch.data(), want));
      at += want;
    }
  } catch (...) {
    Discard();
    throw;
  }
  FScratch = std::string();
}

void TFileWriter::Write(std::string_view data) {
  if (FOld) {
    // Compared block by block; the first difference, the old file ending, or
    // a read that fails ends the comparison. The blocks grow from a small
    // first one, so that a difference near the start, as in a changed header,
    // costs little reading.
    size_t same = 0;
    size_t block = kFirstCompareBlock;
    while (same < data.size() && FMatched + same < FOld->Size()) {
      const size_t want = std::min({data.size() - same, block, kCompareBlock});
      block *= 2;
      if (FScratch.size() < want) FScratch.resize(want);
      size_t n = 0;
      try {
        n = FOld->ReadAt(FMatched + same, FScratch.data(), want);
      } catch (const EReadError&) {
        break;
      }
      if (n == 0 || std::memcmp(FScratch.data(), data.data() + same, n) != 0) break;
      same += n;
    }
    if (same == data.size()) {
      FMatched += same;
      return;
    }
    StopComparing();
  }
  WriteOut(data);
}

void TFileWriter::WriteOut(std::string_view data) {
  if (FHandle < 0) throw EWriteError();  // a failed write already discarded the content
  TFileEnv& env = TFileEnv::Current();
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    const int64_t n = env.Write(FHandle, p, left);
    if (n <= 0) {
      Discard();
      throw EWriteError();
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void TFileWriter::Prepare() {
  if (FPrepared) return;
  if (FOld) {
    if (FMatched == FOld->Size()) {
      // The target already holds exactly this content: nothing to do.
      FOld.reset();
      FUnchanged = true;
      FPrepared = true;
      return;
    }
    StopComparing();  // the new content is shorter than the old
  }
  if (FHandle < 0) throw EWriteError();  // a failed write already discarded the content
  PrepareTemporary();
  FPrepared = true;
}

void TFileWriter::Publish() {
  if (!FUnchanged) PublishTemporary();
  FCommitted = true;
}

void TFileWriter::Commit() { CommitTogether({this}); }

void CommitTogether(std::initializer_list<TFileWriter*> writers) {
  for (TFileWriter* writer : writers) writer->Prepare();
  for (TFileWriter* writer : writers) writer->Publish();
}

void WriteFileBytes(const std::string& path, std::initializer_list<std::string_view> pieces) {
  TFileWriter writer(path);
  for (const std::string_view data : pieces) writer.Write(data);
  writer.Commit();
}

}  // namespace platform
