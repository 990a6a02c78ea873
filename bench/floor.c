/* The floor of three jobs: the least a program must do for them on this machine. It reads the
 * input with read() into one 1 MiB buffer, does the job's work in a plain loop, and writes its
 * output with write() in 1 MiB pieces, as recsift's jobs do with their own buffers.
 *
 *   floor field IN OUT        lines holding "ABC" at columns 10-12 (LF-ended text)
 *   floor translate IN OUT TABLE   80-byte records through a 256-byte table
 *   floor packed IN OUT       the sum of the packed field at 21-25 of 80-byte records, as an
 *                             80-byte record holding the total right-aligned in 20 columns
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <emmintrin.h>

enum { kBuffer = 1 << 20 };
static unsigned char in[kBuffer + 4096], out[kBuffer];
static size_t out_used;
static int out_fd;

static void put(const void* p, size_t n) {
  if (out_used + n > sizeof out) {
    if (write(out_fd, out, out_used) != (ssize_t)out_used) exit(1);
    out_used = 0;
  }
  memcpy(out + out_used, p, n);
  out_used += n;
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  int fd = open(argv[2], O_RDONLY);
  out_fd = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0 || out_fd < 0) return 1;
  unsigned char table[256];
  if (strcmp(argv[1], "translate") == 0) {
    int t = argc > 4 ? open(argv[4], O_RDONLY) : -1;
    if (t < 0 || read(t, table, 256) != 256) return 1;
  }
  size_t kept = 0; /* bytes of an unfinished line or record at the buffer's start */
  long long sum = 0;
  for (;;) {
    ssize_t got = read(fd, in + kept, kBuffer - kept);
    if (got < 0) return 1;
    size_t n = kept + (size_t)got, at = 0;
    if (strcmp(argv[1], "field") == 0) {
      /* The line ends 64 bytes at a time (a bit per LF), then each line's field. */
      for (size_t base = 0; base < n; base += 64) {
        unsigned long long mask = 0;
        if (n - base >= 64) {
          for (int i = 0; i < 4; ++i) {
            __m128i x = _mm_loadu_si128((const __m128i*)(in + base + 16 * i));
            mask |= (unsigned long long)(unsigned short)_mm_movemask_epi8(
                        _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')))
                    << (16 * i);
          }
        } else {
          for (size_t i = 0; base + i < n; ++i) mask |= (unsigned long long)(in[base + i] == '\n') << i;
        }
        for (; mask != 0; mask &= mask - 1) {
          size_t lf = base + (size_t)__builtin_ctzll(mask);
          size_t len = lf - at;
          if (len >= 12 && memcmp(in + at + 9, "ABC", 3) == 0) put(in + at, len + 1);
          at = lf + 1;
        }
      }
      if (got == 0 && at < n) {
        put(in + at, n - at);
        put("\n", 1);
        at = n;
      }
    } else if (strcmp(argv[1], "translate") == 0) {
      size_t whole = got == 0 ? n : n - n % 80;
      for (size_t i = 0; i < whole; ++i) in[i] = table[in[i]];
      put(in, whole);
      at = whole;
    } else {
      for (; at + 80 <= n; at += 80) {
        const unsigned char* p = in + at + 20;
        long long v = 0;
        for (int i = 0; i < 4; ++i) v = v * 100 + (p[i] >> 4) * 10 + (p[i] & 15);
        v = v * 10 + (p[4] >> 4);
        sum += ((p[4] & 15) == 0xB || (p[4] & 15) == 0xD) ? -v : v;
      }
      if (got == 0) {
        char line[81];
        snprintf(line, sizeof line, "%-80s", "");
        char total[21];
        snprintf(total, sizeof total, "%20lld", sum);
        memcpy(line, total, 20);
        put(line, 80);
      }
    }
    kept = n - at;
    memmove(in, in + at, kept);
    if (got == 0) break;
  }
  if (out_used > 0 && write(out_fd, out, out_used) != (ssize_t)out_used) return 1;
  return close(out_fd) == 0 ? 0 : 1;
}
