// The control-statement reader: control-input entries and the file finder, logical lines, the
// statement-text store, the end of the command-line statements, and the statement loop that
// cuts lines into statements and hands each to the compiler.
//
// Exports (input.h): open_control_input, include_control_file, find_control_file,
// read_logical_line, save_line, entry_length, end_of_inline_statements, read_statements.
//
// Invariants:
//  - The logical line lives in the line area after its 10-byte prefix: at most kLineCapacity
//    bytes including its one final line feed, then a zero byte, so it never reaches the stop
//    flag in the area's last byte. The statement buffer holds a copy at the same offsets, which
//    is what lets every token's offset in the buffer name its column in the line.
//  - A store entry is never split across blocks, and a block never takes an entry it cannot
//    hold whole.
//  - The INCLUDE chain holds each file once and at most kMaxIncludeDepth files above the
//    control input, so reading always ends.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/fatal.h"
#include "base/pool.h"
#include "host/host.h"
#include "input/input.h"
#include "report/report.h"

namespace recsift::input {
namespace {

constexpr size_t kMaxPathEntry = 464;  // longest PATH entry tried
constexpr char kNoName[] = "iimake_No_Name";
constexpr char kStdinName[] = "stdin";
constexpr char kEndOfFile1 = '\x1A';  // end-of-file characters a console may send
constexpr char kEndOfFile2 = '\x1C';
constexpr int32_t kTextBlockData = kTextBlockSize - static_cast<int32_t>(sizeof(TextBlock));

std::FILE* log_of(const Reader& r) {
  return r.log != nullptr ? r.log : base::log_stream();
}

// A pool text holding `text` and a zero byte.
char* pool_copy(std::string_view text, const char* description) {
  auto* p =
      static_cast<char*>(base::qelgcore(static_cast<int64_t>(text.size()) + 1, 0, description));
  std::memcpy(p, text.data(), text.size());
  return p;
}

// Opens an existing file that is not a folder for reading.
std::FILE* try_open(const std::string& path) {
  host::FileStatus status;
  if (path.empty() || host::file_status(path, &status) != 0 || status.is_directory) {
    return nullptr;
  }
  return std::fopen(path.c_str(), "rb");
}

// The file finder; *found is the path opened.
std::FILE* find(const std::string& name, const std::string& program_dir, std::FILE* log,
                std::string* found) {
  std::FILE* f = try_open(name);
  if (f != nullptr) {
    *found = name;
    return f;
  }
  if (!program_dir.empty()) {
    std::string candidate = program_dir;
    if (candidate.back() != '/') candidate += '/';
    candidate += name;
    if ((f = try_open(candidate)) != nullptr) {
      *found = candidate;
      return f;
    }
  }
  // A name with a folder part names one place only.
  if (name.find('/') == std::string::npos) {
    const char* path = host::env("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty() || path != nullptr) {
      const size_t colon = rest.find(':');
      const std::string_view entry = rest.substr(0, colon);
      const bool more = colon != std::string_view::npos;
      rest = more ? rest.substr(colon + 1) : std::string_view();
      if (entry.size() > kMaxPathEntry) {
        std::fprintf(log, "\n       Path entry > %d bytes has been ignored: %.*s",
                     static_cast<int>(kMaxPathEntry), static_cast<int>(kMaxPathEntry + 1),
                     entry.data());
      } else if (!entry.empty()) {
        // An empty entry would name the root folder; the current folder was tried first.
        std::string candidate(entry);
        if (candidate.back() != '/') candidate += '/';
        candidate += name;
        if ((f = try_open(candidate)) != nullptr) {
          *found = candidate;
          return f;
        }
      }
      if (!more) break;
    }
  }
  std::fprintf(log, "Error: %s file not found.\n", name.c_str());
  return nullptr;
}

// The name as a control file: a trailing line feed, then a trailing carriage return, dropped;
// "\" read as the folder separator.
std::string control_name(const char* name, int32_t length) {
  if (name == nullptr) return kNoName;
  std::string n(name, static_cast<size_t>(length < 0 ? 0 : length));
  if (!n.empty() && n.back() == '\n') n.pop_back();
  if (!n.empty() && n.back() == '\r') n.pop_back();
  host::normalise_separators(n);
  return n;
}

void close_entry_stream(ControlEntry& e) {
  if (e.stream != nullptr && e.owns_stream) std::fclose(e.stream);
  e.stream = nullptr;
  e.owns_stream = false;
}

// The entry a new control input goes into, emptied: the bottom one when none is current (it
// becomes current), else the current one's next, else a new one after the current.
ControlEntry* select_entry(Reader& r) {
  ControlEntry* e = nullptr;
  if (r.current == nullptr) {
    if (r.bottom == nullptr)
      r.bottom = new (base::qelgcore(sizeof(ControlEntry), 0, "ii")) ControlEntry();
    e = r.bottom;
    r.current = e;
  } else if (r.current->next != nullptr) {
    e = r.current->next;
  } else {
    e = new (base::qelgcore(sizeof(ControlEntry), 0, "ii")) ControlEntry();
    e->previous = r.current;
    r.current->next = e;
  }
  close_entry_stream(*e);
  base::qelgrel(&e->saved_rest, "iibuf");
  e->saved_length = 0;
  base::qelgrel(&e->name, "iifn");
  e->name_length = 0;
  return e;
}

void set_name(ControlEntry& e, const std::string& name) {
  e.name = pool_copy(name, "iifn");
  e.name_length = static_cast<int32_t>(name.size());
}

// Reads one physical line into dst: at most `limit` bytes, up to and including a line feed.
// Zero bytes read as blanks: the line is a zero-terminated text from here on.
int32_t read_physical(std::FILE* stream, char* dst, int32_t limit) {
  int32_t n = 0;
  while (n < limit) {
    const int c = std::getc(stream);
    if (c == EOF) break;
    dst[n++] = c == 0 ? ' ' : static_cast<char>(c);
    if (c == '\n') break;
  }
  return n;
}

// Copies a command-line text into the line, cut to the line's capacity, ending with one line
// feed.
void copy_command_line(char* line, std::string_view text) {
  size_t n = text.size();
  if (n > static_cast<size_t>(kLineCapacity) - 1) n = kLineCapacity - 1;
  std::memcpy(line, text.data(), n);
  for (size_t i = 0; i < n; ++i) {
    if (line[i] == 0) line[i] = ' ';
  }
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
  line[n++] = '\n';
  line[n] = 0;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

// ---- Control inputs --------------------------------------------------------------------------

std::FILE* find_control_file(const std::string& name, const std::string& program_dir,
                             std::FILE* log) {
  std::string found;
  return find(name, program_dir, log != nullptr ? log : base::log_stream(), &found);
}

int open_control_input(Reader& reader, const char* name, int32_t length, ControlEntry** entry) {
  ControlEntry* e = select_entry(reader);
  if (entry != nullptr) *entry = e;
  const std::string n = control_name(name, length);
  if (name != nullptr && n == kStdinName) {
    e->stream = stdin;
    set_name(*e, n);
    return 0;
  }
  std::string found;
  e->stream = find(n, reader.program_dir, log_of(reader), &found);
  e->owns_stream = e->stream != nullptr;
  set_name(*e, e->stream != nullptr ? found : n);
  return e->stream != nullptr ? 0 : kMsgNoControlFile;
}

int include_control_file(Reader& reader, const char* name, int32_t length) {
  std::FILE* log = log_of(reader);
  const std::string n = control_name(name, length);
  // Command-line statements read without a control input: an entry without a stream below the
  // INCLUDE file keeps the rest of the line.
  if (reader.current == nullptr) {
    ControlEntry* base = select_entry(reader);
    set_name(*base, kNoName);
  }
  int depth = 0;
  for (const ControlEntry* e = reader.current; e->previous != nullptr; e = e->previous) ++depth;
  if (depth >= kMaxIncludeDepth) {
    std::fprintf(log, "Error: %s not included: INCLUDE files nested deeper than %d.\n", n.c_str(),
                 kMaxIncludeDepth);
    return kMsgNoControlFile;
  }
  std::string found;
  std::FILE* stream = nullptr;
  bool owns = true;
  if (name != nullptr && n == kStdinName) {
    stream = stdin;
    found = n;
    owns = false;
  } else {
    stream = find(n, reader.program_dir, log, &found);
    if (stream == nullptr) return kMsgNoControlFile;
  }
  for (const ControlEntry* e = reader.current; e != nullptr; e = e->previous) {
    if (e->name != nullptr && found == std::string_view(e->name, e->name_length)) {
      if (owns) std::fclose(stream);
      std::fprintf(log, "Error: %s not included: it is already being read.\n", n.c_str());
      return kMsgNoControlFile;
    }
  }
  ControlEntry* e = select_entry(reader);
  e->stream = stream;
  e->owns_stream = owns;
  set_name(*e, found);
  if (reader.include_pending != nullptr) *reader.include_pending = true;
  return 0;
}

void close_control_inputs(Reader& reader) {
  for (ControlEntry* e = reader.bottom; e != nullptr; e = e->next) close_entry_stream(*e);
}

void release_reader(Reader& reader) {
  for (ControlEntry* e = reader.bottom; e != nullptr;) {
    ControlEntry* next = e->next;
    close_entry_stream(*e);
    base::qelgrel(&e->saved_rest, "iibuf");
    base::qelgrel(&e->name, "iifn");
    e->~ControlEntry();
    void* block = e;
    base::qelgrel(&block, "ii");
    e = next;
  }
  reader.bottom = reader.current = nullptr;
  if (reader.store != nullptr) {
    for (TextBlock* b = reader.store->first; b != nullptr;) {
      TextBlock* next = b->next;
      void* block = b;
      base::qelgrel(&block, b->previous == nullptr ? "cc1" : "ccn");
      b = next;
    }
    *reader.store = TextStore();
  }
}

// ---- Logical lines ---------------------------------------------------------------------------

char* read_logical_line(Reader& reader, std::FILE* stream) {
  int32_t ignored = 0;
  int32_t& lines = reader.line_counter != nullptr ? *reader.line_counter : ignored;
  char* const line = reader.line_area + kLinePrefix;
  int32_t length = 0;
  int32_t capacity = kLineCapacity;
  // length + capacity stays kLineCapacity, and a read takes at most capacity - 1 bytes: the
  // line feed appended below and the zero byte after it always fit.
  for (;;) {
    char* p = line + length;
    int32_t n = read_physical(stream, p, capacity - 1);
    if (n == 0) break;
    if (n == 1 && (p[0] == kEndOfFile1 || p[0] == kEndOfFile2)) continue;
    if (n >= 2 && p[n - 1] == '\n' && p[n - 2] == '\r') {
      p[n - 2] = '\n';
      --n;
    }
    length += n;
    capacity -= n;
    if (n >= 2 && p[n - 1] == '\n' && p[n - 2] == '\\') {
      ++lines;
      length -= 2;
      if (capacity > 2) {
        capacity += 2;
        continue;
      }
    }
    break;
  }
  reader.line_area[kLinePrefix + length] = 0;
  if (length == 0) return nullptr;
  if (line[length - 1] != '\n') line[length++] = '\n';
  if (length >= 2 && line[length - 2] == '\r') {
    line[length - 2] = '\n';
    --length;
  }
  line[length] = 0;
  return line;
}

// ---- Statement-text store --------------------------------------------------------------------

const uint8_t* save_line(TextStore& store, const char* text, int32_t length) {
  const int32_t need = 2 + length + 1;
  if (length < 0 || need > kTextBlockData) base::logic_error(base::kLogicLineTooLong);
  if (store.last == nullptr || store.last->used + need > kTextBlockData) {
    auto* block =
        new (base::qelgcore(kTextBlockSize, 0, store.first == nullptr ? "cc1" : "ccn")) TextBlock();
    if (store.last == nullptr) {
      store.first = block;
    } else {
      store.last->next = block;
      block->previous = store.last;
    }
    store.last = block;
  }
  uint8_t* entry = reinterpret_cast<uint8_t*>(store.last + 1) + store.last->used;
  entry[0] = static_cast<uint8_t>(length >> 8);
  entry[1] = static_cast<uint8_t>(length);
  std::memcpy(entry + 2, text, static_cast<size_t>(length));
  entry[2 + length] = 0;
  store.last->used += need;
  return entry;
}

int32_t entry_length(const uint8_t* entry) {
  return entry[0] << 8 | entry[1];
}

// ---- Command-line statements -----------------------------------------------------------------

int end_of_inline_statements(std::string& text, uint8_t separator, TokenList& list,
                             bool* no_control_input) {
  const char sep = static_cast<char>(separator);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  // The last single separator, scanning back from the second-to-last character.
  size_t found = 0;
  if (separator != 0) {
    for (size_t i = text.size() >= 2 ? text.size() - 2 : 0; i > 0; --i) {
      if (text[i] == sep && text[i + 1] != sep) {
        found = i;
        break;
      }
    }
  }
  int result = 0;
  if (found > 0) {
    std::string last = text.substr(found + 1) + "\n";
    tokenise(list, last.data(), last.data(), separator, false);
    const Token* first = list.head;
    while (first != nullptr && (first->flags & kTokComment) != 0 && (first->flags & kTokEnd) == 0) {
      first = first->next;
    }
    if (first != nullptr && (first->flags & kTokEnd) == 0 && (first->flags & kTokWord) != 0) {
      const std::string_view word(first->text, static_cast<size_t>(first->length));
      if (word == "E" || word == "END" || word == "/*") {
        if (word == "/*" && no_control_input != nullptr) *no_control_input = true;
        while (!text.empty() && text.back() == sep) text.pop_back();
        result = 1;
      }
    }
    // The list must not keep pointers into the local text.
    tokenise(list, nullptr, nullptr, separator, false);
  }
  text += '\n';
  return result;
}

// ---- The statement loop ----------------------------------------------------------------------

int read_statements(Reader& r, const StatementHooks& hooks, std::string_view first_text) {
  char* const area = r.line_area;
  char* const line = area + kLinePrefix;
  char* const stmt = r.statement;
  auto& stop = reinterpret_cast<uint8_t&>(area[kStopFlagOffset]);
  int32_t ignored_lines = 0;
  int32_t& lines = r.line_counter != nullptr ? *r.line_counter : ignored_lines;
  TextStore local_store;
  TextStore& store = r.store != nullptr ? *r.store : local_store;
  auto last_type = [&r] { return r.last_statement_type != nullptr ? *r.last_statement_type : 0; };

  int compiled = 0;
  bool have_text = false;     // the line area holds the next statement text
  bool command_line = false;  // ... and it came from the command line
  int32_t rest_start = -1;    // offset of the statement after a separator, -1 for a new line
  if (!first_text.empty()) {
    copy_command_line(line, first_text);
    have_text = true;
    command_line = true;
    rest_start = -1;
    // Kept like a control line (not counted) so its comments have a home for the run.
    store.current = save_line(store, line, static_cast<int32_t>(std::strlen(line)) - 1);
    store.current_offset = 0;
  }

  for (;;) {
    // 1. Reading ends at the stop flag and after END, QUIT, CANCEL (also within a line).
    if (stop == kStopReading || last_type() == kLastTypeEnd) break;

    // 2-3. A new text: the next line of the current input, or the rest of an INCLUDE line.
    if (!have_text) {
      ControlEntry* e = r.current;
      char* got = e != nullptr && e->stream != nullptr ? read_logical_line(r, e->stream) : nullptr;
      if (got == nullptr) {
        if (e == nullptr || e->previous == nullptr) break;
        close_entry_stream(*e);
        r.current = e->previous;
        if (r.current->saved_rest == nullptr) continue;
        copy_command_line(line, std::string_view(r.current->saved_rest,
                                                 static_cast<size_t>(r.current->saved_length)));
        base::qelgrel(&r.current->saved_rest, "iibuf");
        r.current->saved_length = 0;
      }
      if (line[0] == kEndOfFile1 && line[1] == '\n') continue;  // a lone end-of-file character
      have_text = true;
      command_line = false;
      rest_start = -1;
      ++lines;
      store.current = save_line(store, line, static_cast<int32_t>(std::strlen(line)) - 1);
      store.current_offset = 0;
    }

    // 4. "/*" ends the statements; "./" is skipped. After a separator blanks may precede them.
    const size_t length = std::strlen(line);
    std::memcpy(stmt, line, length + 1);
    size_t start = rest_start < 0 ? 0 : static_cast<size_t>(rest_start);
    if (rest_start >= 0) {
      while (is_blank(line[start])) ++start;
    }
    if (line[start] == '/' && line[start + 1] == '*') break;
    const size_t from = line[start] == '.' && line[start + 1] == '/' ? start + 2 : 0;

    // 5-6. Tokenise; the listing shows only this statement of the line.
    if (r.messages != nullptr) report::record_error(*r.messages, 0);
    const uint8_t separator = r.separator != nullptr ? *r.separator : 0;
    const char* rest = tokenise(*r.tokens, stmt + from, line + from, separator, false);
    // A token in error (an unclosed quote, a bad hexadecimal digit, a bad character after a
    // quote, a token too long) is the statement's message; it is marked where it was typed.
    if (const Token* bad = r.tokens->error; bad != nullptr && r.messages != nullptr) {
      int32_t at = -1;
      int32_t width = 0;
      if (bad->source != nullptr && bad->source >= line && bad->source < line + kLineCapacity) {
        at = static_cast<int32_t>(bad->source - line);
        width = std::max(bad->source_length, 1);
      }
      report::record_error(*r.messages, kMsgBadToken, at, width);
    }
    size_t rest_at = 0;
    char kept = 0;
    if (rest != nullptr) {
      rest_at = static_cast<size_t>(rest - stmt);
      line[rest_at - 1] = '\n';
      kept = line[rest_at];
      line[rest_at] = 0;
    }

    // 7-9. Compile; left-over tokens are message 45; a message brings listing back.
    const int32_t selid = hooks.compile ? hooks.compile() : 0;
    ++compiled;
    if (const Token* t = left_over(*r.tokens); t != nullptr && r.messages != nullptr) {
      const bool in_buffer = t->text >= stmt && t->text < stmt + kStatementBufferSize;
      report::record_error(*r.messages, kMsgLeftOver,
                           in_buffer ? static_cast<int32_t>(t->text - stmt) : -1, t->source_length);
    }
    const bool pending = r.messages != nullptr && r.messages->pending != 0;
    if (pending && r.no_echo != nullptr) *r.no_echo = false;

    // 10-11. List the statement; the line is whole again afterwards.
    if (r.no_echo == nullptr || !*r.no_echo) {
      if (!r.listing_started) {
        if (hooks.space) hooks.space(1);
        r.listing_started = true;
      }
      if (hooks.list) hooks.list(area, selid);
    }
    if (rest != nullptr) line[rest_at] = kept;

    // 12. The comment goes with the compiled statement, as it stands in the store.
    const Token* comment = r.tokens->comment;
    const int32_t level = r.summary_level != nullptr ? *r.summary_level : 0;
    if (comment != nullptr && store.current != nullptr && comment->text >= stmt &&
        comment->text < stmt + kStatementBufferSize &&
        (level == 3 || (selid > 0 && comment->length >= 2 && comment->text[1] == '>'))) {
      const int32_t at = store.current_offset + static_cast<int32_t>(comment->text - stmt);
      const int32_t stored = entry_length(store.current);
      if (at < stored) {
        if (r.comments_kept != nullptr) *r.comments_kept = true;
        const int32_t n = std::min(comment->length, stored - at);
        if (hooks.attach_comment) hooks.attach_comment(entry_text(store.current) + at, n);
      }
    }

    // 13. The tenth message printed stops the reading.
    const int32_t printed = hooks.print_message ? hooks.print_message() : 0;
    if (printed > 9) {
      stop = kStopReading;
      break;
    }

    // 14. An INCLUDE file is read next; the rest of this line waits in the current entry.
    if (r.include_pending != nullptr && *r.include_pending && r.current != nullptr &&
        r.current->next != nullptr) {
      ControlEntry* e = r.current;
      base::qelgrel(&e->saved_rest, "iibuf");
      e->saved_length = 0;
      if (rest != nullptr) {
        const std::string_view saved(line + rest_at);
        e->saved_rest = pool_copy(saved, "iibuf");
        e->saved_length = static_cast<int32_t>(saved.size());
      }
      r.current = e->next;
      *r.include_pending = false;
      have_text = false;
      continue;
    }
    if (r.include_pending != nullptr) *r.include_pending = false;

    // 15. The rest of the line is the next statement, in its own columns (a command-line text
    // moves to the start of the line instead).
    if (rest == nullptr) {
      have_text = false;
      continue;
    }
    if (command_line) {
      std::memmove(line, line + rest_at, std::strlen(line + rest_at) + 1);
      store.current_offset += static_cast<int32_t>(rest_at);
      rest_start = 0;
    } else {
      std::memset(line, ' ', rest_at);
      rest_start = static_cast<int32_t>(rest_at);
    }
  }
  return compiled;
}

}  // namespace recsift::input
