// All file access of the system goes through here: reading regular files, the
// one writer that gives a file its name only once its content is complete, and
// the exclusive hold on a file. The low-level reads and writes go through
// TFileEnv, so a test can count what is read or make writes fail part-way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// An open file of the system: a file descriptor, or a Windows handle.
using THandle = intptr_t;

// The system calls that the readers and the writer make. A test double
// overrides only the call it needs, for example one that fails writes after N
// bytes, or one that counts the bytes read.
class TFileEnv {
 public:
  virtual ~TFileEnv() = default;
  // Up to size bytes at offset; 0 at the end; -1 on error.
  virtual int64_t ReadAt(THandle file, void* data, size_t size, uint64_t offset);
  // Up to size bytes at the end of what was written; -1 on error.
  virtual int64_t Write(THandle file, const void* data, size_t size);
  // Whether the writer may use unnamed temporary files, where the file system
  // has them. Off, it always takes the named fallback.
  virtual bool UnnamedTemporaryFiles() const { return true; }

  // The environment in force; the real one unless a TScopedFileEnv is alive.
  static TFileEnv& Current();
};

// Installs env for its lifetime.
class TScopedFileEnv {
 public:
  explicit TScopedFileEnv(TFileEnv& env);
  ~TScopedFileEnv();
  TScopedFileEnv(const TScopedFileEnv&) = delete;
  TScopedFileEnv& operator=(const TScopedFileEnv&) = delete;

 private:
  TFileEnv* FPrevious;
};

// A regular file open for reading. Only regular files are read: a pipe, a
// device, a socket or a folder is refused at once, and the open never waits.
// The type is checked on what was opened, not on the name, so nothing can be
// swapped in between.
class TReadFile {
 public:
  // Raises EFOpenError (with path) when path is missing, cannot be opened for
  // reading, or is not a regular file.
  explicit TReadFile(const std::string& path);
  ~TReadFile();
  TReadFile(const TReadFile&) = delete;
  TReadFile& operator=(const TReadFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  // The size the file had when it was opened.
  uint64_t Size() const { return FSize; }

  // Up to size bytes at offset; fewer only where the file ends. Raises
  // EReadError when reading fails.
  size_t ReadAt(uint64_t offset, void* into, size_t size);
  // Exactly size bytes at offset; EReadError when the file ends before.
  void ReadExactly(uint64_t offset, void* into, size_t size);

 private:
  std::string FFileName;
  THandle FHandle = -1;
  uint64_t FSize = 0;
};

// The whole of a regular file (see TReadFile for what is refused).
std::string ReadFileBytes(const std::string& path);

// A text file up to its first byte 0: nothing after it is read.
std::string ReadTextFileBytes(const std::string& path);

// A file being written. Its content goes to a temporary file in the target's
// folder and takes the target's name only in Commit, complete: a new file
// appears whole, an existing one is replaced in one step, and a failure or a
// process killed at any moment leaves the target as it was. Where the file
// system has them the temporary file has no name, so a killed process leaves
// nothing behind; elsewhere it is the hidden ".NAME.eitmp" beside the target,
// and the next writer of that target removes one that was left over.
//
// An existing target whose bytes are already exactly the new content is left
// untouched, its time stamps included: the content is compared with it as it
// comes, and a temporary file is made only from the first byte that differs.
class TFileWriter {
 public:
  // Raises EFCreateError (with path) when path exists read-only or as a
  // folder, or when its folder cannot take a new file.
  explicit TFileWriter(std::string path);
  // Without a Commit the temporary file goes and the target stays as it was.
  ~TFileWriter();
  TFileWriter(const TFileWriter&) = delete;
  TFileWriter& operator=(const TFileWriter&) = delete;

  const std::string& FileName() const { return FPath; }

  // Raises EWriteError when the data cannot be written in full.
  void Write(std::string_view data);
  // Gives the content its name: EWriteError or EFCreateError on failure, the
  // target then unchanged.
  void Commit();
  // After the commit: whether the target already held the content.
  bool Unchanged() const { return FUnchanged; }

 private:
  friend void CommitTogether(std::initializer_list<TFileWriter*> writers);
  // Everything of a commit that can fail for the content's sake; after it only
  // the step that gives the name is left.
  void Prepare();
  void Publish();
  // The system's part of Prepare and Publish, for content that differs.
  void PrepareTemporary();
  void PublishTemporary();
  void Discard();
  // Opens the temporary file; raises EFCreateError.
  void OpenTemporary();
  // Opens the old target for the comparison; false where it cannot be read
  // (it is then simply replaced).
  bool OpenOld();
  // Ends the comparison with the old target: the temporary file is opened and
  // takes the bytes that matched so far.
  void StopComparing();
  void WriteOut(std::string_view data);

  std::string FPath;
  std::string FTempPath;  // the hidden name; for an unnamed file, used only to replace
  THandle FHandle = -1;
  std::unique_ptr<TReadFile> FOld;  // the old target, while the content matches it
  uint64_t FMatched = 0;            // bytes of content that are the old target's own
  std::string FScratch;     // old bytes being compared
  bool FUnchanged = false;
  bool FUnnamed = false;    // the content is in a file without a name
  bool FLinked = false;     // the content stands under FTempPath
  bool FExists = false;     // the target existed when the writer was made
  unsigned FMode = 0;       // the mode the target is to have
  bool FPrepared = false;
  bool FCommitted = false;
};

// Commits writers as one change: everything that can fail happens for all of
// them first, then each gets its name, in the order given. So when any of them
// cannot be written, none of the targets changes.
void CommitTogether(std::initializer_list<TFileWriter*> writers);

// Creates path or replaces it with data, through one TFileWriter.
void WriteFileBytes(const std::string& path, std::initializer_list<std::string_view> pieces);
inline void WriteFileBytes(const std::string& path, std::string_view data) {
  WriteFileBytes(path, {data});
}

// Open modes of TFileStream.
enum TFileMode : unsigned {
  fmOpenRead = 0x0000,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
};

// An open file, closed when the stream is destroyed. Used to hold a file: with
// fmShareExclusive no other exclusive hold on it succeeds meanwhile.
class TFileStream {
 public:
  // Raises EFOpenError (with path) when the file cannot be opened in mode: not
  // a regular file (a folder, a pipe, a device), a file without write
  // permission for fmOpenReadWrite, or a file that is held elsewhere for
  // fmShareExclusive. Never waits.
  TFileStream(const std::string& path, unsigned mode);
  ~TFileStream();
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  const std::string& FileName() const { return FFileName; }

 private:
  friend class TFileWriter;
  // Where the system replaces no open file (Windows), the writer finds this
  // process's exclusive hold on its target, closes it for the moment of the
  // replacement and opens it again on the new file. Defined only there.
  static TFileStream* HeldStream(const std::string& path);
  // Opens FFileName in FMode; FHandle stays -1 when that fails.
  void Open();

  std::string FFileName;
  unsigned FMode = 0;
  THandle FHandle = -1;
};

// File attribute mask of FindFirst: 63 counts every kind of entry.
inline constexpr int faAnyFile = 63;

// True when path names an existing entry. A last path component holding "*" or
// "?" is matched as a wildcard against its folder.
bool FindFirst(const std::string& path, int attr);

}  // namespace platform
