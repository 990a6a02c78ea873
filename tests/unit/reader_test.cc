// Tests of the control-statement reader: logical lines, the file finder, the text store, the end
// of the command-line statements, and the statement loop driven through recording hooks.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input.h"

namespace recsift::input {
namespace {

namespace fs = std::filesystem;

// A scratch folder of control files, removed at the end.
class Folder {
 public:
  Folder()
      : path_(fs::temp_directory_path() /
              ("rsreader." + std::to_string(::getpid()) + "." + std::to_string(counter_++))) {
    fs::create_directories(path_);
  }
  ~Folder() { fs::remove_all(path_); }
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  std::string path() const { return path_.string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

// A reader over its own areas, with hooks that record what the loop asks for. The compile hook
// takes every token (so nothing is left over) unless the statement holds "LEAVE", and obeys
// INCLUDE with the name as typed.
class Loop {
 public:
  Loop() {
    std::memset(area_, 0, sizeof area_);
    r.line_area = area_;
    r.statement = statement_;
    r.tokens = &tokens_;
    r.separator = &separator_;
    r.store = &store_;
    r.line_counter = &lines;
    r.last_statement_type = &last_type;
    r.include_pending = &include_pending;
    r.no_echo = &no_echo;
    r.comments_kept = &comments_kept;
    r.summary_level = &summary_level;
    r.messages = &messages;
    log_ = std::tmpfile();
    r.log = log_;
    hooks.compile = [this] { return compile(); };
    hooks.list = [this](const char* area, int32_t selid) {
      listed.push_back(std::string(area + kLinePrefix) + (selid > 0 ? "#" : ""));
    };
    hooks.space = [this](int32_t n) { spaced += n; };
    hooks.print_message = [this] {
      if (messages.pending != 0) {
        printed_numbers.push_back(messages.pending);
        ++printed;
      }
      return printed;
    };
    hooks.attach_comment = [this](const char* text, int32_t n) {
      comments.emplace_back(text, static_cast<size_t>(n));
    };
  }
  ~Loop() {
    release_reader(r);
    release_token_list(tokens_);
    std::fclose(log_);
  }

  std::string log() const {
    std::fflush(log_);
    std::rewind(log_);
    std::string out;
    for (int c; (c = std::fgetc(log_)) != EOF;) out += static_cast<char>(c);
    return out;
  }

  Reader r;
  StatementHooks hooks;
  int32_t lines = 0;
  uint8_t last_type = 0;
  bool include_pending = false;
  bool no_echo = false;
  bool comments_kept = false;
  int32_t summary_level = 2;
  report::Messages messages;
  int32_t printed = 0;
  int32_t spaced = 0;
  std::vector<std::string> compiled;  // the statements' token texts, blank-separated
  std::vector<std::string> listed;    // the line area at each list call ("#": a selection id)
  std::vector<std::string> comments;
  std::vector<int> printed_numbers;

 private:
  int32_t compile() {
    std::string words;
    bool leave = false;
    std::string include;
    const Token* previous = nullptr;
    for (Token* t = tokens_.current; t != nullptr; t = tokens_.current) {
      if (!words.empty()) words += ' ';
      words += t->text;
      if (std::strcmp(t->text, "LEAVE") == 0) leave = true;
      if (std::strcmp(t->text, "END") == 0) last_type = kLastTypeEnd;
      if (previous != nullptr && std::strcmp(previous->text, "INCLUDE") == 0) {
        include.assign(t->source, static_cast<size_t>(t->source_length));
      }
      previous = t;
      if (leave) break;
      take_token(tokens_);
    }
    if (!include.empty()) {
      const int message =
          include_control_file(r, include.data(), static_cast<int32_t>(include.size()));
      if (message != 0) report::record_error(messages, message);
    }
    compiled.push_back(words);
    return words.empty() || words == "END" ? 0 : ++selid_;
  }

  char area_[kLineAreaSize];
  char statement_[kStatementBufferSize];
  TokenList tokens_;
  uint8_t separator_ = '!';
  TextStore store_;
  std::FILE* log_ = nullptr;
  int32_t selid_ = 0;
};

// Logical lines from physical ones, and the count of physical lines.
TEST(ReaderTest, LogicalLines) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
    int counted;
  };
  const std::string long_line(600, 'x');
  const Case cases[] = {
      {"continuation", "A\\\nB\n", {"AB\n"}, 1},
      {"crlf", "A\r\nB\r\n", {"A\n", "B\n"}, 0},
      {"crlf continuation", "A\\\r\nB\r\n", {"AB\n"}, 1},
      {"lone end-of-file character", "\x1A", {}, 0},
      {"end-of-file character after lines", "A\n\x1C", {"A\n"}, 0},
      {"no final line feed", "A\nB", {"A\n", "B\n"}, 0},
      {"final carriage return", "A\r", {"A\n"}, 0},
      {"long line is split",
       long_line + "\n",
       {std::string(515, 'x') + "\n", std::string(85, 'x') + "\n"},
       0},
      {"zero bytes read as blanks", std::string("A\0B\n", 4), {"A B\n"}, 0},
      {"continuation at the end", "A\\\n", {"A\n"}, 1},
  };
  for (const Case& c : cases) {
    Folder folder;
    Loop loop;
    std::FILE* f = std::fopen(folder.write("f", c.bytes).c_str(), "rb");
    std::vector<std::string> got;
    while (const char* line = read_logical_line(loop.r, f)) got.emplace_back(line);
    std::fclose(f);
    EXPECT_EQ(got, c.lines) << c.name;
    EXPECT_EQ(loop.lines, c.counted) << c.name;
  }
}

// Continuations fill the line to its capacity and never past it.
TEST(ReaderTest, ContinuationsStayInsideTheLine) {
  Folder folder;
  std::string bytes;
  for (int i = 0; i < 40; ++i) bytes += std::string(30, 'a' + i % 26) + "\\\n";
  bytes += "END\n";
  Loop loop;
  std::FILE* f = std::fopen(folder.write("f", bytes).c_str(), "rb");
  size_t total = 0;
  while (const char* line = read_logical_line(loop.r, f)) {
    const size_t n = std::strlen(line);
    EXPECT_LE(n, static_cast<size_t>(kLineCapacity));
    EXPECT_EQ(line[n - 1], '\n');
    total += n - 1;
  }
  std::fclose(f);
  EXPECT_EQ(total, 40u * 30 + 3);
}

TEST(ReaderTest, StatementsOfALine) {
  Folder folder;
  Loop loop;
  const std::string path = folder.write("c", "S1 ! S2 ! /*\nS3\n");
  ASSERT_EQ(open_control_input(loop.r, path.c_str(), static_cast<int32_t>(path.size())), 0);
  EXPECT_EQ(read_statements(loop.r, loop.hooks), 2);
  EXPECT_EQ(loop.compiled, (std::vector<std::string>{"S1", "S2"}));
  // Each statement is listed alone, in its own columns.
  EXPECT_EQ(loop.listed, (std::vector<std::string>{"S1 \n#", "     S2 \n#"}));
  EXPECT_EQ(loop.spaced, 1);
  EXPECT_EQ(loop.lines, 1);
}

TEST(ReaderTest, CommandLineStatementsMoveToTheStart) {
  Loop loop;
  EXPECT_EQ(read_statements(loop.r, loop.hooks, "EQU %1   X! S2 * note !./S3!END! S4\n"), 4);
  EXPECT_EQ(loop.compiled, (std::vector<std::string>{"EQU %1 X", "S2", "S3", "END"}));
  EXPECT_EQ(loop.listed[1], " S2 * note \n#");
  EXPECT_EQ(loop.listed[2], "./S3\n#");
  EXPECT_EQ(loop.lines, 0);
}

TEST(ReaderTest, EndsAndSkips) {
  struct Case {
    const char* name;
    std::string control;
    std::vector<std::string> compiled;
  };
  const Case cases[] = {
      {"dot slash", "./S1\n", {"S1"}},
      {"end of statements", "S1\n/*\nS2\n", {"S1"}},
      {"end after blanks behind a separator", "S1 !   /* rest\nS2\n", {"S1"}},
      {"end statement", "S1 ! END ! S2\nS3\n", {"S1", "END"}},
      {"lone end-of-file character line", "S1\n\x1A\nS2\n", {"S1", "S2"}},
      {"empty line", "\nS1\n", {"", "S1"}},
  };
  for (const Case& c : cases) {
    Folder folder;
    Loop loop;
    const std::string path = folder.write("c", c.control);
    ASSERT_EQ(open_control_input(loop.r, path.c_str(), static_cast<int32_t>(path.size())), 0);
    read_statements(loop.r, loop.hooks);
    EXPECT_EQ(loop.compiled, c.compiled) << c.name;
  }
}

TEST(ReaderTest, IncludeNestsAndResumesTheLine) {
  Folder folder;
  const std::string inner = folder.write("inner", "I1\n");
  folder.write("f", "F1 ! INCLUDE " + inner + " ! F2\nF3\n");
  Loop loop;
  const std::string control = folder.write("c", "S1 ! INCLUDE " + folder.path() + "/f ! S3\nS4\n");
  ASSERT_EQ(open_control_input(loop.r, control.c_str(), static_cast<int32_t>(control.size())), 0);
  read_statements(loop.r, loop.hooks);
  std::vector<std::string> words;
  for (const std::string& s : loop.compiled) {
    if (s.rfind("INCLUDE", 0) != 0) words.push_back(s);
  }
  EXPECT_EQ(words, (std::vector<std::string>{"S1", "F1", "I1", "F2", "F3", "S3", "S4"}));
  EXPECT_EQ(loop.printed, 0);
  EXPECT_FALSE(loop.include_pending);
  // Close-down closes every control stream; the entries (and their names) stay.
  close_control_inputs(loop.r);
  ASSERT_NE(loop.r.bottom, nullptr);
  EXPECT_NE(loop.r.bottom->name, nullptr);
  for (const ControlEntry* e = loop.r.bottom; e != nullptr; e = e->next) {
    EXPECT_EQ(e->stream, nullptr);
  }
}

TEST(ReaderTest, IncludeFromTheCommandLineWithoutControlInput) {
  Folder folder;
  const std::string inner = folder.write("inner", "I1\n");
  Loop loop;
  read_statements(loop.r, loop.hooks, "S1 ! INCLUDE " + inner + " ! S3\n");
  EXPECT_EQ(loop.compiled.back(), "S3");
  EXPECT_EQ(loop.compiled[2], "I1");
}

TEST(ReaderTest, IncludeCannotLoop) {
  Folder folder;
  // A file that includes itself, and a chain deeper than the limit.
  const std::string self = folder.path() + "/self";
  folder.write("self", "INCLUDE " + self + "\nAFTER\n");
  for (int i = 0; i < 20; ++i) {
    folder.write("d" + std::to_string(i),
                 "INCLUDE " + folder.path() + "/d" + std::to_string(i + 1) + "\n");
  }
  folder.write("d20", "BOTTOM\n");
  {
    Loop loop;
    ASSERT_EQ(open_control_input(loop.r, self.c_str(), static_cast<int32_t>(self.size())), 0);
    read_statements(loop.r, loop.hooks);
    EXPECT_EQ(loop.printed_numbers, std::vector<int>{kMsgNoControlFile});
    EXPECT_EQ(loop.compiled.back(), "AFTER");
    EXPECT_NE(loop.log().find("already being read"), std::string::npos);
  }
  {
    Loop loop;
    const std::string d0 = folder.path() + "/d0";
    ASSERT_EQ(open_control_input(loop.r, d0.c_str(), static_cast<int32_t>(d0.size())), 0);
    read_statements(loop.r, loop.hooks);
    EXPECT_EQ(loop.printed_numbers, std::vector<int>{kMsgNoControlFile});
    EXPECT_EQ(loop.compiled.size(), static_cast<size_t>(kMaxIncludeDepth + 1));
    EXPECT_NE(loop.log().find("nested deeper than 16"), std::string::npos);
  }
}

TEST(ReaderTest, MessagesDuringTheLoop) {
  Folder folder;
  Loop loop;
  loop.no_echo = true;
  const std::string path = folder.write("c", "S1\nS2 LEAVE X\nS3\n");
  ASSERT_EQ(open_control_input(loop.r, path.c_str(), static_cast<int32_t>(path.size())), 0);
  read_statements(loop.r, loop.hooks);
  // The left-over token raises 45, which switches listing back on.
  EXPECT_EQ(loop.printed_numbers, std::vector<int>{kMsgLeftOver});
  EXPECT_FALSE(loop.no_echo);
  EXPECT_EQ(loop.listed.size(), 2u);

  // The tenth message printed stops the reading and sets the stop flag.
  Folder many;
  std::string text;
  for (int i = 0; i < 15; ++i) text += "S LEAVE\n";
  Loop stopped;
  const std::string p2 = many.write("c", text);
  ASSERT_EQ(open_control_input(stopped.r, p2.c_str(), static_cast<int32_t>(p2.size())), 0);
  read_statements(stopped.r, stopped.hooks);
  EXPECT_EQ(stopped.compiled.size(), 10u);
  EXPECT_EQ(static_cast<uint8_t>(stopped.r.line_area[kStopFlagOffset]), kStopReading);
}

TEST(ReaderTest, CommentsPointIntoTheStore) {
  Folder folder;
  Loop loop;
  const std::string path = folder.write("c", "MOVE *> kept ! NEXT * not kept\n");
  ASSERT_EQ(open_control_input(loop.r, path.c_str(), static_cast<int32_t>(path.size())), 0);
  read_statements(loop.r, loop.hooks, "CMD *> from the command line ! C2 *> second\n");
  EXPECT_EQ(loop.comments, (std::vector<std::string>{
                               "*> from the command line ",
                               "*> second",
                               "*> kept ",
                           }));
  EXPECT_TRUE(loop.comments_kept);
}

TEST(ReaderTest, FileFinder) {
  Folder folder;
  folder.write("name.ctl", "X\n");
  Loop loop;
  const std::string saved = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  const std::string dir = folder.path();
  const std::string long_entry(470, 'p');
  struct Case {
    std::string path;
    bool found;
  };
  const Case cases[] = {
      {"/nonexistent:" + dir, true},
      {dir + "/", true},
      {long_entry + ":" + dir, true},
      {"::/nonexistent", false},
  };
  for (const Case& c : cases) {
    ::setenv("PATH", c.path.c_str(), 1);
    std::FILE* f = find_control_file("name.ctl", "/nonexistent/", loop.r.log);
    EXPECT_EQ(f != nullptr, c.found) << c.path;
    if (f != nullptr) std::fclose(f);
  }
  // A name with a folder part is not searched along PATH.
  ::setenv("PATH", dir.c_str(), 1);
  EXPECT_EQ(find_control_file("sub/name.ctl", "", loop.r.log), nullptr);
  // The program's folder.
  std::FILE* f = find_control_file("name.ctl", dir + "/", loop.r.log);
  EXPECT_NE(f, nullptr);
  if (f != nullptr) std::fclose(f);
  ::setenv("PATH", saved.c_str(), 1);

  const std::string log = loop.log();
  EXPECT_NE(log.find("\n       Path entry > 464 bytes has been ignored: " + std::string(465, 'p')),
            std::string::npos);
  EXPECT_NE(log.find("Error: sub/name.ctl file not found.\n"), std::string::npos);
}

TEST(ReaderTest, OpeningControlInput) {
  Folder folder;
  folder.write("a.ctl", "X\n");
  Loop loop;
  // Backslashes are folder separators; a trailing line end is dropped.
  const std::string name = folder.path() + "\\a.ctl\r\n";
  ControlEntry* e = nullptr;
  EXPECT_EQ(open_control_input(loop.r, name.c_str(), static_cast<int32_t>(name.size()), &e), 0);
  EXPECT_EQ(std::string(e->name), folder.path() + "/a.ctl");
  EXPECT_EQ(loop.r.current, e);
  EXPECT_EQ(open_control_input(loop.r, "missing.ctl", 11), kMsgNoControlFile);
  EXPECT_EQ(open_control_input(loop.r, nullptr, 0), kMsgNoControlFile);
  EXPECT_NE(loop.log().find("Error: iimake_No_Name file not found.\n"), std::string::npos);
  EXPECT_EQ(open_control_input(loop.r, "stdin", 5, &e), 0);
  EXPECT_EQ(e->stream, stdin);
  // The entries were reused: one bottom, one above it.
  EXPECT_EQ(loop.r.bottom->next, e);
  EXPECT_EQ(e->next, nullptr);
}

TEST(ReaderTest, StoreEntriesAcrossBlocks) {
  TextStore store;
  std::vector<const uint8_t*> entries;
  for (int i = 0; i < 70; ++i) {
    const std::string line(515, static_cast<char>('A' + i % 26));
    entries.push_back(save_line(store, line.data(), static_cast<int32_t>(line.size())));
  }
  ASSERT_NE(store.first->next, nullptr);
  EXPECT_EQ(store.first->next->previous, store.first);
  for (const TextBlock* b = store.first; b != nullptr; b = b->next) {
    EXPECT_LE(static_cast<size_t>(b->used) + sizeof(TextBlock),
              static_cast<size_t>(kTextBlockSize));
  }
  for (int i = 0; i < 70; ++i) {
    ASSERT_EQ(entry_length(entries[i]), 515);
    EXPECT_EQ(entry_text(entries[i])[0], 'A' + i % 26);
    EXPECT_EQ(entry_text(entries[i])[514], 'A' + i % 26);
    EXPECT_EQ(entry_text(entries[i])[515], 0);
  }
  Reader owner;
  owner.store = &store;
  release_reader(owner);
}

TEST(ReaderTest, EndOfInlineStatements) {
  struct Case {
    std::string text;
    int result;
    std::string after;
    bool no_control_input;
  };
  const Case cases[] = {
      {"S1 ! /*!", 1, "S1 ! /*\n", true}, {"S1 ! END!!", 1, "S1 ! END\n", false},
      {"S1 ! E", 1, "S1 ! E\n", false},   {"S1 ! S2", 0, "S1 ! S2\n", false},
      {"!/*", 0, "!/*\n", false},         {"S1 ! X!!", 0, "S1 ! X!!\n", false},
  };
  for (const Case& c : cases) {
    TokenList list;
    std::string text = c.text;
    bool none = false;
    EXPECT_EQ(end_of_inline_statements(text, '!', list, &none), c.result) << c.text;
    EXPECT_EQ(text, c.after) << c.text;
    EXPECT_EQ(none, c.no_control_input) << c.text;
    release_token_list(list);
  }
}

// Binary garbage, overlong lines and unclosed quotes are read without harm.
TEST(ReaderTest, GarbageIsReadSafely) {
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    std::string bytes;
    const size_t n = 200 + rng() % 3000;
    for (size_t i = 0; i < n; ++i) {
      const unsigned r = rng();
      bytes += (r % 7 == 0) ? "\n!'\\\r*\x1A"[r % 8] : static_cast<char>(r >> 8);
    }
    Folder folder;
    Loop loop;
    const std::string path = folder.write("g", bytes);
    ASSERT_EQ(open_control_input(loop.r, path.c_str(), static_cast<int32_t>(path.size())), 0);
    read_statements(loop.r, loop.hooks);
    for (const std::string& l : loop.listed)
      EXPECT_LE(l.size(), static_cast<size_t>(kLineCapacity + 1));
  }
}

}  // namespace
}  // namespace recsift::input
