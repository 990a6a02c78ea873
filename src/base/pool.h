// The storage pool: every dynamic block of the program (the work block, file control blocks,
// buffers, tokens, compiled statements) is obtained here, with a short description that the
// "-cor" traces and guards show.
//
// A run's storage can be released as a whole: while a PoolArena is current, every block the pool
// hands out is recorded in it, and release_run() frees every block still recorded. Invariants:
// - An arena records blocks only; it never changes what the pool does between a run's start and
//   its release: block layout, "Got"/"Rel" lines, counters, guard verification and keep modes are
//   the same with or without one. The release itself writes no trace line.
// - A block freed by qelgrel leaves the arena that recorded it, so release_run never frees a block
//   twice. A block kept by NR/TR stays recorded (as kept) and is freed by the release.
// - Guarded blocks freed by the release leave the chain; blocks of other arenas, or obtained
//   while no arena was current, keep their places in it.
// - release_run puts the flags and counters back as they were when the arena began (the chain and
//   unguarded_live excepted, which keep counting what is live), so each run starts as the first.
// - Arenas nest: the newest one is current and records; destroying it releases it and makes the
//   one before current again (an arena destroyed out of turn just leaves the nesting). A block
//   obtained with no arena current lives until qelgrel.
#ifndef RECSIFT_BASE_POOL_H_
#define RECSIFT_BASE_POOL_H_

#include <cstdint>
#include <cstdio>
#include <vector>

namespace recsift::base {

// Size of a guarded block's header, and of the copy of it at the block's end.
inline constexpr int kPoolHeaderSize = 128;
// Totals below this are rounded up to a multiple of 8; larger totals are taken as they are.
inline constexpr int64_t kPoolRoundLimit = 64000;
// Process exit codes of the pool's fatal stops.
inline constexpr int kPoolExitNoStorage = 1;
inline constexpr int kPoolExitCorrupt = 8301;

// Settings and counters of the pool: one set per process, all zero at start. The run driver sets
// the flags from "-cor"; the counters are the pool's own.
struct PoolSettings {
  bool trace_gets = false;        // M1: a "Got" line for every allocation
  bool trace_releases = false;    // M2: a "Rel" line for every release
  bool keep_released = false;     // NR: released blocks leave the chain but stay allocated
  bool keep_toggle = false;       // TR: invert keep_released at release numbers n1 and n2
  bool guard_blocks = false;      // HT: every block carries a header at both ends, in the chain
  int32_t n1 = 0;                 // first TR release number (0 = not given)
  int32_t n2 = 0;                 // second TR release number (0 = not given)
  int32_t get_count = 0;          // allocations so far; the first is number 1
  int32_t release_count = 0;      // releases so far; the first is number 1
  uint8_t* chain_head = nullptr;  // first guarded block (block start, header included)
  uint8_t* chain_tail = nullptr;  // last guarded block
  int64_t unguarded_live = 0;     // blocks handed out without a header and not yet released
  std::FILE* trace = nullptr;     // trace and verification lines; standard error when null
};

// The process's pool settings.
PoolSettings& pool_settings();

// Block header layout (guarded blocks; also built for the "Got" line). On 64 bits the two chain
// addresses take 8 bytes each; everything after them keeps its place.
enum PoolHeaderOffset : int {
  kHdrNext = 0,        // 8: start of the next guarded block, 0 for the last
  kHdrPrev = 8,        // 8: start of the previous guarded block, 0 for the first
  kHdrSequence = 16,   // 4: get count of this allocation
  kHdrLength = 20,     // 4: header length, always 128
  kHdrRequested = 24,  // 4: requested length
  kHdrTotal = 28,      // 4: total length (both copies and the rounding included)
  kHdrPfx = 32,        // 48: hex text of the heap bytes before the block (blank here)
  kHdrAdr = 80,        // 16: hex text of the block address (low 32 bits)
  kHdrId = 96,         // 32: the caller's description, at most 31 characters, or "NoDesc"
};

// Storage of at least `length` bytes, filled with `fill` (0..255) unless fill is negative.
// A length below 1, or a heap failure on a request with a description, stops the process with
// exit code 1; without a description a heap failure returns null. A block that gets a header
// cannot exceed what the header's 4-byte total describes; a larger request counts as a heap
// failure.
void* qelgcore(int64_t length, int fill, const char* description);
// Releases the block *pointer designates (null allowed) and sets *pointer to null.
void qelgrel(void** pointer, const char* description);
// Typed convenience over qelgrel.
template <typename T>
void qelgrel(T** pointer, const char* description) {
  void* p = *pointer;
  qelgrel(&p, description);
  *pointer = nullptr;
}
// Verifies the chain of guarded blocks; `block` (a block start, or null) must be in it. tag names
// the call site ("g1", "g2", "r1", "r2"). A fault stops the process with exit code 8301.
void qelgcorv(const uint8_t* block, const char* tag);
// Blocks the pool holds now: handed out and not yet freed (kept blocks included).
int64_t pool_blocks_held();

// The storage of one run (see the file comment). Constructing one makes it current.
class PoolArena {
 public:
  PoolArena();
  ~PoolArena();  // release_run(), then the arena before this one is current again
  PoolArena(const PoolArena&) = delete;
  PoolArena& operator=(const PoolArena&) = delete;

  // Frees every block still recorded, kept ones included, and restores the pool settings of the
  // arena's start. The arena stays current and records the next run's blocks.
  void release_run();
  // Blocks recorded now (live or kept).
  int64_t blocks() const { return count_; }
  // The arena recording new blocks, null when none is current.
  static PoolArena* current();

 private:
  friend struct PoolArenaAccess;
  PoolArena* previous_ = nullptr;  // the arena current before this one
  PoolSettings start_;             // the settings when the arena began
  // Open-addressed set of block starts (linear probing); the low bits of an entry are flags
  // (guarded, kept), 0 is an empty slot. Its size is a power of two, at most half full.
  std::vector<uintptr_t> slots_;
  int64_t count_ = 0;
  int64_t guarded_ = 0;  // recorded blocks that are in the chain
};

// Formats n source bytes as lower-case hex text in groups of 4 bytes, 16 bytes a line, into dest
// (dest_len bytes, zero-terminated). Returns dest, or a fixed complaint when dest is too small.
// A null source gives blanks of the length the text would have.
const char* c2h(char* dest, int dest_len, const void* src, int n);

}  // namespace recsift::base

#endif  // RECSIFT_BASE_POOL_H_
