// Internal to src/copybook: the reference format of a copybook's lines, and the entries (the
// words up to each separator period) that the parser reads.
#ifndef RECSIFT_COPYBOOK_SOURCE_H_
#define RECSIFT_COPYBOOK_SOURCE_H_

#include <string>
#include <string_view>
#include <vector>

#include "copybook/copybook.h"

namespace recsift::copybook {

// One word or literal of an entry.
struct Word {
  std::string text;     // as written; upper-cased unless quoted
  int line = 0;         // copybook line it begins on
  bool quoted = false;  // a quoted literal (text without its quotes)
};

// One data description entry: its words, the terminating period left out.
struct Entry {
  std::vector<Word> words;  // never empty
};

// The copybook's lines as read (line ends and trailing blanks removed), for error texts.
struct Source {
  std::vector<std::string> lines;  // lines[0] is line 1
  std::vector<Entry> entries;      // in the order written
};

// Splits a copybook into entries. Returns 0, or 1 with *error filled.
int read_source(std::string_view text, Source* source, Error* error);

// Fills *error for a fault on a line of the source.
int fail(const Source& source, int line, std::string reason, Error* error);

}  // namespace recsift::copybook

#endif  // RECSIFT_COPYBOOK_SOURCE_H_
