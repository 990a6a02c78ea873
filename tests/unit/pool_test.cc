// Tests of the storage pool: hex text layouts, block sizes and trace lines, release and keep
// rules, chain upkeep, blocks obtained under changing flags, and the fatal stops.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/pool.h"

namespace recsift::base {
namespace {

class PoolTest : public ::testing::Test {
 protected:
  void SetUp() override { pool_settings() = PoolSettings{.trace = trace_}; }
  void TearDown() override {
    pool_settings() = PoolSettings{};
    std::fclose(trace_);
  }
  // The trace text written since the previous call.
  std::string take_trace() {
    std::fflush(trace_);
    std::fseek(trace_, pos_, SEEK_SET);
    std::string text;
    for (int c; (c = std::fgetc(trace_)) != EOF;) text += static_cast<char>(c);
    pos_ = std::ftell(trace_);
    return text;
  }
  std::FILE* trace_ = std::tmpfile();
  long pos_ = 0;
};
using PoolDeathTest = PoolTest;

const std::string kBlankPfx(18, ' ');

TEST(PoolC2hTest, Layouts) {
  uint8_t src[20];
  for (int i = 0; i < 20; ++i) src[i] = static_cast<uint8_t>(0xa0 + i);
  const struct {
    int n, dest_len;
    const void* src;
    const char* want;
  } cases[] = {
      {8, 19, src, "a0a1a2a3 a4a5a6a7 "},
      {5, 13, src, "a0a1a2a3 a4 "},
      {16, 37, src, "a0a1a2a3 a4a5a6a7 a8a9aaab acadaeaf "},
      {20, 47, src, "a0a1a2a3 a4a5a6a7 a8a9aaab acadaeaf \nb0b1b2b3 "},
      {8, 48, nullptr, "                  "},
      {8, 18, src, "c2h: Destn too small for source."},
  };
  for (const auto& c : cases) {
    char dest[64];
    EXPECT_STREQ(c2h(dest, c.dest_len, c.src, c.n), c.want) << c.n << "/" << c.dest_len;
  }
}

TEST_F(PoolTest, TotalsFillAndGotLine) {
  const struct {
    int64_t length;
    bool guard;
    int total;
  } cases[] = {{1, false, 8},         {9, false, 16},        {100, true, 0x168},
               {63999, false, 64000}, {64001, false, 64001}, {63801, true, 64057}};
  pool_settings().trace_gets = true;
  for (const auto& c : cases) {
    pool_settings().guard_blocks = c.guard;
    auto* p = static_cast<uint8_t*>(qelgcore(c.length, 0xab, "buf"));
    char want[16];
    std::snprintf(want, sizeof want, "L=0x%04x ", c.total);
    EXPECT_NE(take_trace().find(want), std::string::npos) << want;
    const int reachable = c.total - (c.guard ? 256 : 0);  // rounding bytes included
    for (int i = 0; i < reachable; ++i) ASSERT_EQ(p[i], 0xab) << c.length << "@" << i;
    qelgrel(&p, "buf");
  }
  // The exact line of a guarded 100-byte request; the caller gets the address 128 bytes in.
  pool_settings().guard_blocks = true;
  auto* p = static_cast<uint8_t*>(qelgcore(100, 0, "a-description-longer-than-31-characters"));
  EXPECT_EQ(pool_settings().chain_head + kPoolHeaderSize, p);
  char adr[16];
  std::snprintf(adr, sizeof adr, "%08x ", static_cast<unsigned>(uintptr_t(p - 128) & 0xffffffff));
  EXPECT_EQ(take_trace(), "Got 0007: pfx=" + kBlankPfx + " L=0x0168    adr=" + adr +
                              " id=a-description-longer-than-31-ch \n");
  qelgrel(&p, nullptr);
}

TEST_F(PoolTest, NullReleaseAndKeepToggleAtFiveAndNine) {
  pool_settings() = {
      .trace_releases = true, .keep_toggle = true, .n1 = 5, .n2 = 9, .trace = trace_};
  void* blocks[10] = {};  // the first stays null
  for (int i = 1; i < 10; ++i) blocks[i] = qelgcore(16, 0, "k");
  for (int i = 0; i < 10; ++i) {
    void* copy = blocks[i];
    qelgrel(&blocks[i], "k");
    const bool kept = i >= 4 && i <= 7;
    const char* status = i == 0 ? "NULL ptr  " : kept ? " (Kept)   " : "          ";
    const std::string line = take_trace();
    EXPECT_EQ(line.substr(0, 49), (i < 9 ? "Rel 000" : "Rel 00") + std::to_string(i + 1) +
                                      ": pfx=" + kBlankPfx + "  " + status + " adr=");
    EXPECT_TRUE(line.ends_with(i == 0 ? "adr=00000000  id=k \n" : " id=k \n")) << line;
    EXPECT_EQ(blocks[i], nullptr);
    if (kept) std::free(copy);  // still ours: a double free here means the pool freed it too
  }
  EXPECT_EQ(take_trace(), "");
}

TEST_F(PoolTest, ChainAfterReleasingFirstMiddleOrLast) {
  pool_settings().guard_blocks = true;
  for (int victim = 0; victim < 3; ++victim) {
    void* p[3];
    for (void*& q : p) q = qelgcore(40, 0, "c");
    qelgrel(&p[victim], "c");
    std::vector<void*> chain;  // the chain's blocks as the caller sees them, head to tail
    for (uint8_t* b = pool_settings().chain_head; b != nullptr; std::memcpy(&b, b + kHdrNext, 8))
      chain.push_back(b + kPoolHeaderSize);
    std::vector<void*> want(p, p + 3);
    want.erase(want.begin() + victim);
    EXPECT_EQ(chain, want) << victim;
    for (void*& q : p) qelgrel(&q, "c");  // every release verifies the prev links too
    EXPECT_EQ(pool_settings().chain_tail, nullptr);
  }
}

TEST_F(PoolTest, BlocksKeepTheirShapeWhenGuardingChangesMidRun) {
  // Obtained bare, released once the chain is in use: freed at its own start.
  void* bare = qelgcore(32, 0, "bare");
  pool_settings().guard_blocks = true;
  void* guarded = qelgcore(32, 0, "g");
  qelgrel(&bare, "bare");
  // Obtained after guarding stopped while the chain was in use: joins the chain with a header,
  // and still goes back from its true start once the chain has emptied.
  pool_settings().guard_blocks = false;
  auto* late = static_cast<uint8_t*>(qelgcore(32, 0, "late"));
  EXPECT_EQ(pool_settings().chain_tail + kPoolHeaderSize, late);
  qelgrel(&guarded, "g");
  qelgrel(&late, "late");
  EXPECT_EQ(pool_settings().chain_head, nullptr);
}

TEST_F(PoolTest, ArenaReleasesEveryBlockOfItsRunOnce) {
  // Each mode: a block obtained before the arena stays; inside it, one block is released early
  // (freed, or kept under NR) and two are left for the release.
  const struct {
    const char* mode;
    bool guard, keep;
  } modes[] = {{"plain", false, false}, {"guarded", true, false}, {"kept", false, true}};
  for (const auto& m : modes) {
    pool_settings() = {.guard_blocks = m.guard, .trace = trace_};
    void* outside = qelgcore(24, 0, "out");
    const int64_t held = pool_blocks_held();
    {
      PoolArena arena;
      void* early = qelgcore(40, 0, "early");
      qelgcore(40, 0, "left1");
      pool_settings().keep_released = m.keep;
      qelgrel(&early, "early");
      qelgcore(70000, 0, "left2");
      EXPECT_EQ(arena.blocks(), m.keep ? 3 : 2) << m.mode;
      arena.release_run();
      EXPECT_EQ(pool_blocks_held(), held) << m.mode;
      EXPECT_EQ(arena.blocks(), 0);
      EXPECT_FALSE(pool_settings().keep_released);  // flags as when the arena began
      EXPECT_EQ(pool_settings().get_count, 1);
      qelgcore(8, 0, "next");  // the arena records the next run; its end releases it
    }
    EXPECT_EQ(pool_blocks_held(), held) << m.mode;
    EXPECT_EQ(pool_settings().chain_head == nullptr, !m.guard);
    EXPECT_EQ(pool_settings().unguarded_live, m.guard ? 0 : 1);
    qelgrel(&outside, "out");  // verifies what is left of the chain
    EXPECT_EQ(pool_settings().chain_head, nullptr);
    EXPECT_EQ(take_trace(), "");  // a release writes no trace line
  }
}

uint8_t foreign[256];  // storage the pool never handed out

TEST_F(PoolDeathTest, FatalStops) {
  // Each case runs after two guarded 96-byte blocks "one" and "two" were obtained; the next
  // pool call must stop the run.
  const struct {
    void (*act)(uint8_t* one, uint8_t* two);
    int code;
    const char* want;
  } cases[] = {
      {[](uint8_t*, uint8_t*) { qelgcore(0, 0, "cmw"); }, 1, "qelgcore err: lenreqd=0  \"cmw\" \n"},
      {[](uint8_t*, uint8_t*) { qelgcore(int64_t{3} << 30, 0, "buf"); }, 1,
       "qelgcore err: lenreqd=3221225472  \"buf\" \n"},
      {[](uint8_t*, uint8_t* two) { two[-1] = 'x'; }, 8301,
       "\\*\\* qelgcorv: g1: Head and Tail differ. \n             Last good = Got:001  id=one \n"},
      {[](uint8_t*, uint8_t* two) { two[96] = 'x'; }, 8301, "g1: Head and Tail differ.*Got:001"},
      // A damaged total must not send the comparison outside the block.
      {[](uint8_t* one, uint8_t*) { one[-128 + kHdrTotal + 2] = 0x10; }, 8301,
       "g1: Head and Tail differ.*Got:000  id=\\(none\\)"},
      {[](uint8_t*, uint8_t* two) { two[-128 + kHdrPrev] ^= 8; }, 8301, "g1: prv ptr conflict"},
      {[](uint8_t*, uint8_t*) {
         void* p = foreign + 128;
         qelgrel(&p, "foreign");  // caught before anything is freed
       },
       8301, "r1: Tail not found.*Got:002  id=two"},
  };
  pool_settings() = {.guard_blocks = true};
  EXPECT_EQ(qelgcore(int64_t{3} << 30, 0, nullptr), nullptr);  // too large, but no description
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          auto* one = static_cast<uint8_t*>(qelgcore(96, 0, "one"));
          c.act(one, static_cast<uint8_t*>(qelgcore(96, 0, "two")));
          qelgcore(8, 0, "next");
        },
        ::testing::ExitedWithCode(c.code % 256), c.want)
        << c.want;
  }
}

}  // namespace
}  // namespace recsift::base
