// The reference format of copybook lines: columns 1-6 are a sequence area, column 7 the
// indicator ("*" and "/" comment lines, "-" a continuation), columns 8-72 the text and 73-80 an
// identification area, all ignored. The text of the lines is cut into words and literals and
// grouped into entries at the separator periods.
#include <cctype>
#include <string>

#include "copybook/source.h"

namespace recsift::copybook {
namespace {

constexpr size_t kIndicatorColumn = 6;  // 0-based column 7
constexpr size_t kTextColumn = 7;       // 0-based column 8
constexpr size_t kTextEnd = 72;         // text ends with column 72
constexpr size_t kLineMax = 80;

// The text of all lines, one character per byte, with the line each character came from.
struct Stream {
  std::string chars;
  std::vector<int> lines;
  void add(char c, int line) {
    chars.push_back(c);
    lines.push_back(line);
  }
};

bool blank(char c) {
  return c == ' ';
}

// Whether the stream ends inside an unterminated literal.
bool open_literal(const Stream& s, size_t from) {
  char quote = 0;
  for (size_t i = from; i < s.chars.size(); ++i) {
    const char c = s.chars[i];
    if (quote == 0 && (c == '\'' || c == '"')) {
      quote = c;
    } else if (c == quote) {
      quote = 0;
    }
  }
  return quote != 0;
}

// Appends the text area of one line; a continuation line goes on the word or literal that the
// previous text line left open.
int add_line(const Source& src, int number, std::string_view line, Stream* s, size_t* last_start,
             Error* error) {
  const char indicator = line.size() > kIndicatorColumn ? line[kIndicatorColumn] : ' ';
  std::string_view text = line.size() > kTextColumn ? line.substr(kTextColumn) : "";
  if (text.size() > kTextEnd - kTextColumn) text = text.substr(0, kTextEnd - kTextColumn);
  if (indicator == '-') {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos || s->chars.empty()) {
      return fail(src, number, "a continuation line continues nothing", error);
    }
    text.remove_prefix(first);
    if (open_literal(*s, *last_start)) {
      // The continued literal runs to column 72; its continuation starts after a quote.
      if (text[0] != '\'' && text[0] != '"') {
        return fail(src, number, "a continued literal must go on after a quote", error);
      }
      text.remove_prefix(1);
    } else {
      while (!s->chars.empty() && blank(s->chars.back())) {
        s->chars.pop_back();
        s->lines.pop_back();
      }
    }
  } else {
    // Between lines is a separator, unless the literal is continued.
    *last_start = s->chars.size();
    s->add(' ', number);
  }
  for (char c : text) s->add(c, number);
  // A literal left open runs to column 72, blanks included.
  for (size_t k = text.size(); k < kTextEnd - kTextColumn; ++k) s->add(' ', number);
  return 0;
}

// Cuts the stream into words and entries.
int split_entries(const Stream& s, Source* src, Error* error) {
  Entry entry;
  const size_t n = s.chars.size();
  size_t i = 0;
  auto separator_follows = [&](size_t k) { return k + 1 >= n || blank(s.chars[k + 1]); };
  while (i < n) {
    const char c = s.chars[i];
    if (blank(c) || ((c == ',' || c == ';') && separator_follows(i))) {
      ++i;
      continue;
    }
    Word w;
    w.line = s.lines[i];
    if (c == '\'' || c == '"') {
      size_t k = i + 1;
      for (;; ++k) {
        if (k >= n) return fail(*src, w.line, "a literal is not closed", error);
        if (s.chars[k] == c) {
          if (k + 1 < n && s.chars[k + 1] == c) {  // a doubled quote stands for one
            w.text.push_back(c);
            ++k;
            continue;
          }
          break;
        }
        w.text.push_back(s.chars[k]);
      }
      w.quoted = true;
      entry.words.push_back(std::move(w));
      i = k + 1;
      continue;
    }
    size_t k = i;
    while (k < n && !blank(s.chars[k])) ++k;
    // A period closes the entry only when a blank or the end follows it: "9(3).99" is one word.
    bool period = s.chars[k - 1] == '.';
    size_t end = period ? k - 1 : k;
    while (end > i && (s.chars[end - 1] == ',' || s.chars[end - 1] == ';')) --end;
    for (size_t j = i; j < end; ++j) {
      w.text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(s.chars[j]))));
    }
    if (!w.text.empty()) entry.words.push_back(std::move(w));
    if (period) {
      if (entry.words.empty()) return fail(*src, s.lines[k - 1], "a period ends no entry", error);
      src->entries.push_back(std::move(entry));
      entry = Entry{};
    }
    i = k;
  }
  if (!entry.words.empty()) {
    return fail(*src, entry.words.back().line, "the last entry has no closing period", error);
  }
  return 0;
}

}  // namespace

int fail(const Source& source, int line, std::string reason, Error* error) {
  error->line = line;
  error->text.clear();
  if (line >= 1 && static_cast<size_t>(line) <= source.lines.size()) {
    const std::string& l = source.lines[line - 1];
    const size_t a = l.find_first_not_of(' ');
    error->text = a == std::string::npos ? "" : l.substr(a);
  }
  error->reason = std::move(reason);
  return 1;
}

int read_source(std::string_view text, Source* src, Error* error) {
  Stream s;
  size_t last_start = 0;
  int number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);
    src->lines.emplace_back(line);
    if (line.find('\t') != std::string_view::npos) {
      return fail(*src, number, "a tab: the columns of the line cannot be told", error);
    }
    const char indicator = line.size() > kIndicatorColumn ? line[kIndicatorColumn] : ' ';
    if (indicator == '*' || indicator == '/') continue;  // a comment, however long
    if (indicator != ' ' && indicator != '-') {
      return fail(*src, number,
                  std::string("column 7 holds \"") + indicator +
                      "\": only a blank, \"*\", \"/\" or \"-\" may stand there",
                  error);
    }
    if (line.size() > kLineMax) {
      return fail(*src, number, "the line is longer than 80 columns", error);
    }
    // A text area that begins with "*" is a comment shifted one column right: no entry or
    // continuation begins with it.
    if (line.size() > kTextColumn) {
      const size_t first = line.find_first_not_of(' ', kTextColumn);
      if (first != std::string_view::npos && first < kTextEnd && line[first] == '*' &&
          indicator == ' ') {
        continue;
      }
    }
    if (add_line(*src, number, line, &s, &last_start, error) != 0) return 1;
  }
  return split_entries(s, src, error);
}

}  // namespace recsift::copybook
