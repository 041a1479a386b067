#include "Run.h"

#include <algorithm>

#include "Exceptions.h"
#include "Formathandlers.h"
#include "SysUtils.h"

using namespace platform;

std::unique_ptr<TStringList> ResultLog;
std::unique_ptr<TStringList> ListLines;

int FilterIndexOfFile(const std::string& path) {
  const std::string ext = LowerCase(ExtractFileExt(path));
  return ext == ".metrics" ? 1 : ext == ".lst" ? 2 : ext == ".log" ? 3 : 0;
}

int32_t TListHost::ConvertSource(const std::string& path, int32_t next) { return ExtractMetrics(path, next); }

TRunResult RunEntries(TRunHost& host) {
  host.SetTotalPosition(0);
  host.SetTotalMax(100);
  TRunResult result = TRunResult::rrCompleted;
  // The list may change while messages run between entries; the walk takes it
  // as it stands before each entry.
  for (int i = 0; i < host.EntryCount(); ++i) {
    ResultLog->Add(std::string("#Format: ") + host.FormatName());
    ResultLog->Add("#Source: " + host.Entry(i));
    host.ProcessEntry(host.Mode(), host.Entry(i));
    const int count = host.EntryCount();
    host.SetTotalPosition(count > 0 ? std::min(i * 100 / count, 100) : 0);
    host.ProcessMessages();
    if (host.StopRequested()) {
      result = TRunResult::rrStopped;
      break;
    }
  }
  host.ResetStatus();
  const TInputKind mode = host.Mode();
  if (ResultLog->Count() > 0 && mode != ikLog && mode != ikProjectList) {
    ResultLog->SaveToFile(JoinPath(OutputDir, ResultLogName));
  }
  return result;
}

void DispatchItem(TListHost& host, TInputKind kind, const std::string& entry) {
  // A list file splits lines at every CR and LF, so such an entry would come
  // back from result.log or a saved list as pieces that name nothing.
  if (entry.find_first_of("\r\n") != std::string::npos) {
    throw EConvertError("Cannot process " + entry + ": a line break cannot be stored in a list file");
  }
  switch (kind) {
    case ikMetrics: ExtractMetrics(entry, 0); break;
    case ikLog:
    case ikProjectList: ProcessListFile(host, entry); break;
    default: break;
  }
}
