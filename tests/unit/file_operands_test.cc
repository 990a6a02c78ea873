// Tests of the file-operand compile step: statements tokenised as the reader gives them, with
// the verb already taken, compiled into statement records and their files.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/pool.h"
#include "compiler/compiler.h"
#include "convert/special_area.h"
#include "files/files.h"
#include "host/host.h"
#include "input/input.h"
#include "operand_fixture.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::compiler {
namespace {

using files::FFREC;
using program::Statement;

class FileStatements : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_.tokens = &list_;
    ctx_.messages = &messages_;
    ctx_.program = &program_;
    ctx_.files = &files_;
    ctx_.special = special_;
    files_.program_dir = "/nonexistent-recsift-dir/";
  }
  void TearDown() override {
    input::release_token_list(list_);
    files::release_file_list(files_);
  }

  // Tokenises `text`, takes its first word (the verb) and compiles the rest for operation op.
  // Returns the message number (0 when none).
  int compile(const std::string& text, program::Op op, uint8_t type = program::kStAction) {
    buffers_.emplace_back(new char[text.size() + 1]);
    sources_.emplace_back(new char[text.size() + 1]);
    std::memcpy(buffers_.back().get(), text.c_str(), text.size() + 1);
    std::memcpy(sources_.back().get(), text.c_str(), text.size() + 1);
    input::tokenise(list_, buffers_.back().get(), sources_.back().get(), '!', false);
    statements_.emplace_back(new Statement());
    last_ = statements_.back().get();
    last_->type = type;
    last_->op = op;
    program_.current = last_;
    messages_.pending = 0;
    if (list_.current != nullptr) input::take_token(list_);
    return compile_file_operands(ctx_, op);
  }
  FFREC* file() const { return last_->file; }
  // Texts of the tokens the step left unconsumed.
  std::string left() const {
    std::string out;
    for (const input::Token* t = list_.head; t != nullptr && !(t->flags & input::kTokEnd);
         t = t->next) {
      if (t->flags & input::kTokConsumed) continue;
      if (!out.empty()) out += ' ';
      out += std::string(t->text, static_cast<size_t>(t->length));
    }
    return out;
  }

  // First: every pool block of the test (operands of FROM, INTO and the keys) goes last.
  base::PoolArena arena_;
  input::TokenList list_;
  report::Messages messages_;
  program::Program program_;
  files::FileList files_;
  uint8_t special_[convert::kSpecialAreaSize] = {};
  Context ctx_;
  std::vector<std::unique_ptr<char[]>> buffers_;
  std::vector<std::unique_ptr<char[]>> sources_;
  std::vector<std::unique_ptr<Statement>> statements_;
  Statement* last_ = nullptr;
  const std::string cwd_ = host::current_directory();
};

TEST_F(FileStatements, NameIsTakenAsTyped) {
  struct Row {
    const char* statement;
    std::string host_name;
  };
  const Row rows[] = {
      {"READ In.Txt", cwd_ + "In.Txt"},
      {"READ FILE=Out.Dat", cwd_ + "Out.Dat"},
      {"READ F /data/x/Y.dat", "/data/x/Y.dat"},
      {"READ day-2+old.txt", cwd_ + "day-2+old.txt"},
      {"READ 'My File.txt'", cwd_ + "My File.txt"},
      {"READ ../x/y.dat", cwd_ + "../x/y.dat"},
      {"READ F", cwd_ + "F"},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(compile(r.statement, program::Op::kRead), 0) << r.statement;
    ASSERT_NE(file(), nullptr) << r.statement;
    EXPECT_EQ(files::host_file_name(*file()), r.host_name) << r.statement;
    EXPECT_EQ(left(), "") << r.statement;
  }
}

TEST_F(FileStatements, FileOperandForms) {
  ASSERT_EQ(compile("READ DSN=/data/In.txt", program::Op::kRead), 0);
  EXPECT_EQ(std::string(file()->ident, 8), "DEFAULTF");
  EXPECT_EQ(files::host_file_name(*file()), "/data/In.txt");

  ASSERT_EQ(compile("READ Master DSN=/data/m.dat", program::Op::kRead), 0);
  FFREC* master = file();
  EXPECT_EQ(std::string(master->ident, 8), "MASTER  ");
  EXPECT_EQ(files::host_file_name(*master), "/data/m.dat");
  ASSERT_EQ(compile("UPDATE Master", program::Op::kUpdate), 0);
  EXPECT_EQ(file(), master);

  ASSERT_EQ(compile("READ CMS profile exec a", program::Op::kRead), 0);
  EXPECT_EQ(files::host_file_name(*file()), cwd_ + "profile.exec");
  ASSERT_EQ(compile("READ CMS data.listing", program::Op::kRead), 0);
  EXPECT_EQ(files::host_file_name(*file()), cwd_ + "data.listing");
  ASSERT_EQ(compile("READ BFS /u/x.txt", program::Op::kRead), 0);
  EXPECT_EQ(files::host_file_name(*file()), "/u/x.txt");

  struct Row {
    const char* statement;
    int message;
  };
  const Row errors[] = {
      {"READ TAB", files::kMsgNotAvailable},
      {"READ TABLE", files::kMsgNotAvailable},
      {"READ SQL", files::kMsgNotAvailable},
      {"READ x TAB=t1", files::kMsgTableKeyword},
      {"READ x TABLE=t1", files::kMsgNotAvailable},
      {"READ x SQL=q", files::kMsgNotAvailable},
      {"READ DSN", files::kMsgValueMissing},
      {"READ LongName9 DSN=a.txt", files::kMsgBadFileName},
      {"READ CMS toolongname1 exec", files::kMsgBadFileName},
      {"READ CMS onlyname", files::kMsgBadFileName},
      {"READ /data/", files::kMsgBadFileName},
  };
  for (const Row& r : errors) {
    EXPECT_EQ(compile(r.statement, program::Op::kRead), r.message) << r.statement;
    EXPECT_EQ(messages_.pending, r.message) << r.statement;
    EXPECT_EQ(file(), nullptr) << r.statement;
  }
  // TAB with a value elsewhere is the tab width.
  ASSERT_EQ(compile("READ t.txt RECFM=U TAB=4", program::Op::kRead), 0);
  EXPECT_EQ(file()->tab_width, 4);
}

TEST_F(FileStatements, KeywordsOnTheStatement) {
  ASSERT_EQ(compile("READ in.dat RECFM=VB KP=1 KL=8 EOL=NO BLKSIZE=4000 DEFER", program::Op::kRead),
            0);
  FFREC* f = file();
  EXPECT_EQ(f->recfm, files::kRecfmV);
  EXPECT_TRUE(f->blocked);
  EXPECT_EQ(f->key_position, 0);
  EXPECT_EQ(f->key_length, 8);
  EXPECT_EQ(f->delimiter_length, 0);
  EXPECT_EQ(f->blksize, 4000);
  EXPECT_TRUE(f->reopen_allowed);
  EXPECT_EQ(left(), "");

  ASSERT_EQ(compile("WRITE out.dat BLKSIZE=SAME RECFM=FB L=80 FILL=# APPEND", program::Op::kWrite),
            0);
  EXPECT_EQ(file()->blksize_rule, files::kBlksizeSame);
  EXPECT_EQ(file()->lrecl, 80);
  EXPECT_EQ(file()->fill_char, '#');
  EXPECT_FALSE(file()->replace);
  EXPECT_STREQ(file()->delimiter, "\r\n");

  // L and B without a value belong to the rest of the statement.
  ASSERT_EQ(compile("WRITE o2.dat L B", program::Op::kWrite), 0);
  EXPECT_EQ(left(), "L B");
  EXPECT_FALSE(file()->lrecl_given);

  // A literal delimiter keeps its case.
  ASSERT_EQ(compile("READ e.txt EOL=Ab", program::Op::kRead), 0);
  EXPECT_EQ(std::string(file()->delimiter, 2), "Ab");

  struct Row {
    const char* statement;
    int message;
  };
  const Row errors[] = {
      {"READ a RECFM=VX", files::kMsgBadRecfm},
      {"READ a RECFM", files::kMsgBadRecfm},
      {"READ a LABEL=ODD", files::kMsgBadLabel},
      {"READ a DEV=1234", files::kMsgBadDevice},
      {"READ a FAIL", files::kMsgBadFail},
      {"READ a OPEN=EJECT", files::kMsgBadOpenOption},
      {"READ a CL=EJECT", files::kMsgBadCloseOption},
      {"READ a VOL", files::kMsgValueMissing},
      {"READ a CAT", files::kMsgValueMissing},
      {"READ a KP=0", files::kMsgBadKeyPosition},
      {"READ a INDEXED", files::kMsgNoKeyLength},
      {"READ a FILL=ab", files::kMsgBadFill},
      {"READ a KL=x", files::kMsgBadNumber},
  };
  for (const Row& r : errors) {
    EXPECT_EQ(compile(r.statement, program::Op::kRead), r.message) << r.statement;
    EXPECT_EQ(file(), nullptr) << r.statement;
  }
  // Every failed definition of "a" was abandoned: its record is free and the next one takes it.
  for (FFREC* x = files_.head; x != nullptr; x = x->next) {
    EXPECT_STRNE(x->name, "a");
  }
}

TEST_F(FileStatements, SortAndSubOnlyOnDirectories) {
  ASSERT_EQ(compile("READ /data/*.txt SORT=N SUB=2 DIR", program::Op::kRead), 0);
  EXPECT_EQ(file()->file_type, files::kFileDirectory);
  EXPECT_EQ(file()->dir_sort, 'N');
  EXPECT_EQ(file()->dir_sub, 2);
  ASSERT_EQ(compile("READ /data/ DIRDATA NOSUB", program::Op::kRead), 0);
  EXPECT_STREQ(file()->name, "*");
  EXPECT_TRUE(file()->dirdata);
  ASSERT_EQ(compile("READ plain.txt SORT=N", program::Op::kRead), 0);
  EXPECT_EQ(file()->dir_sort, 0);
  EXPECT_EQ(left(), "SORT N");
  EXPECT_EQ(compile("READ /d2/ DIR SORT=Q", program::Op::kRead), files::kMsgBadSort);
}

TEST_F(FileStatements, SharedFilesAndOpenTypes) {
  ASSERT_EQ(compile("READ master.dat", program::Op::kRead), 0);
  FFREC* f = file();
  ASSERT_EQ(compile("UPDATE master.dat", program::Op::kUpdate), 0);
  EXPECT_EQ(file(), f);
  EXPECT_EQ(f->open_type, files::kOpenInput | files::kOpenUpdate);

  ASSERT_EQ(compile("READ in.dat", program::Op::kRead), 0);
  EXPECT_EQ(compile("WRITE in.dat", program::Op::kWrite), files::kMsgOpenConflict);
  EXPECT_EQ(file(), nullptr);
  EXPECT_EQ(compile("OPEN in.dat", program::Op::kOpen), 0);
  EXPECT_EQ(compile("CLOSE in.dat", program::Op::kClose), 0);
  ASSERT_EQ(compile("OPEN late.dat", program::Op::kOpen), 0);
  EXPECT_EQ(file()->open_type, 0);
  ASSERT_EQ(compile("WRITE late.dat", program::Op::kWrite), 0);
  EXPECT_EQ(compile("CLOSE late.dat", program::Op::kClose), 0);
  EXPECT_EQ(file()->open_type, files::kOpenOutput);

  ASSERT_EQ(compile("READ x.dat DIR", program::Op::kRead), 0);
  EXPECT_EQ(compile("READ x.dat VSAM", program::Op::kRead), files::kMsgFileTypeConflict);
  // The failed statement left the earlier definition as it was.
  EXPECT_EQ(files_.tail->file_type, files::kFileDirectory);
}

TEST_F(FileStatements, PrimaryInputIsTheFirstReadAction) {
  ASSERT_EQ(compile("READ first.dat", program::Op::kRead, program::kStIf), 0);
  EXPECT_EQ(files_.primary_input, nullptr);
  ASSERT_EQ(compile("WRITE out.dat", program::Op::kWrite), 0);
  ASSERT_EQ(compile("READ second.dat", program::Op::kRead), 0);
  FFREC* primary = file();
  Statement* read = last_;
  ASSERT_EQ(compile("READ third.dat", program::Op::kRead), 0);
  EXPECT_EQ(files_.primary_input, primary);
  EXPECT_EQ(files_.primary_read, read);
  EXPECT_NE(file(), primary);
}

TEST_F(FileStatements, WorkAreaLimitsTheRecordLength) {
  convert::SpecialArea(special_).set(convert::kSpWorkLength, 100);
  EXPECT_EQ(compile("READ big.dat L=200", program::Op::kRead), files::kMsgWorkAreaShort);
  EXPECT_EQ(compile("READ big.dat L=200 INTO POS 1", program::Op::kRead), 0);
  EXPECT_EQ(compile("READ small.dat L=100", program::Op::kRead), 0);
}

TEST_F(FileStatements, KeyedModesAndOperands) {
  struct Row {
    const char* statement;
    uint8_t access;
    uint8_t modes;
  };
  const Row rows[] = {
      {"READ k1 KP=1 KL=8 KEY='ABC'", program::kAccessKeyEqual, files::kKeyedEqual},
      {"READ k2 KGE=X", program::kAccessKeyGreaterEqual, files::kKeyedGreaterEqual},
      {"READ k3 RBA=100", program::kAccessRba, files::kKeyedRba},
      {"READ k4 REC=7", program::kAccessRecordNumber, files::kKeyedRecord},
      {"READ k5 STARTKEQ=X", program::kAccessStartKeyEq, files::kKeyedEqual | files::kKeyedStart},
      {"READ k6 STARTISN=3 BWD", program::kAccessStartRecord,
       files::kKeyedRecord | files::kKeyedStart},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(compile(r.statement, program::Op::kRead), 0) << r.statement;
    EXPECT_EQ(last_->access, r.access) << r.statement;
    EXPECT_EQ(file()->keyed_modes, r.modes) << r.statement;
    EXPECT_EQ(left(), "") << r.statement;
  }
  ASSERT_EQ(compile("READ i.dat INTO POS 101", program::Op::kRead), 0);
  EXPECT_EQ(last_->access, program::kAccessSequential);
  EXPECT_EQ(left(), "");
  ASSERT_EQ(compile("WRITE o.dat FROM POS 1 L 10", program::Op::kWrite), 0);
  EXPECT_EQ(left(), "");
  ASSERT_EQ(compile("WRITE ix.dat INDEXED KL=4 KEYFROM=K", program::Op::kWrite), 0);
  EXPECT_EQ(left(), "");

  struct Error {
    const char* statement;
    program::Op op;
    int message;
  };
  const Error errors[] = {
      {"WRITE w KEY=A", program::Op::kWrite, files::kMsgKeyedNotHere},
      {"READ r KEY=A KGE=B", program::Op::kRead, files::kMsgKeyedNotHere},
      {"READ r KEYFROM=A", program::Op::kRead, files::kMsgKeyedNotHere},
      {"READ r KEY", program::Op::kRead, files::kMsgValueMissing},
      {"READ r BWD", program::Op::kRead, files::kMsgBadDirection},
      {"READ r KEY=A BWD FWD", program::Op::kRead, files::kMsgBadDirection},
  };
  for (const Error& e : errors) {
    EXPECT_EQ(compile(e.statement, e.op), e.message) << e.statement;
  }
}

TEST_F(FileStatements, DummyChangesTheOperation) {
  ASSERT_EQ(compile("READ dummy", program::Op::kRead), 0);
  EXPECT_EQ(last_->op, program::Op::kDummr);
  EXPECT_STREQ(file()->name, "DUMMR");
  ASSERT_EQ(compile("WRITE DUMMY", program::Op::kWrite), 0);
  EXPECT_EQ(last_->op, program::Op::kDummy);
  EXPECT_STREQ(file()->name, "DUMMW");
  ASSERT_EQ(compile("WRITE stdout", program::Op::kWrite), 0);
  EXPECT_EQ(last_->op, program::Op::kWrite);
  EXPECT_EQ(file()->predefined, files::kPredefStdout);
}

TEST_F(FileStatements, CallNamesARoutineAndLoadsTheLibrary) {
  EXPECT_EQ(compile("CALL myrtn POS 1 L 10", program::Op::kCall), files::kMsgNoCallLibrary);
  EXPECT_EQ(file(), nullptr);
  EXPECT_EQ(left(), "POS 1 L 10");
  EXPECT_EQ(compile("CALL averylongroutine", program::Op::kCall), files::kMsgBadFileName);
  EXPECT_EQ(compile("CALL lib/rtn", program::Op::kCall), files::kMsgBadFileName);
}

TEST_F(FileStatements, NoFileOperand) {
  ASSERT_EQ(compile("WRITE", program::Op::kWrite), 0);
  EXPECT_EQ(file(), nullptr);
  ASSERT_EQ(compile("WRITE FROM 5,10", program::Op::kWrite), 0);
  EXPECT_EQ(file(), nullptr);
  EXPECT_EQ(left(), "");
  ASSERT_EQ(compile("READ INTO POS 1 RECFM=F", program::Op::kRead), 0);
  EXPECT_EQ(file(), nullptr);
  EXPECT_EQ(left(), "RECFM F");
}

TEST_F(FileStatements, GarbageNeverDefinesAFile) {
  std::string binary = "READ ";
  for (int c = 1; c < 256; ++c) {
    if (c != '!' && c != ' ' && c != '\'' && c != '"') binary += static_cast<char>(c);
  }
  EXPECT_EQ(compile(binary, program::Op::kRead), files::kMsgBadFileName);
  EXPECT_EQ(compile("READ " + std::string(300, 'n'), program::Op::kRead), files::kMsgBadFileName);
  EXPECT_EQ(compile("READ " + std::string(255, 'n'), program::Op::kRead), 0);
  EXPECT_STREQ(file()->name, "nnnnnnnn");
  EXPECT_EQ(files::host_file_name(*file()), cwd_ + std::string(255, 'n'));
}

}  // namespace
}  // namespace recsift::compiler
