/* A second yardstick: the duties of the tool's redirected success run, done
   as directly as the C library allows, with no layers in between. It makes
   the same system calls in the same order: a write per printed piece, a
   terminal test of both standard handles, an existence test, the target
   opened as a stream with an 8 KiB buffer, each word read at its own
   position, typed input taken a byte at a time from the standard input
   stream, each new word written, flushed and synced, and the closing pause.
   What the tool costs above this is the cost of its own runtime. */
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* The patch block: BLOCK_WORDS little-endian 32-bit words from BLOCK_OFFSET,
   the marker first, then the IDs, each shown after its label. A copy of the
   tool's layout and texts; scripts/check-docs fails when it drifts. */
#define BLOCK_OFFSET 240948L
#define BLOCK_WORDS 3
#define MARKER 195
static const char *const LABELS[BLOCK_WORDS - 1] = {"Current item pointer variable ID is ",
                                                    "Current event pointer variable ID is "};

static void say(const char *text) { (void)!write(1, text, strlen(text)); }

static void say_line(const char *text) {
  say(text);
  say("\r\n");
}

static unsigned long read_word(FILE *f, long at) {
  unsigned char b[4] = {0};
  if (fseek(f, at, SEEK_SET) != 0 || fread(b, 1, 4, f) != 4) return 0;
  return b[0] | (unsigned long)b[1] << 8 | (unsigned long)b[2] << 16 | (unsigned long)b[3] << 24;
}

/* Decimal digits up to a line end, one byte at a time. */
static unsigned long read_number(void) {
  unsigned long n = 0;
  int c;
  while ((c = getc(stdin)) != EOF && c != '\r' && c != '\n') {
    if (c >= '0' && c <= '9') n = n * 10 + (unsigned long)(c - '0');
  }
  if (c == '\r' && (c = getc(stdin)) != '\n' && c != EOF) ungetc(c, stdin);
  return n & 0xFFFFFFFFUL;
}

static int replace_word(FILE *f, const char *label, long at, unsigned long value) {
  char text[64];
  size_t n = strlen(label);
  memcpy(text, label, n);
  char digits[10];
  int count = 0;
  do digits[count++] = (char)('0' + value % 10);
  while ((value /= 10) != 0);
  while (count > 0) text[n++] = digits[--count];
  memcpy(text + n, ". ", 3);
  say(text);
  unsigned long w = read_number();
  unsigned char b[4] = {(unsigned char)w, (unsigned char)(w >> 8), (unsigned char)(w >> 16),
                        (unsigned char)(w >> 24)};
  return fseek(f, at, SEEK_SET) == 0 && fwrite(b, 1, 4, f) == 4 && fflush(f) == 0 &&
         fsync(fileno(f)) == 0;
}

int main(int argc, char **argv) {
  signal(SIGPIPE, SIG_IGN);
  (void)isatty(0);
  (void)isatty(1);
  say_line("Veltrane");
  say_line("Sets the item and event pointer variable IDs of an rpg_rt file.");
  say("\r\n");
  int probe = argc < 2 ? -1 : open(argv[1], O_RDONLY);
  if (probe < 0) {
    say_line("File not found! Please drag rpg_rt file onto veltrane.exe!");
    return 0;
  }
  close(probe);
  FILE *f = fopen(argv[1], "r+b");
  if (!f || setvbuf(f, malloc(8192), _IOFBF, 8192) != 0 || read_word(f, BLOCK_OFFSET) != MARKER) {
    say_line("Invalid rpg_rt file!");
    return 0;
  }
  /* Every word is read before any is written. */
  unsigned long ids[BLOCK_WORDS];
  for (int id = 1; id < BLOCK_WORDS; ++id) ids[id] = read_word(f, BLOCK_OFFSET + 4 * id);
  int written = 1;
  for (int id = 1; id < BLOCK_WORDS; ++id) {
    written = replace_word(f, LABELS[id - 1], BLOCK_OFFSET + 4 * id, ids[id]) && written;
  }
  written = fclose(f) == 0 && written;
  say("\r\n");
  say_line(written ? "Done." : "Could not write rpg_rt file! Is it read-only or in use?");
  poll(NULL, 0, 2000);
  return 0;
}
