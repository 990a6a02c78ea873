// Tests of the keyword lists and the token list operations: matching at the current token and
// anywhere, taking, backing up, left-over tokens, error marks, and the logic-error stops.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "input/input.h"

namespace recsift::input {
namespace {

class KeywordTest : public ::testing::Test {
 protected:
  void TearDown() override { release_token_list(list_); }
  void tokenise_text(const std::string& text) {
    text_ = text;
    tokenise(list_, text_.data(), nullptr, '!', false);
  }
  // The texts of the tokens not yet consumed, "|"-separated.
  std::string open_tokens() const {
    std::string out;
    for (const Token* t = list_.head; !(t->flags & kTokEnd); t = t->next) {
      if (t->flags & kTokConsumed) continue;
      if (!out.empty()) out += '|';
      out += t->text;
    }
    return out;
  }
  std::string text_;
  TokenList list_;
};

std::string str(const char* s) {
  return s != nullptr ? s : "<null>";
}

TEST_F(KeywordTest, MatchCurrentTakesWordsInEitherCaseOnly) {
  tokenise_text("pos POS 'POS' P");
  EXPECT_EQ(str(match_current(list_, "P,POS")), "POS");
  EXPECT_EQ(str(match_current(list_, "P,POS")), "POS");
  // A quoted token never matches, and a failed match leaves everything as it was.
  Token* quoted = list_.current;
  EXPECT_EQ(str(match_current(list_, "P,POS")), "<null>");
  EXPECT_EQ(list_.current, quoted);
  EXPECT_EQ(list_.unconsumed, 2);
  EXPECT_EQ(str(match_current(list_, "PO")), "<null>");  // no abbreviation
  EXPECT_EQ(take_token(list_), quoted->text);
  EXPECT_EQ(str(match_current(list_, "P,POS")), "P");
  EXPECT_EQ(list_.current, nullptr);
  EXPECT_EQ(str(match_current(list_, "P,POS")), "<null>");
  EXPECT_EQ(list_.unconsumed, 0);
}

TEST_F(KeywordTest, MatchCurrentPassesConsumedAndBracketsButNotSplitPieces) {
  tokenise_text("A B P+1");
  list_.head->flags |= kTokConsumed;                        // A taken elsewhere
  list_.head->next->flags |= kTokSticky | kTokOpen;         // B stands in for a bracket
  EXPECT_EQ(str(match_current(list_, "P,POS")), "<null>");  // P is the head of a split
  EXPECT_EQ(list_.current, list_.head);
  EXPECT_EQ(left_over(list_)->text, std::string("P"));
}

TEST_F(KeywordTest, FindAnywhereTakesKeywordAndReturnsOperand) {
  tokenise_text("OPTION PAGEWIDTH=120 PD 60");
  EXPECT_EQ(str(find_anywhere(list_, "PW,PAGEWIDTH")), "120");
  EXPECT_EQ(open_tokens(), "OPTION|120|PD|60");
  EXPECT_EQ(list_.current->text, std::string("120"));  // current, not taken
  EXPECT_EQ(list_.unconsumed, 4);
  EXPECT_EQ(take_token(list_), std::string("120"));
  EXPECT_EQ(open_tokens(), "OPTION|PD|60");
  // Not present, quoted, or already taken: nothing.
  EXPECT_EQ(str(find_anywhere(list_, "PW,PAGEWIDTH")), "<null>");
  EXPECT_EQ(str(find_anywhere(list_, "DW")), "<null>");
  EXPECT_EQ(list_.current->text, std::string("PD"));
}

TEST_F(KeywordTest, FindAnywhereWildcardsEndOfStatementAndNothingLeft) {
  tokenise_text("OPTION 'PW' SUMMARY 3 PW");
  EXPECT_EQ(str(find_anywhere(list_, "SUM*")), "3");
  EXPECT_EQ(str(find_anywhere(list_, "?W")), "");  // the unquoted PW, last in the statement
  EXPECT_EQ(list_.current, nullptr);
  EXPECT_EQ(open_tokens(), "OPTION|PW|3");

  tokenise_text("* only a comment");
  EXPECT_EQ(str(find_anywhere(list_, "*")), "<null>");
}

TEST_F(KeywordTest, TakeCountsOnceAndStickyTokensStay) {
  tokenise_text("A B C");
  Token* b = list_.head->next;
  b->flags |= kTokSticky;
  EXPECT_EQ(take_token(list_), std::string("A"));
  EXPECT_EQ(take_token(list_), std::string("B"));  // sticky: moves on, stays open
  EXPECT_EQ(list_.last_keyword, b);
  EXPECT_EQ(list_.unconsumed, 2);
  EXPECT_EQ(open_tokens(), "B|C");
  // A bracket (sticky, one mark) is passed over and never becomes the last keyword.
  tokenise_text("A ( C");
  list_.head->next->flags |= kTokSticky | kTokClose;
  take_token(list_);
  EXPECT_EQ(list_.current->text, std::string("C"));
  EXPECT_EQ(list_.last_keyword, list_.head);
}

TEST_F(KeywordTest, BackUpReopensLastKeywordOnce) {
  tokenise_text("READ IN");
  EXPECT_EQ(str(back_up(list_)), "<null>");
  match_current(list_, "READ,RD");
  EXPECT_EQ(list_.unconsumed, 1);
  EXPECT_EQ(str(back_up(list_)), "READ");
  EXPECT_EQ(str(back_up(list_)), "READ");
  EXPECT_EQ(list_.unconsumed, 2);
  EXPECT_EQ(list_.current, list_.head);
  EXPECT_EQ(str(match_current(list_, "READ")), "READ");
  EXPECT_EQ(list_.unconsumed, 1);
}

TEST_F(KeywordTest, LeftOverFindsFirstOpenToken) {
  tokenise_text("A B * note");
  take_token(list_);
  Token* b = list_.current;
  list_.current = nullptr;
  EXPECT_EQ(left_over(list_), b);
  EXPECT_EQ(list_.current, b);
  take_token(list_);
  EXPECT_EQ(left_over(list_), nullptr);  // the comment does not count
}

TEST_F(KeywordTest, MarkErrorKeepsFirstMarkAndMarksEndWhenRunOut) {
  tokenise_text("IF P X");
  take_token(list_);
  EXPECT_EQ(mark_error(list_), kMsgBadToken);
  Token* p = list_.head->next;
  EXPECT_EQ(list_.error, p);
  EXPECT_TRUE(p->flags & kTokError);
  take_token(list_);
  take_token(list_);
  EXPECT_EQ(mark_error(list_), 27);
  EXPECT_EQ(list_.error, p);
  Token* end = p->next->next;
  EXPECT_TRUE(end->flags & kTokEnd);
  EXPECT_TRUE(end->flags & kTokError);
}

TEST(KeywordListTest, OperatorCodes) {
  const std::pair<int, std::vector<std::string>> cases[] = {
      {1, {"EQ", "EX", "EXACT"}},
      {2, {"LT", "<"}},
      {3, {"GT", ">"}},
      {4, {"NE", "<>", "NOT", "\xAA"}},
      {5, {"GE", ">=", "=>", "NLT", "\xAA<", "LOW", "LO"}},
      {6, {"LE", "<=", "=<", "NGT", "\xAA>", "HIGH", "HI"}},
      {8, {"ONES"}},
      {9, {"MIXED"}},
      {10, {"ZEROS", "ZEROES"}},
      // Not operators: code bytes, fragments, list punctuation, lower case.
      {0, {"\x01", "\x0A", "E", "EQ,EX", "", ",", "eq", "ZERO"}},
  };
  for (const auto& [code, words] : cases) {
    for (const std::string& w : words) EXPECT_EQ(operator_code(w), code) << w;
  }

  std::string text = "GT 'GT'";
  TokenList list;
  tokenise(list, text.data(), nullptr, '!', false);
  EXPECT_EQ(operator_code(*list.head), kOpGreater);
  EXPECT_EQ(operator_code(*list.head->next), kOpNone);  // quoted
  release_token_list(list);
}

TEST(KeywordListTest, ReservedWords) {
  const struct {
    const char* word;
    bool reserved;
  } cases[] = {
      {"E", true},       {"GG", true},     {"WTO", true}, {"plog", true},     {"Print", true},
      {"OPTIONS", true}, {"RETURN", true}, {"X", false},  {"ENDS", false},    {"OPTIONSX", false},
      {"", false},       {"E,L", false},   {"L,", false}, {"PRINTER", false},
  };
  for (const auto& c : cases) EXPECT_EQ(reserved_word(c.word), c.reserved) << c.word;
}

TEST(KeywordListTest, WildcardsAndPlainLists) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", "", true},       {"*", "ABC", true},     {"A*", "A", true},
      {"A*C", "ABBC", true}, {"A*C", "ABCB", false}, {"?", "", false},
      {"A?C", "ABC", true},  {"*B*B", "ABXB", true}, {"*.TXT", "A.TXT.TXT", true},
      {"A", "AB", false},    {"AB", "A", false},     {"**?", "X", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  }
  EXPECT_TRUE(list_contains("WR,WRITE,OUTPUT,OUT,PUT", "PUT"));
  EXPECT_FALSE(list_contains("WR,WRITE,OUTPUT,OUT,PUT", "WRIT"));
  EXPECT_FALSE(list_contains("A,,B,", ""));
  EXPECT_FALSE(list_contains("P,POS", "P,POS"));
}

TEST(TokenListDeathTest, LogicErrorsStopTheRun) {
  TokenList list;
  EXPECT_EXIT(take_token(list), testing::ExitedWithCode(3202 & 0xff), "Logic Error=3202");
  std::string text = "A B";
  tokenise(list, text.data(), nullptr, '!', false);
  list.head->next->flags |= kTokOpen;  // a bracket that is not sticky
  EXPECT_EXIT(take_token(list), testing::ExitedWithCode(3203 & 0xff), "Logic Error=3203");
  list.head->next->flags |= kTokSticky;
  EXPECT_EXIT(reset_token(*list.head->next), testing::ExitedWithCode(3204 & 0xff),
              "Logic Error=3204");
  release_token_list(list);
}

}  // namespace
}  // namespace recsift::input
