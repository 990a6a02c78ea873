// The message catalogue and the message printer.
//
// The catalogue is the file "recsift.msg", found beside the program (or along PATH) and loaded
// whole at the first message of the run, so that every number of the file can be shown whatever
// the first message was. Its lines are "E", three digits, a separator column and the text up to a
// "!" (what follows is a remark); other lines, and lines with "RV" in columns 9-10, are ignored.
//
// The printer underlines the offending token under the statement's echo, prints the framed
// message line, copies the run's first message to the log stream, dumps the most recent input
// block after a run-time message and clears the pending message.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "base/fatal.h"
#include "convert/convert.h"
#include "host/host.h"
#include "report/report.h"

namespace recsift::report {

namespace {

constexpr const char* kCatalogueName = "recsift.msg";
constexpr int kLineMax = 99;                 // characters of a catalogue line that count
constexpr int kTextColumn = 5;               // 0-based: the text starts after the separator
constexpr int kEchoPrefix = 10;              // listing column of the statement's first byte
constexpr int32_t kNoUnderlineMessage = 17;  // statement out of order: no token to blame
constexpr std::string_view kCompileFrame = "*** ERROR 999 ***  ";
constexpr int kCompileNumberAt = 10;
constexpr std::string_view kRunFrame = "*** SELECTION TIME ERROR 999 ***   ";
constexpr int kRunNumberAt = 25;
constexpr int kRunIndent = 18;          // blanks before the run-time frame
constexpr int kLogTitleColumns = 17;    // page title columns that replace the frame
constexpr size_t kLogCopyColumns = 77;  // the log copy is cut after this column

// A message line: "E", three digits, and not an "RV" line.
bool is_message_line(const std::string& line) {
  if (line.size() < 4 || line[0] != 'E') return false;
  for (int i = 1; i <= 3; ++i) {
    if (std::isdigit(static_cast<unsigned char>(line[i])) == 0) return false;
  }
  return !(line.size() >= 10 && line[8] == 'R' && line[9] == 'V');
}

// Reads one line of at most kLineMax characters (the rest of a longer line is passed over).
// Returns false at the end of the file.
bool read_line(std::FILE* file, std::string& line) {
  line.clear();
  int c = std::fgetc(file);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
    if (line.size() < kLineMax) line.push_back(static_cast<char>(c));
  }
  return true;
}

void clear_pending(Messages& messages) {
  messages.pending = 0;
  messages.mark_offset = -1;
  messages.mark_length = 0;
  messages.warning = false;
  messages.file_name = nullptr;
  messages.file_message = nullptr;
  messages.input_block = nullptr;
  messages.input_block_length = 0;
}

// The most recent input block after a run-time message, in the dump format. The line prefix
// belongs to no printing statement, so it shows zeros, and the run-wide dump settings apply;
// what the caller had set for its own record prints is put back afterwards.
void dump_input_block(Listing& listing, const Messages& messages) {
  listing_print(listing, nullptr, PT_SPACE, 1);
  listing_print(listing, "MOST RECENT INPUT BLOCK (PRINTED FROM I/O BUFFER)....", PT_TEXT, 0);
  const int32_t print_length = listing.print_length;
  const int32_t record_length = listing.record_length;
  const int64_t input_number = listing.input_number;
  const int64_t selection_total = listing.selection_total;
  const int32_t selection_id = listing.selection_id;
  const bool statement_dump = listing.statement_dump;
  listing.print_length = messages.input_block_length;
  listing.record_length = messages.input_block_length;
  listing.input_number = 0;
  listing.selection_total = 0;
  listing.selection_id = 0;
  listing.statement_dump = false;
  listing_print(listing, messages.input_block, PT_DUMP, 0);
  listing.print_length = print_length;
  listing.record_length = record_length;
  listing.input_number = input_number;
  listing.selection_total = selection_total;
  listing.selection_id = selection_id;
  listing.statement_dump = statement_dump;
}

// Marks the offending token under the statement's echo: blanks up to its column, then the
// underline character over its length. Printed as an echo without a statement number.
void print_underline(Listing& listing, const Messages& messages, char underline) {
  if (messages.mark_offset < 0 || messages.mark_length <= 0) return;
  if (messages.pending == kNoUnderlineMessage) return;
  const int64_t column = int64_t{messages.mark_offset} + kEchoPrefix;
  if (column <= 0 || column + messages.mark_length >= kEchoLineSize) return;
  std::string line(static_cast<size_t>(column), ' ');
  line.append(static_cast<size_t>(messages.mark_length), underline);
  listing_print(listing, line.c_str(), PT_ECHO, 0);
}

// The run's first message on the log stream: the frame's first columns give way to the page
// title, so the console shows which program complains.
void copy_to_log(Listing& listing, const std::string& line) {
  std::string copy = line;
  const char* title = listing.heading_1 != nullptr ? listing.heading_1 + 2 : nullptr;
  for (int i = 0; i < kLogTitleColumns && i < static_cast<int>(copy.size()); ++i) {
    if (title != nullptr) {
      copy[i] = title[i];
    } else {
      copy[i] = i < static_cast<int>(listing.title.size()) ? listing.title[i] : ' ';
    }
  }
  if (copy.size() > kLogCopyColumns) copy.resize(kLogCopyColumns);
  copy.push_back('\n');
  std::fputs(copy.c_str(), base::log_stream());
}

}  // namespace

int32_t load_catalogue(Messages& messages, const std::string& path) {
  messages.catalogue.assign("\n");
  messages.catalogue_loaded = true;
  if (path.empty()) return 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  int32_t kept = 0;
  std::string line;
  while (read_line(file, line)) {
    if (!is_message_line(line)) continue;
    // Only the text counts: a remark after "!" and the line end are not kept.
    const size_t end = line.find_first_of("\r!", kTextColumn < static_cast<int>(line.size())
                                                     ? static_cast<size_t>(kTextColumn)
                                                     : line.size());
    line.resize(end == std::string::npos ? line.size() : end);
    if (messages.catalogue.size() + line.size() + 1 > static_cast<size_t>(kCatalogueLimit)) break;
    messages.catalogue += line;
    messages.catalogue += '\n';
    ++kept;
  }
  std::fclose(file);
  return kept;
}

std::string_view message_text(Messages& messages, int32_t number) {
  if (!messages.catalogue_loaded) {
    load_catalogue(messages, host::find_file(kCatalogueName, messages.program_dir));
  }
  if (number < 0 || number > 999) return kMissingMessageText;
  char key[8];
  std::snprintf(key, sizeof key, "\nE%03d", static_cast<int>(number));
  const size_t at = messages.catalogue.find(key);
  if (at == std::string::npos) return kMissingMessageText;
  const size_t line_end = messages.catalogue.find('\n', at + 1);
  const size_t start = std::min(at + 1 + kTextColumn, line_end);
  return std::string_view(messages.catalogue).substr(start, line_end - start);
}

int32_t print_message(Listing& listing, Messages& messages) {
  if (messages.pending == 0 && !messages.warning) return messages.printed;
  const bool warning_only = messages.pending == 0;
  if (warning_only && listing.no_echo) {
    clear_pending(messages);
    return messages.printed;
  }
  // Messages belong to the listing, whatever the last PRINT or LOG statement chose.
  const uint8_t destination = listing.destination;
  listing.destination = DEST_LISTING;
  print_underline(listing, messages, warning_only ? '-' : '*');
  if (warning_only) {
    clear_pending(messages);
    listing.destination = destination;
    return messages.printed;
  }

  const int32_t number = messages.pending;
  std::string_view text = message_text(messages, number);
  std::string line;
  if (number < kFirstRunTimeMessage) {
    line = kCompileFrame;
    convert::edit_number(&line[kCompileNumberAt], number, "999");
    line += text;
    listing_print(listing, line.c_str(), PT_TEXT, 0);
    listing_print(listing, nullptr, PT_SPACE, 1);
  } else {
    listing_print(listing, "", PT_TEXT, 0);
    line.assign(kRunIndent, ' ');
    line += kRunFrame;
    convert::edit_number(&line[kRunIndent + kRunNumberAt], number, "999");
    // An "f" before the text marks a message about a file: it names the file, and the file
    // layer's own account of the failure, when it has one, replaces the catalogue's.
    if (!text.empty() && text.front() == 'f') {
      text.remove_prefix(1);
      if (messages.file_name != nullptr && *messages.file_name != '\0') {
        line += "F=";
        line += messages.file_name;
        line += " - ";
        if (messages.file_message != nullptr && *messages.file_message != '\0') {
          text = messages.file_message;
        }
      }
    }
    line += text;
    listing_print(listing, line.c_str(), PT_TEXT, 0);
  }
  ++messages.printed;
  if (messages.printed == 1) {
    log_banner_once(listing);
    copy_to_log(listing, line);
  }
  if (number >= kFirstRunTimeMessage && messages.input_block != nullptr &&
      messages.input_block_length > 0) {
    dump_input_block(listing, messages);
  }
  clear_pending(messages);
  listing.destination = destination;
  return messages.printed;
}

}  // namespace recsift::report
