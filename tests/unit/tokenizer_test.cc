// Tests of the tokenizer: statement texts against their token lists, source positions, the
// splitting of pieces, the token limit, errors and the line skip, and robustness on garbage.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input.h"

namespace recsift::input {
namespace {

// One statement text in a buffer of exactly its size (so the sanitizers see any overrun), with
// its own copy as the source, tokenised into a list that is released at the end.
class Statement {
 public:
  explicit Statement(const std::string& text, uint8_t sep = '!', bool no_split = false,
                     int32_t max = 516, std::FILE* log = nullptr)
      : original_(text), text_(new char[text.size() + 1]), source_(new char[text.size() + 1]) {
    std::memcpy(text_.get(), text.c_str(), text.size() + 1);
    std::memcpy(source_.get(), text.c_str(), text.size() + 1);
    list_.max_token_length = max;
    list_.log = log;
    rest_ = tokenise(list_, text_.get(), source_.get(), sep, no_split);
  }
  ~Statement() { release_token_list(list_); }

  TokenList& list() { return list_; }
  char* text() { return text_.get(); }
  const char* source() { return source_.get(); }
  // The text after the separator, or "<null>".
  std::string rest() const { return rest_ != nullptr ? std::string(rest_) : "<null>"; }
  // The tokens up to the end record. Prefixes "=" and "," show the preceded-by flags; quoted
  // strings keep their quotes, hex literals show their bytes, "~" is a string that is neither
  // quoted nor a word, "#" a comment; suffixes "^" split, ";" last, "!" error.
  std::string tokens() const {
    std::string out;
    for (const Token* t = list_.head; t != nullptr; t = t->next) {
      const bool end = (t->flags & kTokEnd) != 0;
      if (end && (t->flags & (kTokLast | kTokError)) == 0) break;
      if (!out.empty()) out += '|';
      if (t->flags & kTokAfterEquals) out += '=';
      if (t->flags & kTokAfterComma) out += ',';
      const std::string text(t->text, static_cast<size_t>(t->length));
      const char q = (t->flags & kTokDoubleQuoted) ? '"' : '\'';
      if (t->flags & kTokComment) {
        out += "#" + text;
      } else if ((t->flags & kTokHex) && !(t->flags & kTokError)) {
        out += std::string("X") + q;
        for (unsigned char c : text) {
          static const char kDigits[] = "0123456789ABCDEF";
          out += kDigits[c >> 4];
          out += kDigits[c & 15];
        }
        out += q;
      } else if (t->flags & kTokHex) {
        out += std::string("X") + q + text + q;
      } else if (t->flags & kTokQuoted) {
        out += q + text + q;
      } else if (!(t->flags & kTokWord) && !end) {
        out += "~" + text;
      } else {
        out += text;
      }
      if (t->flags & kTokSplit) out += '^';
      if (t->flags & kTokLast) out += ';';
      if (t->flags & kTokError) out += '!';
      if (end) break;
    }
    return out;
  }
  // The source text of every token as written, "|"-separated.
  std::string sources() const {
    std::string out;
    for (const Token* t = list_.head; t != nullptr && !(t->flags & kTokEnd); t = t->next) {
      if (!out.empty()) out += '|';
      EXPECT_GE(t->source, source_.get());
      EXPECT_LE(t->source + t->source_length, source_.get() + original_.size());
      out.append(t->source, static_cast<size_t>(t->source_length));
    }
    return out;
  }

 private:
  std::string original_;
  std::unique_ptr<char[]> text_;
  std::unique_ptr<char[]> source_;
  TokenList list_;
  char* rest_ = nullptr;
};

struct TokenCase {
  const char* name;
  const char* text;
  uint8_t sep;
  bool no_split;
  const char* tokens;
  const char* rest;
};

TEST(TokenizerTest, StatementsCutIntoTokens) {
  const TokenCase cases[] = {
      // Words, quotes and the preceded-by flags.
      {"quoted after equals", "IF P 1 = 'It''s'\n", '!', false, "IF|P|1|='It's'", "<null>"},
      {"equals glued", "A=B", '!', false, "A|=B", "<null>"},
      {"comma and equals", "a,b=,c", '!', false, "A|,B|=,C", "<null>"},
      {"double quotes", "\"say 'hi'\" \"a\"\"b\"", '!', false, "\"say 'hi'\"|\"a\"b\"", "<null>"},
      {"empty and quote-only strings", "'' ''''", '!', false, "''|'''", "<null>"},
      {"string after a word", "C'abc' x'41'", '!', false, "C|~abc|X'41'", "<null>"},
      {"tabs, CR LF", "A\tB\r\nC\n", '!', false, "A|B|C", "<null>"},
      {"blank line", "   \n", '!', false, "", "<null>"},
      {"empty text", "", '!', false, "", "<null>"},
      // Hexadecimal literals.
      {"hex with separators", "X'C1 C2,C3'", '!', false, "X'C1C2C3'", "<null>"},
      {"hex odd digit count", "X'123'", '!', false, "X'0123'", "<null>"},
      {"hex double quoted, lower", "x\"ab\"", '!', false, "X\"AB\"", "<null>"},
      {"hex empty", "X'' Y", '!', false, "X''|Y", "<null>"},
      {"hex bad digit skips line", "X'C1G2' Z\nW", '!', false, "X'C1G2'!|W", "<null>"},
      {"hex glued to a word", "X'C1'B\n", '!', false, "X'C1'!", "<null>"},
      // The separator.
      {"separator ends a word", "A B!C", '!', false, "A|B;", "C"},
      {"separator alone", "A B ! C", '!', false, "A|B|;", " C"},
      {"separator after string", "A 'x'! C", '!', false, "A|'x'|;", " C"},
      {"separator inside quotes", "A 'x!y' B", '!', false, "A|'x!y'|B", "<null>"},
      {"no separator", "A ! B", 0, false, "A|!|B", "<null>"},
      {"other separator", "A;B!C", ';', false, "A;", "B!C"},
      // Comments.
      {"comment to separator", "MOVE 10 TO 20 * copy it ! NEXT\n", '!', false,
       "MOVE|10|TO|20|#* copy it ;", " NEXT\n"},
      {"comment passes a quoted separator", "A * 'x!y' ! B", '!', false, "A|#* 'x!y' ;", " B"},
      {"comment with lone quote runs to line end", "A * it's ! B\nC", '!', false, "A|#* it's ! B|C",
       "<null>"},
      {"comment to CR LF", "A * x\r\nB", '!', false, "A|#* x|B", "<null>"},
      {"lone CR ends the statement", "A * x\rB C", '!', false, "A|#* x;", "B C"},
      {"comment without separator", "A * x ! B", 0, false, "A|#* x ! B", "<null>"},
      {"comment *< at start", "*< all ! of it", '!', false, "#*< all ! of it", "<null>"},
      {"*< elsewhere", "A *< x ! B", '!', false, "A|#*< x ;", " B"},
      {"star inside a word", "A*B", '!', false, "A*B", "<null>"},
      // Errors.
      {"unclosed quote", "IF 'abc\nB", '!', false, "IF|'abc'!|B", "<null>"},
      {"char after closing quote", "'abc'X ! B\nC", '!', false, "'abc'!|C", "<null>"},
      // Splitting.
      {"plus", "P10+5", '!', false, "P10^|+^|5", "<null>"},
      {"minus", "L-1", '!', false, "L^|-^|1", "<null>"},
      {"leading sign", "-5", '!', false, "-^|5", "<null>"},
      {"piece alone", "+ %1 %HOME%", '!', false, "+|%1|%HOME%", "<null>"},
      {"signs in a row", "A++", '!', false, "A^|+^|+", "<null>"},
      {"digit reference", "A%1B", '!', false, "A^|%1^|B", "<null>"},
      {"named reference", "%home%/x", '!', false, "%HOME%^|/X", "<null>"},
      {"reference holds sign", "%A-B%", '!', false, "%A-B%", "<null>"},
      {"unclosed percent in word", "A%B", '!', false, "A^|%^|B", "<null>"},
      {"reference in string", "'a%1b'", '!', false, "'a'^|%1^|b", "<null>"},
      {"unclosed percent in string", "'100%' '-'", '!', false, "'100%'|'-'", "<null>"},
      {"pieces inherit, last moves", "DSN=a+b!C", '!', false, "DSN|=A^|=+^|=B;", "C"},
      {"no split", "P10+5 'x%1'", '!', true, "P10+5|'x%1'", "<null>"},
  };
  for (const TokenCase& c : cases) {
    Statement s(c.text, c.sep, c.no_split);
    EXPECT_EQ(s.tokens(), c.tokens) << c.name;
    EXPECT_EQ(s.rest(), c.rest) << c.name;
  }
}

TEST(TokenizerTest, SourcePositionsStayAlignedAfterCollapsedQuotes) {
  // A doubled quote shrinks its string, but later tokens keep their place: the file name below
  // is taken as typed from its source position.
  Statement s("IF P 1 = 'It''s' THEN WRITE out.txt X'C1 C2' DSN=a+b\n");
  EXPECT_EQ(s.sources(), "IF|P|1|It''s|THEN|WRITE|out.txt|C1 C2|DSN|a+b|+|b");
  // The head of a split token spans the whole word as written; its pieces their own text.
  const Token* head = s.list().head;
  while (std::string(head->text) != "A") head = head->next;
  EXPECT_EQ(head->source_length, 3);
  EXPECT_EQ(head->next->flags & kTokFullSource, kTokFullSource);
  EXPECT_EQ(head->flags & kTokFullSource, 0u);
}

TEST(TokenizerTest, HexPackingStaysInsideItsQuotes) {
  Statement t("Z X'1 2 3' Y\n");
  const Token* hex = t.list().head->next;
  EXPECT_EQ(std::string(t.text(), 4), std::string("Z\0X'", 4));  // nothing before the digits
  EXPECT_EQ(hex->text, t.text() + 7);  // the bytes end just before the closing quote
  EXPECT_EQ(hex->length, 2);
}

TEST(TokenizerTest, CountsTokensSplitsAndComment) {
  Statement s("A B+C 'x' * note");
  EXPECT_EQ(s.list().unconsumed, 5);  // A, B, +, C, 'x'; the comment is consumed
  EXPECT_EQ(s.list().final_count, 5);
  EXPECT_EQ(s.list().pending_splits, 2);
  ASSERT_NE(s.list().comment, nullptr);
  EXPECT_STREQ(s.list().comment->text, "* note");
  EXPECT_EQ(s.list().current, s.list().head);
  EXPECT_EQ(s.list().error, nullptr);

  Statement only_comment("* all comment\n");
  EXPECT_EQ(only_comment.list().current, nullptr);
  EXPECT_EQ(only_comment.list().unconsumed, 0);
}

TEST(TokenizerTest, TokenLengthLimit) {
  const std::string at_limit(516, 'a');
  Statement ok(at_limit + " B");
  EXPECT_EQ(ok.list().head->length, 516);
  EXPECT_EQ(ok.list().error, nullptr);

  // One over: in error, cut to the limit, and nothing after it is tokenised.
  Statement over(at_limit + "A B!C");
  ASSERT_NE(over.list().error, nullptr);
  EXPECT_EQ(over.list().head, over.list().error);
  EXPECT_EQ(over.list().head->length, 516);
  EXPECT_EQ(std::strlen(over.list().head->text), 516u);
  EXPECT_EQ(over.tokens(), std::string(516, 'A') + "!");
  EXPECT_EQ(over.rest(), "<null>");

  Statement quoted("'" + at_limit + "''" + "' B");  // 517 characters after collapsing
  EXPECT_EQ(quoted.tokens(), "'" + at_limit + "'!");

  Statement raised(at_limit + "A B", '!', false, 600);
  EXPECT_EQ(raised.tokens(), std::string(517, 'A') + "|B");
}

TEST(TokenizerTest, NoLineFeedAfterErrorIsLogged) {
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  {
    Statement with_lf("IF 'abc\n", '!', false, 516, log);
    Statement without("IF 'abc ! B", '!', false, 516, log);
    EXPECT_EQ(without.tokens(), "IF|'abc ! B'!");
    EXPECT_EQ(without.rest(), "<null>");
    Statement bad_hex("X'ZZ'", '!', false, 516, log);
    EXPECT_EQ(bad_hex.tokens(), "X'ZZ'!");
  }
  std::rewind(log);
  char buf[200] = {};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, log);
  std::fclose(log);
  EXPECT_EQ(std::string(buf, n), "**# No CR found #**\n**# No CR found #**\n");

  testing::internal::CaptureStderr();
  { Statement to_stderr("'x"); }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "**# No CR found #**\n");
}

TEST(TokenizerTest, ReusedRecordsStartFresh) {
  TokenList list;
  std::string first = "A+B C-D E F G H\n";
  tokenise(list, first.data(), nullptr, '!', false);
  // Leave marks behind as substitution would; a new statement must not see them.
  for (Token* t = list.head; !(t->flags & kTokEnd); t = t->next) {
    t->flags |= kTokSticky | kTokOpen | kTokConsumed;
  }
  std::string second = "X Y";
  tokenise(list, second.data(), nullptr, '!', false);
  EXPECT_EQ(list.unconsumed, 2);
  EXPECT_EQ(list.head->flags, uint32_t{kTokWord});
  EXPECT_EQ(list.head->next->next->flags, uint32_t{kTokEnd});
  EXPECT_STREQ(list.head->next->next->text, "");
  EXPECT_EQ(left_over(list), list.head);
  release_token_list(list);
  EXPECT_EQ(list.head, nullptr);
}

// Random bytes (with the delimiters and specials over-represented) must never make the
// tokenizer step outside its text, and the list must stay consistent.
TEST(TokenizerTest, GarbageKeepsTheListConsistent) {
  TokenList list;
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  static const char kSpecial[] = "'\"=, \t\r\n*%+-!Xx<";
  for (int round = 0; round < 3000; ++round) {
    const size_t n = next() % (round % 10 == 0 ? 1200 : 80);
    std::unique_ptr<char[]> text(new char[n + 1]);
    for (size_t i = 0; i < n; ++i) {
      const unsigned r = next();
      text[i] = (r & 1) ? kSpecial[r % (sizeof kSpecial - 1)] : static_cast<char>(1 + r % 255);
    }
    text[n] = 0;
    const std::string source(text.get(), n);
    list.max_token_length = round % 3 == 0 ? 20 : 516;
    std::FILE* log = std::tmpfile();
    list.log = log;
    const uint8_t sep = round % 4 == 0 ? 0 : '!';
    char* rest = tokenise(list, text.get(), source.c_str(), sep, round % 5 == 0);
    std::fclose(log);
    if (rest != nullptr) {
      ASSERT_GT(rest, text.get());
      ASSERT_LE(rest, text.get() + n);
    }
    int open = 0;
    int pieces = 0;
    const Token* t = list.head;
    for (; !(t->flags & kTokEnd); t = t->next) {
      ASSERT_GE(t->length, 0);
      ASSERT_LE(t->length, list.max_token_length);
      ASSERT_EQ(t->text[t->length], 0);
      if (!(t->flags & kTokOwnsText)) {
        ASSERT_GE(t->text, text.get());
        ASSERT_LE(t->text + t->length, text.get() + n);
      }
      ASSERT_GE(t->source, source.c_str());
      ASSERT_LE(t->source + t->source_length, source.c_str() + n);
      if (!(t->flags & kTokConsumed)) ++open;
      if (t->flags & kTokFullSource) ++pieces;
    }
    ASSERT_GE(t->text, text.get());
    ASSERT_LE(t->text, text.get() + n);
    ASSERT_EQ(*t->text, 0);
    ASSERT_EQ(open, list.unconsumed) << round;
    ASSERT_EQ(pieces, list.pending_splits) << round;
  }
  release_token_list(list);
}

}  // namespace
}  // namespace recsift::input
