// The storage pool: qelgcore, qelgrel, qelgcorv and the c2h hex formatter.
//
// Every dynamic block of the program comes from here. The pool is a thin layer over
// std::malloc/std::free that adds a description to each request, a fatal stop when storage cannot
// be had, and the "-cor" debugging aids: "Got"/"Rel" trace lines, keeping released blocks, and
// guarded blocks that carry a 128-byte header at their start and an identical copy in their last
// 128 bytes, linked into one chain in allocation order and verified on every pool call.
//
// Invariants:
// - A block has a header in memory exactly when it is in the chain. Such a block was handed out
//   128 bytes past its start; every other live block was handed out at its start and is counted
//   in unguarded_live. A release decides which kind it holds from this, never from the state of
//   the flags or the chain at release time, so switching guard-blocks during a run cannot make
//   the pool free a pointer that the heap did not hand out.
// - Both copies of a chained header agree, next/prev included, unless a caller wrote outside its
//   own area; the chain is walked only through blocks that passed their checks.
// - Without debugging flags the chain stays empty and verification costs one comparison.
// - Header integers are stored in host order: only this file reads them.
// - The current arena records a block by its start (the address the heap handed out), with the
//   block's kind (guarded or not) and whether NR/TR kept it on release; a block is in at most one
//   arena. qelgcore and qelgrel touch the record only when an arena is current, at the cost of one
//   hash probe, and add nothing to the block itself.
#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "base/fatal.h"
#include "base/pool.h"

namespace recsift::base {
namespace {

PoolSettings g_pool;           // the process's one set of pool settings and counters
PoolArena* g_arena = nullptr;  // the arena recording new blocks, null when none is current
int64_t g_held = 0;            // blocks handed out and not yet freed

constexpr int kHdr = kPoolHeaderSize;
constexpr int kPfxBytes = 8;   // heap bytes the pfx text stands for
constexpr int kAdrBytes = 4;   // address bytes the adr text shows
constexpr int kPfxWidth = 48;  // width of the pfx text field
constexpr int kAdrWidth = 16;  // width of the adr text field
constexpr int kIdLimit = 31;   // longest id kept in a header (its field holds the zero too)
constexpr char kNoDesc[] = "NoDesc";
constexpr char kTooSmall[] = "c2h: Destn too small for source.";
// A header's length fields are 4 bytes: no block with a header may be larger.
constexpr int64_t kMaxHeaderTotal = INT32_MAX;

std::FILE* trace_stream() {
  if (g_pool.trace == nullptr) g_pool.trace = stderr;
  return g_pool.trace;
}

uint8_t* load_ptr(const uint8_t* header, int offset) {
  uint8_t* value;
  std::memcpy(&value, header + offset, sizeof value);
  return value;
}
void store_ptr(uint8_t* header, int offset, const uint8_t* value) {
  std::memcpy(header + offset, &value, sizeof value);
}
int32_t load_i32(const uint8_t* header, int offset) {
  int32_t value;
  std::memcpy(&value, header + offset, sizeof value);
  return value;
}
void store_i32(uint8_t* header, int offset, int32_t value) {
  std::memcpy(header + offset, &value, sizeof value);
}

// Sets a chain field of a chained block in both copies of its header.
void set_link(uint8_t* block, int offset, const uint8_t* value) {
  store_ptr(block, offset, value);
  store_ptr(block + load_i32(block, kHdrTotal) - kHdr, offset, value);
}

// Total bytes taken from the heap for a request: both header copies, rounded up to 8 below the
// limit (large blocks are taken as asked, so they waste nothing).
int64_t block_total(int64_t length, int h) {
  const int64_t total = length + 2 * h;
  return total < kPoolRoundLimit ? (total + 7) / 8 * 8 : total;
}

// The adr text: the low 32 bits of the address, most significant byte first.
void format_adr(char* dest, uintptr_t address) {
  const auto a = static_cast<uint32_t>(address);
  const uint8_t bytes[kAdrBytes] = {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16),
                                    static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
  c2h(dest, kAdrWidth, bytes, kAdrBytes);
}

// The pfx text stays blank: the heap's own bytes before a block are not the program's to read.
void format_pfx(char* dest) {
  c2h(dest, kPfxWidth, nullptr, kPfxBytes);
}

// Whether a header's lengths agree with each other, so that its tail copy can be located without
// leaving the block. A header that fails this was damaged and cannot match its copy.
bool header_plausible(const uint8_t* block) {
  const int32_t requested = load_i32(block, kHdrRequested);
  return load_i32(block, kHdrLength) == kHdr && requested > 0 &&
         requested <= kMaxHeaderTotal - 2 * kHdr &&
         load_i32(block, kHdrTotal) == block_total(requested, kHdr);
}

// Outcome of one walk over the chain.
struct ChainCheck {
  const uint8_t* last_good = nullptr;  // last block that passed its checks, null if none did
  bool found = false;                  // the sought block was met
  const char* error = nullptr;         // first fault met, null when the chain is sound
};

// Walks the chain from the head. A block's next field is followed only after the block passed,
// so a damaged header never sends the walk outside the pool's blocks.
ChainCheck check_chain(const uint8_t* sought) {
  ChainCheck r;
  for (const uint8_t* b = g_pool.chain_head; b != nullptr; b = load_ptr(b, kHdrNext)) {
    if (b == sought) r.found = true;
    if (load_ptr(b, kHdrPrev) != r.last_good) {
      r.error = "prv ptr conflict.";
      return r;
    }
    if (!header_plausible(b) || std::memcmp(b, b + load_i32(b, kHdrTotal) - kHdr, kHdr) != 0) {
      r.error = "Head and Tail differ.";
      return r;
    }
    r.last_good = b;
  }
  if (sought != nullptr && !r.found) {
    r.error = "Tail not found.";
  } else if (r.last_good != g_pool.chain_tail) {
    r.error = "Last found differs from gcorelst.";
  }
  return r;
}

[[noreturn]] void stop_no_storage(int64_t length, const char* description) {
  std::fprintf(trace_stream(), "qelgcore err: lenreqd=%lld  \"%s\" \n",
               static_cast<long long>(length), description != nullptr ? description : kNoDesc);
  stop_process(kPoolExitNoStorage);
}

// Links a new block, whose header is already in place at both ends, at the end of the chain.
void link_at_tail(uint8_t* block) {
  if (g_pool.chain_tail != nullptr) {
    set_link(g_pool.chain_tail, kHdrNext, block);
  } else {
    g_pool.chain_head = block;
  }
  g_pool.chain_tail = block;
}

void unlink(uint8_t* block) {
  uint8_t* next = load_ptr(block, kHdrNext);
  uint8_t* prev = load_ptr(block, kHdrPrev);
  if (prev != nullptr) {
    set_link(prev, kHdrNext, next);
  } else {
    g_pool.chain_head = next;
  }
  if (next != nullptr) {
    set_link(next, kHdrPrev, prev);
  } else {
    g_pool.chain_tail = prev;
  }
}

}  // namespace

// The arena's record of blocks: an open-addressed set of block starts with linear probing. A
// slot holds a block start (aligned to at least 16 by the heap) with the flags in its low bits;
// 0 marks an empty slot. Deletion shifts later entries back, so no tombstones are needed.
struct PoolArenaAccess {
  static constexpr uintptr_t kGuarded = 1;  // the block has a header and was in the chain
  static constexpr uintptr_t kKept = 2;     // released while NR/TR kept released blocks
  static constexpr uintptr_t kFlags = kGuarded | kKept;
  static constexpr size_t kInitialSlots = 64;
  static constexpr size_t kNone = SIZE_MAX;

  static size_t home(const std::vector<uintptr_t>& slots, uintptr_t entry) {
    const uint64_t key = static_cast<uint64_t>(entry & ~kFlags) >> 4;
    const int bits = std::countr_zero(slots.size());
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - bits));
  }

  static void place(std::vector<uintptr_t>& slots, uintptr_t entry) {
    const size_t mask = slots.size() - 1;
    size_t i = home(slots, entry);
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = entry;
  }

  static size_t find(const PoolArena& a, const uint8_t* block) {
    if (a.slots_.empty()) return kNone;
    const auto key = reinterpret_cast<uintptr_t>(block);
    const size_t mask = a.slots_.size() - 1;
    for (size_t i = home(a.slots_, key); a.slots_[i] != 0; i = (i + 1) & mask) {
      if ((a.slots_[i] & ~kFlags) == key) return i;
    }
    return kNone;
  }

  static void record(PoolArena& a, uint8_t* block, bool guarded) {
    if (static_cast<size_t>(a.count_ + 1) * 2 > a.slots_.size()) {
      std::vector<uintptr_t> grown(std::max(kInitialSlots, a.slots_.size() * 2), 0);
      for (uintptr_t e : a.slots_) {
        if (e != 0) place(grown, e);
      }
      a.slots_.swap(grown);
    }
    place(a.slots_, reinterpret_cast<uintptr_t>(block) | (guarded ? kGuarded : 0));
    ++a.count_;
    if (guarded) ++a.guarded_;
  }

  static void erase(PoolArena& a, size_t i) {
    const size_t mask = a.slots_.size() - 1;
    if ((a.slots_[i] & (kGuarded | kKept)) == kGuarded) --a.guarded_;
    --a.count_;
    for (size_t j = i;;) {
      j = (j + 1) & mask;
      if (a.slots_[j] == 0) break;
      const size_t k = home(a.slots_, a.slots_[j]);
      // The entry at j may fill the hole at i unless its home lies cyclically in (i, j].
      if (j > i ? (k <= i || k > j) : (k <= i && k > j)) {
        a.slots_[i] = a.slots_[j];
        i = j;
      }
    }
    a.slots_[i] = 0;
  }

  // A block went through qelgrel: freed, it leaves its arena; kept, it stays there as kept.
  static void released(uint8_t* block, bool freed) {
    for (PoolArena* a = g_arena; a != nullptr; a = a->previous_) {
      const size_t i = find(*a, block);
      if (i == kNone) continue;
      if (freed) {
        erase(*a, i);
      } else if ((a->slots_[i] & kKept) == 0) {
        if ((a->slots_[i] & kGuarded) != 0) --a->guarded_;
        a->slots_[i] |= kKept;
      }
      return;
    }
  }
};

PoolSettings& pool_settings() {
  return g_pool;
}

int64_t pool_blocks_held() {
  return g_held;
}

PoolArena* PoolArena::current() {
  return g_arena;
}

PoolArena::PoolArena() : previous_(g_arena), start_(g_pool) {
  g_arena = this;
}

PoolArena::~PoolArena() {
  release_run();
  // Usually the newest arena ends first; one that ends out of turn leaves the list where it is.
  if (g_arena == this) {
    g_arena = previous_;
  } else {
    for (PoolArena* a = g_arena; a != nullptr; a = a->previous_) {
      if (a->previous_ == this) {
        a->previous_ = previous_;
        break;
      }
    }
  }
}

void PoolArena::release_run() {
  // Guarded blocks leave the chain through their neighbours' headers, so the chain must be sound:
  // a damaged one keeps its blocks, and the next pool call reports it as it would have.
  const bool chain_sound = guarded_ == 0 || check_chain(nullptr).error == nullptr;
  for (uintptr_t e : slots_) {
    if (e == 0) continue;
    auto* block = reinterpret_cast<uint8_t*>(e & ~PoolArenaAccess::kFlags);
    if ((e & PoolArenaAccess::kKept) == 0) {
      if ((e & PoolArenaAccess::kGuarded) != 0) {
        if (!chain_sound) continue;
        unlink(block);
      } else if (g_pool.unguarded_live > 0) {
        --g_pool.unguarded_live;
      }
    }
    std::free(block);
    --g_held;
  }
  slots_ = {};
  count_ = 0;
  guarded_ = 0;
  // Flags and counters as at the start; the chain and the count of bare blocks stay as they are.
  PoolSettings restored = start_;
  restored.chain_head = g_pool.chain_head;
  restored.chain_tail = g_pool.chain_tail;
  restored.unguarded_live = g_pool.unguarded_live;
  g_pool = restored;
}

void* qelgcore(int64_t length, int fill, const char* description) {
  std::FILE* out = trace_stream();
  if (length <= 0) stop_no_storage(length, description);
  qelgcorv(nullptr, "g1");

  // Once the chain holds a block, every new block joins it, so the chain never skips a block
  // obtained while it was being verified.
  const int h = (g_pool.chain_head != nullptr || g_pool.guard_blocks) ? kHdr : 0;
  uint8_t* block = nullptr;
  int64_t total = 0;
  if (h == 0 || length <= kMaxHeaderTotal - 2 * kHdr) {
    total = block_total(length, h);
    block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(total)));
  }
  if (block == nullptr) {
    if (description != nullptr) stop_no_storage(length, description);
    return nullptr;
  }
  if (fill >= 0) std::memset(block, fill, static_cast<size_t>(total));
  ++g_pool.get_count;
  ++g_held;
  if (h == 0) ++g_pool.unguarded_live;
  if (g_arena != nullptr) PoolArenaAccess::record(*g_arena, block, h != 0);

  // A block with a header always gets it written at both ends and joins the chain, whatever the
  // flags say: a block handed out 128 bytes in must be recognisable as such when it is released.
  if (g_pool.trace_gets || h != 0) {
    uint8_t header[kHdr] = {};
    store_i32(header, kHdrSequence, g_pool.get_count);
    store_i32(header, kHdrLength, kHdr);
    // Without a header in memory these only feed the trace line; there they may wrap.
    store_i32(header, kHdrRequested, static_cast<int32_t>(length));
    store_i32(header, kHdrTotal, static_cast<int32_t>(total));
    const char* id = description != nullptr ? description : kNoDesc;
    for (int i = 0; i < kIdLimit && id[i] != '\0'; ++i) header[kHdrId + i] = id[i];
    format_adr(reinterpret_cast<char*>(header + kHdrAdr), reinterpret_cast<uintptr_t>(block));
    format_pfx(reinterpret_cast<char*>(header + kHdrPfx));
    if (h != 0) {
      store_ptr(header, kHdrPrev, g_pool.chain_tail);
      std::memcpy(block, header, kHdr);
      std::memcpy(block + total - kHdr, header, kHdr);
      link_at_tail(block);
    }
    if (g_pool.trace_gets) {
      std::fprintf(out, "Got %04d: pfx=%s L=0x%04" PRIx64 "    adr=%s id=%s \n", g_pool.get_count,
                   reinterpret_cast<const char*>(header + kHdrPfx), static_cast<uint64_t>(total),
                   reinterpret_cast<const char*>(header + kHdrAdr),
                   reinterpret_cast<const char*>(header + kHdrId));
    }
  }
  qelgcorv(nullptr, "g2");
  return block + h;
}

void qelgrel(void** pointer, const char* description) {
  auto* payload = static_cast<uint8_t*>(pointer != nullptr ? *pointer : nullptr);
  // The block start is computed as a number: for a block without a header it lies outside the
  // block, and only its comparison with chain addresses matters.
  const uintptr_t guarded_start = reinterpret_cast<uintptr_t>(payload) - kHdr;
  int h = 0;
  if (payload != nullptr && g_pool.chain_head != nullptr) {
    // A block in the chain has a header. Any other pointer is a block without one, unless none
    // is live: then it is not the pool's (released twice, or never obtained) and the check
    // below stops the run on it.
    const bool chained = check_chain(reinterpret_cast<const uint8_t*>(guarded_start)).found;
    if (chained || g_pool.unguarded_live == 0) h = kHdr;
  }
  uint8_t* block = h != 0 ? reinterpret_cast<uint8_t*>(guarded_start) : payload;

  ++g_pool.release_count;
  if (g_pool.keep_toggle &&
      (g_pool.release_count == g_pool.n1 || g_pool.release_count == g_pool.n2)) {
    g_pool.keep_released = !g_pool.keep_released;
  }
  if (g_pool.trace_releases) {
    char pfx[kPfxWidth];
    char adr[kAdrWidth];
    format_pfx(pfx);
    format_adr(adr, reinterpret_cast<uintptr_t>(block));
    const char* status = g_pool.keep_released ? " (Kept) " : payload != nullptr ? "" : "NULL ptr";
    std::fprintf(trace_stream(), "Rel %04d: pfx=%s  %-10s adr=%s id=%s \n", g_pool.release_count,
                 pfx, status, adr, description != nullptr ? description : kNoDesc);
  }
  if (payload != nullptr) {
    if (g_pool.chain_head != nullptr) {
      qelgcorv(h != 0 ? block : nullptr, "r1");
      if (h != 0) unlink(block);
    }
    if (h == 0 && g_pool.unguarded_live > 0) --g_pool.unguarded_live;
    if (!g_pool.keep_released) {
      std::free(block);
      --g_held;
    }
    if (g_arena != nullptr) PoolArenaAccess::released(block, !g_pool.keep_released);
  }
  if (pointer != nullptr) *pointer = nullptr;
  qelgcorv(nullptr, "r2");
}

void qelgcorv(const uint8_t* block, const char* tag) {
  const ChainCheck r = check_chain(block);
  if (r.error == nullptr) return;
  std::FILE* out = trace_stream();
  std::fprintf(out, "** qelgcorv: %s: %s \n", tag != nullptr ? tag : "", r.error);
  if (r.last_good != nullptr) {
    std::fprintf(out, "             Last good = Got:%03d  id=%.31s \n",
                 load_i32(r.last_good, kHdrSequence),
                 reinterpret_cast<const char*>(r.last_good + kHdrId));
  } else {
    std::fprintf(out, "             Last good = Got:%03d  id=%s \n", 0, "(none)");
  }
  stop_process(kPoolExitCorrupt);
}

const char* c2h(char* dest, int dest_len, const void* src, int n) {
  if (dest == nullptr || dest_len <= 0) return kTooSmall;
  std::memset(dest, ' ', static_cast<size_t>(dest_len));
  dest[dest_len - 1] = '\0';
  if (n <= 0) {
    dest[0] = '\0';
    return dest;
  }
  // Two digits a byte, a blank after each group of 4, a line feed or the final zero after each
  // line of 16.
  const int64_t need = 2 * int64_t{n} + (n + 3) / 4 + (n + 15) / 16;
  if (need > dest_len) return kTooSmall;
  if (src == nullptr) {
    dest[need - 1] = '\0';
    return dest;
  }
  constexpr char kDigits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const uint8_t*>(src);
  char* o = dest;
  for (int i = 0; i < n; ++i) {
    *o++ = kDigits[bytes[i] >> 4];
    *o++ = kDigits[bytes[i] & 0xf];
    if (i % 4 == 3 || i == n - 1) *o++ = ' ';
    if (i % 16 == 15 && i != n - 1) *o++ = '\n';
  }
  *o = '\0';
  return dest;
}

}  // namespace recsift::base
