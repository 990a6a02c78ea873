// Tests of the substitution variables: EQU and parameter definitions, references in words and
// quoted strings, the ENVFAIL and NOENVVAR rules, messages, splicing and joining.
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "input/input.h"

namespace recsift::input {
namespace {

// A run's variables and token list; statements are tokenised into a 528-byte buffer as the
// reader does, with the line as typed beside it.
class Session {
 public:
  ~Session() {
    release_token_list(list_);
    release_variables(vars_);
  }

  // Tokenises and, for EQU, defines; otherwise substitutes. Returns the message.
  int statement(const std::string& text, bool from_command_line = false) {
    std::memset(buffer_, 0, sizeof buffer_);
    std::memcpy(buffer_, text.c_str(), text.size());
    std::memcpy(source_, text.c_str(), text.size() + 1);
    tokenise(list_, buffer_, source_, '!', false);
    int message = substitute(list_, vars_, "/opt/bin/recsift", params_);
    if (list_.current != nullptr && std::strcmp(list_.current->text, "EQU") == 0) {
      take_token(list_);
      const int defined = define_variable(list_, vars_, from_command_line);
      if (message == 0) message = defined;
    }
    return message;
  }
  // The open tokens and brackets: "[" and "]" for brackets, quoted texts in quotes.
  std::string tokens() const {
    std::string out;
    for (const Token* t = list_.head; t != nullptr && !(t->flags & kTokEnd); t = t->next) {
      if (t->flags & (kTokConsumed | kTokComment)) continue;
      if (!out.empty()) out += '|';
      if ((t->flags & kTokMarks) == kTokOpen) {
        out += '[';
      } else if ((t->flags & kTokMarks) == kTokClose) {
        out += ']';
      } else {
        const std::string text(t->text, static_cast<size_t>(t->length));
        out += (t->flags & kTokQuoted) ? "'" + text + "'" : text;
        if (t->flags & kTokSplit) out += '^';
      }
    }
    return out;
  }
  const Token* token(int n) const {
    const Token* t = list_.head;
    while (n-- > 0) t = t->next;
    return t;
  }
  bool in_buffer(const char* p) const { return p >= buffer_ && p < buffer_ + sizeof buffer_; }

  TokenList list_;
  Variables vars_;
  int32_t params_ = 0;
  char buffer_[528];
  char source_[528];
};

TEST(SubstitutionTest, EquValuesReplaceReferences) {
  Session run;
  ASSERT_EQ(run.statement("EQU %ONE% 10"), 0);
  ASSERT_EQ(run.statement("EQU %TWO% A 'b c'"), 0);
  EXPECT_EQ(run.statement("MOVE %ONE% TO %TWO%"), 0);
  EXPECT_EQ(run.tokens(), "MOVE|10|TO|[|A|'b c'|]");
  // Brackets do not count: MOVE, 10, TO, A and 'b c'.
  EXPECT_EQ(run.list_.unconsumed, 5);
  // The operations pass over brackets: taking everything leaves nothing over.
  while (run.list_.current != nullptr) take_token(run.list_);
  EXPECT_EQ(left_over(run.list_), nullptr);
  EXPECT_EQ(run.list_.unconsumed, 0);

  // The list is reused: the next statement starts clean over the spliced records.
  EXPECT_EQ(run.statement("P %ONE% X"), 0);
  EXPECT_EQ(run.tokens(), "P|10|X");
}

TEST(SubstitutionTest, ParametersEnvironmentAndProgramPath) {
  ::setenv("RS_SUBST_TEST", "abc", 1);
  Session run;
  run.params_ = 1;
  ASSERT_EQ(define_parameter(run.vars_, 1, "IN.TXT", "in.txt"), 0);
  EXPECT_EQ(run.statement("READ %1"), 0);
  EXPECT_EQ(run.tokens(), "READ|IN.TXT");
  const Token* name = run.token(1);
  EXPECT_EQ(std::string(name->source, name->source_length), "in.txt");  // file names keep case
  EXPECT_TRUE(name->flags & kTokInserted);

  EXPECT_EQ(run.statement("X %rs_subst_test% 'q%RS_SUBST_TEST%q' %0"), 0);
  EXPECT_EQ(run.tokens(), "X|ABC|'qabcq'|/OPT/BIN/RECSIFT");

  // A quoted parameter stays a quoted string in place of a whole token.
  ASSERT_EQ(define_parameter(run.vars_, 2, "a b", "'a b'", kTokSingleQuoted), 0);
  EXPECT_EQ(run.statement("IF P 1 = %2"), 0);
  EXPECT_EQ(run.tokens(), "IF|P|1|'a b'");
  EXPECT_EQ(std::string(run.token(3)->source, run.token(3)->source_length), "a b");
}

TEST(SubstitutionTest, UndefinedReferencesFollowEnvfail) {
  struct Case {
    EnvFail mode;
    const char* text;
    std::string tokens;
    int message;
  };
  static char kDefault[] = "dflt";
  const Case cases[] = {
      {EnvFail::kSame, "A %RS_UNSET_X% %5", "A|%RS_UNSET_X%|%5", 0},
      {EnvFail::kNull, "A %RS_UNSET_X% %5", "A||", 0},
      {EnvFail::kText, "A %RS_UNSET_X% B%5", "A|dflt|Bdflt", 0},
      {EnvFail::kCancel, "A %RS_UNSET_X%", "A|%RS_UNSET_X%", kMsgEnvironmentFail},
      {EnvFail::kCancel, "A %5", "A|%5", kMsgParameterFail},
      // An empty parameter counts as undefined.
      {EnvFail::kNull, "A %1", "A|", 0},
  };
  for (const Case& c : cases) {
    Session run;
    run.params_ = 9;
    define_parameter(run.vars_, 1, "", "''", kTokSingleQuoted);
    run.vars_.envfail = c.mode;
    run.vars_.envfail_text = kDefault;
    EXPECT_EQ(run.statement(c.text), c.message) << c.text;
    EXPECT_EQ(run.tokens(), c.tokens) << c.text;
    run.vars_.envfail_text = nullptr;  // not a pool text
  }
}

TEST(SubstitutionTest, WhereSubstitutionDoesNotHappen) {
  ::setenv("RS_SUBST_TEST", "abc", 1);
  Session run;
  ASSERT_EQ(define_parameter(run.vars_, 1, "P1", "p1"), 0);
  ASSERT_EQ(run.statement("EQU %E% X"), 0);
  // An EQU variable is not read inside quotes.
  EXPECT_EQ(run.statement("A '%E%' %E%"), 0);
  EXPECT_EQ(run.tokens(), "A|'%E%'|X");
  // NOENVVAR keeps parameters and the environment out, EQU variables still in.
  run.vars_.no_env = true;
  EXPECT_EQ(run.statement("A %1 %RS_SUBST_TEST% %E%"), 0);
  EXPECT_EQ(run.tokens(), "A|%1|%RS_SUBST_TEST%|X");
  // The name after EQU is defined, not substituted.
  run.vars_.no_env = false;
  EXPECT_EQ(run.statement("EQU %E% Y"), kMsgRedefined);
}

TEST(SubstitutionTest, DefinitionMessages) {
  ::setenv("RS_SUBST_ENV", "v", 1);
  struct Case {
    const char* text;
    bool command_line;
    int message;
  };
  Session run;
  run.params_ = 1;
  ASSERT_EQ(define_parameter(run.vars_, 1, "P1", "p1"), 0);
  const Case cases[] = {
      {"EQU %A%", false, kMsgBadEqu},                  // no value
      {"EQU 'x' 1", false, kMsgBadEqu},                // quoted name
      {"EQU %B% %B% 2", false, kMsgBadEqu},            // its own name: becomes 0
      {"EQU %C% 1", false, 0},                         //
      {"EQU %C% 2", false, kMsgRedefined},             // twice
      {"EQU %1   p1", true, 0},                        // the parameter's own EQU: passed over
      {"EQU %1 other", false, kMsgRedefined},          // a parameter redefined in the control input
      {"EQU %RS_SUBST_ENV% w", false, 0},              // the environment: once
      {"EQU %RS_SUBST_ENV% x", false, kMsgRedefined},  // and not twice
  };
  for (const Case& c : cases) EXPECT_EQ(run.statement(c.text, c.command_line), c.message) << c.text;
  EXPECT_EQ(run.statement("S %B% %1 %C% %RS_SUBST_ENV%"), 0);
  EXPECT_EQ(run.tokens(), "S|[|0|2|]|P1|1|W");
  // The skipped EQU left no token over.
  EXPECT_EQ(run.statement("EQU %1   p1", true), 0);
  EXPECT_EQ(left_over(run.list_), nullptr);
}

TEST(SubstitutionTest, ParameterBeyondCountUnderCancel) {
  Session run;
  run.params_ = 1;
  run.vars_.envfail = EnvFail::kCancel;
  ASSERT_EQ(define_parameter(run.vars_, 1, "A", "a"), 0);
  EXPECT_EQ(run.statement("X %1"), 0);
  EXPECT_EQ(run.statement("X %3"), kMsgParameterFail);
  // Defined by EQU in the control input, %3 is no longer an undefined parameter.
  ASSERT_EQ(run.statement("EQU %3 C"), 0);
  EXPECT_EQ(run.statement("X %3"), 0);
  EXPECT_EQ(run.tokens(), "X|C");
}

TEST(SubstitutionTest, SplitTokensJoin) {
  Session run;
  run.params_ = 2;
  ASSERT_EQ(define_parameter(run.vars_, 1, "5", "5"), 0);
  ASSERT_EQ(define_parameter(run.vars_, 2, "LONGERVALUE", "longervalue"), 0);
  // Every split token is joined, replaced or not. No split is left pending.
  EXPECT_EQ(run.statement("POS P10+%1 L-1"), 0);
  EXPECT_EQ(run.tokens(), "POS|P10+5|L-1");
  EXPECT_EQ(run.list_.pending_splits, 0);
  EXPECT_EQ(run.list_.unconsumed, 3);
  EXPECT_TRUE(run.in_buffer(run.token(1)->text));  // fits where it was typed

  // Longer than the source: a text of its own. The source joins the value as typed.
  EXPECT_EQ(run.statement("READ d-%2.txt"), 0);
  EXPECT_EQ(run.tokens(), "READ|D-LONGERVALUE.TXT");
  const Token* t = run.token(1);
  EXPECT_FALSE(run.in_buffer(t->text));
  EXPECT_TRUE(t->flags & kTokOwnsText);
  EXPECT_EQ(std::string(t->source, t->source_length), "d-longervalue.txt");

  // Inside quotes the pieces join with the parameter as typed.
  EXPECT_EQ(run.statement("A 'x%2y'"), 0);
  EXPECT_EQ(run.tokens(), "A|'xlongervaluey'");

  // A quoted string whose references stay (EQU variables are not read inside quotes, nor
  // anything under NOENVVAR or an undefined name under ENVFAIL SAME) is one literal as typed.
  ASSERT_EQ(run.statement("EQU %3 AB"), 0);
  EXPECT_EQ(run.statement("IF 'Z%3' OR 'a%RS_UNSET_Y%b' = %3"), 0);
  EXPECT_EQ(run.tokens(), "IF|'Z%3'|OR|'a%RS_UNSET_Y%b'|AB");
  run.vars_.no_env = true;
  EXPECT_EQ(run.statement("X 'q%HOME%' Y"), 0);
  EXPECT_EQ(run.tokens(), "X|'q%HOME%'|Y");
}

TEST(SubstitutionTest, JoinedTextIsLimited) {
  Session run;
  const std::string big(400, 'z');
  ASSERT_EQ(run.statement("EQU %L% '" + big + "'"), 0);
  EXPECT_EQ(run.statement("A %L%%L%"), kMsgBadToken);
  const Token* t = run.token(1);
  EXPECT_EQ(t->length, 527);
  EXPECT_EQ(std::strlen(t->text), 527u);
  EXPECT_TRUE(t->flags & kTokError);
  EXPECT_EQ(run.list_.error, t);
}

TEST(SubstitutionTest, NeedsSubstitutionOnlyForReferences) {
  Session run;
  char text[] = "MOVE P10+5 TO 3";
  tokenise(run.list_, text, nullptr, '!', false);
  EXPECT_FALSE(needs_substitution(run.vars_, run.list_));
  char ref[] = "MOVE %HOME% TO 3";
  tokenise(run.list_, ref, nullptr, '!', false);
  EXPECT_TRUE(needs_substitution(run.vars_, run.list_));
}

// Random statements with references in every position keep the list consistent.
TEST(SubstitutionTest, GarbageKeepsTheListConsistent) {
  Session run;
  run.params_ = 2;
  ASSERT_EQ(define_parameter(run.vars_, 1, "V", "v"), 0);
  ASSERT_EQ(run.statement("EQU %M% A 'B' C"), 0);
  ASSERT_EQ(run.statement("EQU %Q% '" + std::string(300, 'q') + "'"), 0);
  std::mt19937 rng(7);
  static const char* kPieces[] = {"%1", "%2", "%M%", "%Q%", "%0", "%HOME%", "'", "+", "-",
                                  " ",  "=",  ",",   "X",   "!",  "*",      "%", "\n"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    while (text.size() < 200) text += kPieces[rng() % (sizeof kPieces / sizeof kPieces[0])];
    run.vars_.envfail = static_cast<EnvFail>(round % 4);
    run.statement(text);
    int open = 0;
    for (const Token* t = run.list_.head; t != nullptr && !(t->flags & kTokEnd); t = t->next) {
      const bool bracket =
          (t->flags & kTokMarks) == kTokOpen || (t->flags & kTokMarks) == kTokClose;
      if (!bracket && !(t->flags & kTokConsumed) && t->text != nullptr) ++open;
      ASSERT_LE(t->length, 527) << text;
      ASSERT_EQ(static_cast<size_t>(t->length), std::strlen(t->text)) << text;
    }
    ASSERT_EQ(open, run.list_.unconsumed) << text;
    ASSERT_EQ(run.list_.pending_splits, 0) << text;
  }
}

}  // namespace
}  // namespace recsift::input
