// The run-wide state and the static tables that the window, the run and the
// list interpreter share.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "Classes.h"
#include "FileIO.h"

// The kind of the entries of the input list, and the handler of a list file's
// sources. The input list's kind is 0 until the first add.
using TInputKind = uint8_t;
inline constexpr TInputKind ikMetrics = 1;      // font metrics files: the glyph strip converter
inline constexpr TInputKind ikLog = 2;          // run log files
inline constexpr TInputKind ikProjectList = 3;  // lines of a project list file
inline constexpr TInputKind ikNone = 4;         // no handler

// The format table. Filter entry f (from 1) of the open dialog selects row
// f - 1; the list interpreter looks format names up in row order.
inline constexpr std::array<const char*, 3> FormatNames = {"MET", "", ""};
inline constexpr std::array<TInputKind, 3> FormatModes = {ikMetrics, ikProjectList, ikLog};

// The directive keywords of a list file, in the order they are compared.
inline constexpr std::array<const char*, 3> Directives = {"#Format:", "#Source:", "#Target"};

// The run log of a run, and the lines of the list file being interpreted. The
// main window (or the batch command) creates them at start-up and frees them.
extern std::unique_ptr<platform::TStringList> ResultLog;
extern std::unique_ptr<platform::TStringList> ListLines;

// The source that the list interpreter holds open while its line is handled.
extern std::unique_ptr<platform::TFileStream> SourceStream;
