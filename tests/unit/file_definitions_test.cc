// Tests of the file definitions: name splitting and its round trip, bad names, predefined names,
// finding and reusing definitions, open-type and file-type conflicts, the file keywords and the
// call library.
#include <unistd.h>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "files/files.h"
#include "host/host.h"

namespace recsift::files {
namespace {

class FileDefinitions : public ::testing::Test {
 protected:
  void TearDown() override { release_file_list(files_); }

  FFREC* define(const std::string& name, OpenKind kind, int* message = nullptr) {
    int rc = 0;
    FFREC* f = define_file(files_, name, kind, false, &rc);
    if (message != nullptr) *message = rc;
    return f;
  }
  int keyword(FFREC* f, FileKeyword k, const char* value, OpenKind kind = OpenKind::kInput) {
    KeywordValue v;
    if (value != nullptr) {
      v.given = true;
      v.text = value;
    }
    return apply_file_keyword(files_, *f, k, v, kind);
  }

  FileList files_;
  const std::string cwd_ = host::current_directory();
};

std::string joined(const FileName& n) {
  return n.path + n.name + (n.ext.empty() ? "" : "." + n.ext);
}

TEST_F(FileDefinitions, SplitsNamesIntoPathNameAndExtension) {
  struct Row {
    const char* typed;
    std::string path, name, ext;
  };
  const Row rows[] = {
      {"in.txt", cwd_, "in", "txt"},
      {"/data/In.Txt", "/data/", "In", "Txt"},
      {"../x/y.dat", cwd_ + "../x/", "y", "dat"},
      {"sub\\dir\\a.b", cwd_ + "sub/dir/", "a", "b"},
      {"/d/averylongname.txt", "/d/avery", "longname", "txt"},
      {"/d/file.longext", "/d/file", ".longext", ""},
      {"/d/archive.tar.gz", "/d/arc", "hive.tar", "gz"},
      {"/d/.cfg", "/d/", ".cfg", ""},
      {"/d/abc.", "/d/", "abc.", ""},
      {"/d/noext", "/d/", "noext", ""},
      {"C:data.txt", cwd_, "C:data", "txt"},
      {"day-2+old.txt", cwd_ + "d", "ay-2+old", "txt"},
  };
  for (const Row& r : rows) {
    FileName n;
    ASSERT_EQ(split_file_name(files_, r.typed, false, &n), 0) << r.typed;
    EXPECT_EQ(n.path, r.path) << r.typed;
    EXPECT_EQ(n.name, r.name) << r.typed;
    EXPECT_EQ(n.ext, r.ext) << r.typed;
    std::string full = r.typed;
    host::normalise_separators(full);
    if (full[0] != '/') full = cwd_ + full;
    EXPECT_EQ(joined(n), full) << r.typed;
  }
}

TEST_F(FileDefinitions, RelativeNamesFollowTheDefaultFolder) {
  char absolute[] = "/srv/in";
  char relative[] = "work\\area";
  FileName n;
  files_.default_dir = absolute;
  ASSERT_EQ(split_file_name(files_, "x/a.txt", false, &n), 0);
  EXPECT_EQ(n.path, "/srv/in/x/");
  ASSERT_EQ(split_file_name(files_, "/abs/a.txt", false, &n), 0);
  EXPECT_EQ(n.path, "/abs/");
  files_.default_dir = relative;
  ASSERT_EQ(split_file_name(files_, "a.txt", false, &n), 0);
  EXPECT_EQ(n.path, cwd_ + "work/area/");
  files_.default_dir = nullptr;
}

TEST_F(FileDefinitions, RejectsNamesThatCannotBeFiles) {
  const std::string rows[] = {
      "",
      std::string(256, 'a'),
      "/data/",
      "dir/..",
      "x/.",
      std::string("a\x01z", 3),
      std::string("a\0b", 3),
      "tab\there",
      "\x7f",
  };
  for (const std::string& typed : rows) {
    FileName n;
    EXPECT_EQ(split_file_name(files_, typed, false, &n), kMsgBadFileName) << typed;
    int rc = 0;
    EXPECT_EQ(define(typed, OpenKind::kInput, &rc), nullptr);
    EXPECT_EQ(rc, kMsgBadFileName);
  }
  EXPECT_EQ(files_.head, nullptr);
  FileName n;
  EXPECT_EQ(split_file_name(files_, std::string(255, 'b'), false, &n), 0);
  EXPECT_EQ(n.name, "bbbbbbbb");
  // A folder alone is a directory pattern for every file in it.
  ASSERT_EQ(split_file_name(files_, "/data/", true, &n), 0);
  EXPECT_EQ(n.path, "/data/");
  EXPECT_EQ(n.name, "*");
}

TEST_F(FileDefinitions, PredefinedNamesMatchInAnyCase) {
  struct Row {
    const char* typed;
    OpenKind kind;
    Predefined predefined;
    const char* name;
    const char* ident;
    std::FILE* stream;
  };
  const Row rows[] = {
      {"card", OpenKind::kInput, kPredefCard, "CARD", "CARD    ", nullptr},
      {"SysIn", OpenKind::kInput, kPredefSysin, "stdin", "SYSIN   ", stdin},
      {"dummy", OpenKind::kInput, kPredefDummy, "DUMMR", "DUMMY   ", nullptr},
      {"DUMMY", OpenKind::kOutput, kPredefDummy, "DUMMW", "DUMMY   ", nullptr},
      {"stdin", OpenKind::kInput, kPredefStdin, "stdin", "STDIN   ", stdin},
      {"Stdout", OpenKind::kOutput, kPredefStdout, "stdout", "STDOUT  ", stdout},
      {"STDERR", OpenKind::kOutput, kPredefStderr, "stderr", "STDERR  ", stderr},
  };
  for (const Row& r : rows) {
    FFREC* f = define(r.typed, r.kind);
    ASSERT_NE(f, nullptr) << r.typed;
    EXPECT_EQ(f->predefined, r.predefined) << r.typed;
    EXPECT_STREQ(f->name, r.name) << r.typed;
    EXPECT_EQ(std::string(f->ident, 8), r.ident) << r.typed;
    EXPECT_STREQ(f->path, "") << r.typed;
    EXPECT_EQ(f->stream, r.stream) << r.typed;
    EXPECT_TRUE(f->standard_stream) << r.typed;
  }
  FFREC* dummy = define("Dummy", OpenKind::kInput);
  EXPECT_TRUE(dummy->is_open);
  EXPECT_EQ(dummy->lrecl, 80);
  // SYSIN and STDIN are different files although both are named "stdin"; a file called stdin
  // in the current folder is a third.
  EXPECT_NE(define("SYSIN", OpenKind::kInput), define("STDIN", OpenKind::kInput));
  EXPECT_EQ(define("./stdin", OpenKind::kInput)->predefined, kPredefNone);
  EXPECT_EQ(predefined_name("CARDS"), kPredefNone);
}

TEST_F(FileDefinitions, SameNameSharesOneDefinitionCaseKept) {
  FFREC* a = define("/d/Data.txt", OpenKind::kInput);
  EXPECT_EQ(define("/d/Data.txt", OpenKind::kInput), a);
  EXPECT_EQ(define("\\d\\Data.txt", OpenKind::kInput), a);
  FFREC* b = define("/d/data.txt", OpenKind::kInput);
  EXPECT_NE(b, a);
  // Routines of the call library never share a definition with files.
  FFREC* c = define("/d/Data.txt", OpenKind::kExternal);
  EXPECT_NE(c, a);
  EXPECT_EQ(define("/d/Data.txt", OpenKind::kExternal), c);
  EXPECT_EQ(files_.head, a);
  EXPECT_EQ(files_.tail, c);
  EXPECT_EQ(b->prev, a);
  EXPECT_EQ(b->next, c);
}

TEST_F(FileDefinitions, FreeRecordIsReused) {
  FFREC* a = define("a.txt", OpenKind::kInput);
  FFREC* b = define("b.txt", OpenKind::kInput);
  a->name[0] = 0;
  bool created = false;
  int rc = 0;
  FFREC* c = define_file(files_, "c.txt", OpenKind::kOutput, false, &rc, &created);
  EXPECT_EQ(c, a);
  EXPECT_TRUE(created);
  EXPECT_STREQ(c->name, "c");
  EXPECT_EQ(c->next, b);
  EXPECT_EQ(c->open_type, kOpenOutput);
}

TEST_F(FileDefinitions, OpenTypesMergeOrConflict) {
  struct Row {
    uint8_t have;
    OpenKind kind;
    int rc;
    uint8_t result;
  };
  const Row rows[] = {
      {kOpenInput, OpenKind::kUpdate, 0, kOpenInput | kOpenUpdate},
      {kOpenUpdate, OpenKind::kInput, 0, kOpenInput | kOpenUpdate},
      {kOpenInput, OpenKind::kOutput, kMsgOpenConflict, kOpenInput},
      {kOpenOutput, OpenKind::kInput, kMsgOpenConflict, kOpenOutput},
      {kOpenInput, OpenKind::kInsert, kMsgOpenConflict, kOpenInput},
      {kOpenUpdateAll, OpenKind::kInsert, 0, kOpenUpdateAll},
      {kOpenOutput, OpenKind::kNone, 0, kOpenOutput},
      {kOpenInput, OpenKind::kNone, 0, kOpenInput},
      {0, OpenKind::kOutput, 0, kOpenOutput},
      {kOpenOutput, OpenKind::kOutput, 0, kOpenOutput},
  };
  for (const Row& r : rows) {
    uint8_t t = r.have;
    EXPECT_EQ(merge_open_type(&t, r.kind), r.rc) << int(r.have) << " " << int(r.kind);
    EXPECT_EQ(t, r.result) << int(r.have) << " " << int(r.kind);
  }
  FFREC* f = define("x.txt", OpenKind::kInput);
  int rc = 0;
  EXPECT_EQ(define("x.txt", OpenKind::kOutput, &rc), nullptr);
  EXPECT_EQ(rc, kMsgOpenConflict);
  EXPECT_EQ(f->open_type, kOpenInput);
}

TEST_F(FileDefinitions, FileTypeConflicts) {
  FFREC* f = define("x.idx", OpenKind::kInput);
  EXPECT_EQ(keyword(f, FileKeyword::kIndexed, nullptr), 0);
  EXPECT_EQ(keyword(f, FileKeyword::kIndexed, nullptr), 0);
  EXPECT_EQ(keyword(f, FileKeyword::kVsam, nullptr), kMsgFileTypeConflict);
  EXPECT_EQ(keyword(f, FileKeyword::kDirectory, nullptr), kMsgFileTypeConflict);
  EXPECT_EQ(f->file_type, kFileIndexed);
  FFREC* d = define("/d/", OpenKind::kInput, nullptr);
  EXPECT_EQ(d, nullptr);
  int rc = 0;
  d = define_file(files_, "/d/", OpenKind::kInput, true, &rc);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(keyword(d, FileKeyword::kDirdata, nullptr), 0);
  EXPECT_EQ(keyword(d, FileKeyword::kDirectory, nullptr), 0);
  EXPECT_EQ(d->file_type, kFileDirectory);
  EXPECT_TRUE(d->dirdata);
}

TEST_F(FileDefinitions, RecordFormats) {
  struct Row {
    const char* value;
    int rc;
    uint8_t recfm;
    int descriptor;
    bool blocked;
  };
  const Row rows[] = {
      {"F", 0, kRecfmF, 0, false},
      {"fb", 0, kRecfmF, 0, true},
      {"U", 0, kRecfmU, 0, false},
      {"V", 0, kRecfmV, 4, false},
      {"VB", 0, kRecfmV, 4, true},
      {"V2", 0, kRecfmV2, 2, false},
      {"MFV", 0, kRecfmMfv, 2, false},
      {"VBS", kMsgBadRecfm, kRecfmNone, 0, false},
      {"M", kMsgBadRecfm, kRecfmNone, 0, false},
  };
  for (const Row& r : rows) {
    FFREC* f = define(std::string("r") + r.value, OpenKind::kInput);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(keyword(f, FileKeyword::kRecfm, r.value), r.rc) << r.value;
    EXPECT_EQ(f->recfm, r.recfm) << r.value;
    EXPECT_EQ(f->descriptor_length, r.descriptor) << r.value;
    EXPECT_EQ(f->blocked, r.blocked) << r.value;
    EXPECT_EQ(f->recfm_given, r.rc == 0) << r.value;
  }
}

TEST_F(FileDefinitions, EndOfLineDelimiters) {
  struct Row {
    const char* value;
    const char* delimiter;
    int length;
  };
  const Row rows[] = {
      {"CRLF", "\r\n", 2}, {"lf", "\n", 1}, {"CR", "\r", 1}, {"NO", nullptr, 0}, {"|;", "|;", 2},
  };
  for (const Row& r : rows) {
    FFREC* f = define(std::string("e") + r.value, OpenKind::kInput);
    ASSERT_EQ(keyword(f, FileKeyword::kEol, r.value), 0);
    EXPECT_EQ(f->recfm, kRecfmU) << r.value;
    EXPECT_EQ(f->delimiter_length, r.length) << r.value;
    if (r.delimiter == nullptr) {
      EXPECT_EQ(f->delimiter, nullptr);
      EXPECT_FALSE(f->truncate);
    } else {
      EXPECT_EQ(std::string(f->delimiter, r.length), r.delimiter);
    }
    apply_definition_defaults(files_, *f, OpenKind::kInput);
    EXPECT_EQ(f->delimiter_length, r.length) << "defaults must not undo EOL " << r.value;
  }
  FFREC* f = define("fixed", OpenKind::kInput);
  keyword(f, FileKeyword::kRecfm, "F");
  keyword(f, FileKeyword::kEol, "LF");
  EXPECT_EQ(f->recfm, kRecfmF);
}

TEST_F(FileDefinitions, DefaultDelimitersAndTabs) {
  files_.tabs_in = 4;
  files_.tabs_out = -1;
  FFREC* in = define("in", OpenKind::kInput);
  apply_definition_defaults(files_, *in, OpenKind::kInput);
  EXPECT_EQ(in->delimiter, nullptr);
  EXPECT_EQ(in->delimiter_length, 2);
  EXPECT_EQ(in->tab_width, 4);
  EXPECT_FALSE(in->truncate);
  FFREC* out = define("out", OpenKind::kOutput);
  apply_definition_defaults(files_, *out, OpenKind::kOutput);
  ASSERT_NE(out->delimiter, nullptr);
  EXPECT_STREQ(out->delimiter, "\r\n");
  EXPECT_EQ(out->tab_width, -1);
  EXPECT_TRUE(out->truncate);

  struct Row {
    const char* value;
    int rc;
    int width;
  };
  const Row rows[] = {{"OFF", 0, -1}, {"0", 0, -1}, {"3", 0, 3}, {"x1", kMsgBadNumber, 8}};
  for (const Row& r : rows) {
    FFREC* f = define(std::string("t") + r.value, OpenKind::kInput);
    EXPECT_EQ(keyword(f, FileKeyword::kTabs, r.value), r.rc) << r.value;
    EXPECT_EQ(f->tab_width, r.width) << r.value;
    apply_definition_defaults(files_, *f, OpenKind::kInput);
    EXPECT_EQ(f->tab_width, r.width) << "TABS outlives the run default " << r.value;
  }
}

TEST_F(FileDefinitions, SizesAndKeys) {
  FFREC* f = define("k.dat", OpenKind::kInput);
  EXPECT_EQ(keyword(f, FileKeyword::kKeyPosition, "1"), 0);
  EXPECT_EQ(keyword(f, FileKeyword::kKeyLength, "8"), 0);
  EXPECT_EQ(f->key_position, 0);
  EXPECT_EQ(f->key_length, 8);
  EXPECT_TRUE(f->key_position_given && f->key_length_given);
  EXPECT_EQ(keyword(f, FileKeyword::kRelativeKeyPosition, "5"), 0);
  EXPECT_EQ(f->key_position, 5);
  EXPECT_EQ(keyword(f, FileKeyword::kKeyPosition, "0"), kMsgBadKeyPosition);
  EXPECT_EQ(f->key_position, 5);
  EXPECT_EQ(keyword(f, FileKeyword::kKeyLength, "0"), kMsgBadNumber);

  EXPECT_EQ(keyword(f, FileKeyword::kLrecl, "120"), 0);
  EXPECT_EQ(f->lrecl, 120);
  EXPECT_TRUE(f->lrecl_given);
  EXPECT_EQ(keyword(f, FileKeyword::kLrecl, "0"), kMsgBadNumber);
  EXPECT_EQ(keyword(f, FileKeyword::kLrecl, "99999999999"), kMsgBadNumber);
  EXPECT_EQ(keyword(f, FileKeyword::kLrecl, "v"), 0);
  EXPECT_EQ(f->recfm, kRecfmV);
  EXPECT_EQ(f->descriptor_length, 4);

  struct Row {
    const char* value;
    OpenKind kind;
    int rc;
    uint8_t rule;
    int blksize;
  };
  const Row rows[] = {
      {"800", OpenKind::kInput, 0, kBlksizeAsGiven, 800},
      {"SAME", OpenKind::kOutput, 0, kBlksizeSame, 0},
      {"max", OpenKind::kOutput, 0, kBlksizeMax, 0},
      {"UNB", OpenKind::kOutput, 0, kBlksizeUnblocked, 0},
      {"SAME", OpenKind::kInput, kMsgBadNumber, kBlksizeAsGiven, 0},
  };
  for (const Row& r : rows) {
    FFREC* b = define(std::string("b") + r.value + std::to_string(int(r.kind)), r.kind);
    EXPECT_EQ(keyword(b, FileKeyword::kBlksize, r.value, r.kind), r.rc) << r.value;
    EXPECT_EQ(b->blksize_rule, r.rule) << r.value;
    EXPECT_EQ(b->blksize, r.blksize) << r.value;
    EXPECT_EQ(b->blksize_given, r.rc == 0) << r.value;
  }
}

TEST_F(FileDefinitions, KeywordFlags) {
  FFREC* f = define("flags", OpenKind::kInput);
  keyword(f, FileKeyword::kFill, nullptr);
  EXPECT_TRUE(f->fill);
  EXPECT_EQ(f->fill_char, ' ');
  keyword(f, FileKeyword::kFill, "0");
  EXPECT_EQ(f->fill_char, '0');
  keyword(f, FileKeyword::kRdw, nullptr);
  keyword(f, FileKeyword::kNoRdw, nullptr);
  EXPECT_TRUE(f->nordw && !f->rdw);
  keyword(f, FileKeyword::kAppend, nullptr);
  EXPECT_FALSE(f->replace);
  keyword(f, FileKeyword::kUpdate, nullptr);
  EXPECT_EQ(f->open_type, kOpenInput | kOpenUpdateAll);
  keyword(f, FileKeyword::kWto, "NO");
  EXPECT_FALSE(f->wto);
  keyword(f, FileKeyword::kSub, nullptr);
  EXPECT_EQ(f->dir_sub, 256);
}

TEST_F(FileDefinitions, CallLibraryMissingOrWithoutEntry) {
  char dir[] = "/tmp/rsfcallXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string folder = std::string(dir) + "/";
  files_.program_dir = folder.c_str();
  EXPECT_EQ(load_call_library(files_), kMsgNoCallLibrary);
  EXPECT_EQ(files_.call_library, nullptr);

  // A library that loads but has no entry.
  const char* candidates[] = {"/lib/x86_64-linux-gnu/libm.so.6",
                              "/usr/lib/x86_64-linux-gnu/libm.so.6", "/lib64/libm.so.6",
                              "/usr/lib64/libm.so.6"};
  const std::string link = folder + kCallLibrary;
  bool linked = false;
  for (const char* c : candidates) {
    if (symlink(c, link.c_str()) == 0 && access(link.c_str(), R_OK) == 0) {
      linked = true;
      break;
    }
    unlink(link.c_str());
  }
  if (linked) {
    EXPECT_EQ(load_call_library(files_), kMsgNoCallEntry);
    EXPECT_EQ(files_.call_entry, nullptr);
    unlink(link.c_str());
  }
  rmdir(dir);
  files_.program_dir = nullptr;
}

}  // namespace
}  // namespace recsift::files
