// The run: the walk over the input list, the run log and result.log, the
// dispatch of each entry by its kind, and the interpreter of list files. None of
// it touches a widget: the window and the batch command each implement the
// host interfaces below.
#pragma once

#include <string>

#include "Globals.h"

// What the list interpreter shows and asks of its host, and the interpreter's
// state, which lives with the host.
class TListHost {
 public:
  virtual ~TListHost() = default;

  virtual void SetStatusText(const std::string& text) = 0;  // the status caption
  virtual void SetTotalMax(int max) = 0;                    // the whole-file bar
  virtual void SetTotalPosition(int position) = 0;
  virtual void StepProgress() = 0;  // the per-line bar: one step, staying full at its maximum
  virtual void ProcessMessages() = 0;  // lets pending window messages run
  virtual bool StopRequested() const = 0;
  // The interpreter is about to handle line index (from 0) of the list file at
  // path; a host that names the place of an error keeps it.
  virtual void EnterListLine(const std::string& path, int index) {}
  // Converts the font of a source, as ExtractMetrics does, and returns the
  // index of the list line to go on after. A host that only checks fonts
  // does so here instead.
  virtual int32_t ConvertSource(const std::string& path, int32_t next);

  TInputKind FListFormat = 0;  // the handler chosen by the last "#Format:" line
  bool FPlainLine = false;     // true while the current line is not a directive
};

// What a run needs beyond that: the entries, read afresh at every use, and the
// item processor.
class TRunHost : public TListHost {
 public:
  virtual int EntryCount() const = 0;
  // The entry at index; an index past the end reads as an empty entry.
  virtual std::string Entry(int index) const = 0;
  virtual TInputKind Mode() const = 0;
  // The format name for the run log's "#Format: " lines.
  virtual std::string FormatName() const = 0;
  // Handles one entry; the window does so through its bound item processor.
  virtual void ProcessEntry(TInputKind kind, const std::string& entry) = 0;
  // After the walk: status texts emptied, both bars at 0.
  virtual void ResetStatus() = 0;
};

// The open dialog's filter entry (from 1) whose pattern a file's extension
// matches, in any letter case: 1 "*.metrics", 2 "*.lst", 3 "*.log"; 0 for
// none. Its kind is FormatModes[entry - 1].
int FilterIndexOfFile(const std::string& path);

enum class TRunResult { rrCompleted, rrStopped };

inline constexpr char ResultLogName[] = "result.log";

// Walks the entries from the top, counting them afresh before each one: appends
// "#Format: " and "#Source: " lines to ResultLog, hands the entry to the host's
// item processor, moves the whole-run bar to (i * 100) div n and lets messages
// run. A stop request seen after an entry ends the walk there. Then the status
// is reset and, unless the kind is ikLog or ikProjectList, a non-empty ResultLog
// is written as OutputDir/result.log. ResultLog must have been cleared and
// OutputDir chosen. Errors pass through: the walk ends at the failing entry and
// nothing after it happens.
TRunResult RunEntries(TRunHost& host);

// The item processor's dispatch: ikMetrics entries go to the converter,
// ikLog and ikProjectList entries to the list interpreter; other kinds do nothing.
// An entry that holds a CR or an LF is refused before anything is done for it
// (EConvertError): its run log line could not be read back as one line.
void DispatchItem(TListHost& host, TInputKind kind, const std::string& entry);

// Interprets the list file at path: "#Format:" lines choose the handler of the
// sources that follow, and each "#Source:" line under "MET" has the converter
// work on the file of the same name in OutputDir, while the source itself is
// held open exclusively. Uses ListLines; reports through host; stops after the
// current line when host asks to stop. Errors pass through, the source released.
void ProcessListFile(TListHost& host, const std::string& path);
