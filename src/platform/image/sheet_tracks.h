#pragma once

#include <libcue.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace noru::platform::image {

// One TRACK of a cue sheet as libcue reads it; times in frames, -1 where the sheet gives none.
struct SheetTrack {
  int number = 0;        // 1-based, in sheet order
  std::string fileName;  // empty when the track belongs to no FILE
  TrackMode mode = MODE_AUDIO;
  long index0 = -1;
  long index1 = -1;
  long pregap = -1;          // PREGAP (not in the file), or INDEX 01 - INDEX 00
  long postgap = -1;         // POSTGAP (not in the file)
  std::uint8_t control = 0;  // Q sub-channel CONTROL nibble (data bit, copy, pre-emphasis)
  // The track's TITLE, PERFORMER and ISRC lines, as written; empty where the sheet has none.
  std::string title;
  std::string performer;
  std::string isrc;
};

// A cue sheet as libcue reads it: the disc's TITLE and PERFORMER and the file its CDTEXTFILE
// names, as written (empty where the sheet has none), and its tracks.
struct SheetContents {
  std::string title;
  std::string performer;
  std::string cdTextFile;
  std::vector<SheetTrack> tracks;
};

// What libcue reads from `sheet`; nothing when it refuses the sheet.
//
// libcue keeps its scanner's and parser's state in globals, and a malformed sheet leaves them
// behind to spoil the next one. So each sheet is parsed in a forked child process that starts
// from this process's untouched copy of them; the child also keeps libcue's complaints off the
// terminal, and a sheet that crashes libcue takes down only the child.
std::optional<SheetContents> readSheetContents(const std::string& sheet);

}  // namespace noru::platform::image
