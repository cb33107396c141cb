/* The least a program doing the tool's job must do, as a yardstick for its
   instruction count: print the banner, read the marker and the ID words,
   read a number for each ID from standard input and write the words, all
   through the C library's streams. No console drawing, no line editor, no pause. */
#include <stdio.h>
#include <stdlib.h>

/* The patch block: BLOCK_WORDS little-endian 32-bit words from BLOCK_OFFSET,
   the marker first, then the IDs, each shown after its label. A copy of the
   tool's layout and texts; scripts/check-docs fails when it drifts. */
#define BLOCK_OFFSET 240948L
#define BLOCK_WORDS 3
#define MARKER 195
static const char *const LABELS[BLOCK_WORDS - 1] = {"Current item pointer variable ID is ",
                                                    "Current event pointer variable ID is "};

static unsigned long word_at(const unsigned char *b) {
  return b[0] | (unsigned long)b[1] << 8 | (unsigned long)b[2] << 16 | (unsigned long)b[3] << 24;
}

static void put_word(unsigned char *b, unsigned long w) {
  for (int i = 0; i < 4; ++i) b[i] = (unsigned char)(w >> (8 * i));
}

static unsigned long read_number(void) {
  char line[80];
  if (!fgets(line, sizeof line, stdin)) return 0;
  return strtoul(line, NULL, 10) & 0xFFFFFFFFUL;
}

int main(int argc, char **argv) {
  fputs("Veltrane\r\nSets the item and event pointer variable IDs of an rpg_rt file.\r\n\r\n",
        stdout);
  if (argc < 2) {
    fputs("No rpg_rt file! Please drag rpg_rt file onto veltrane.exe!\r\n", stdout);
    return 0;
  }
  FILE *f = fopen(argv[1], "r+b");
  unsigned char block[4 * BLOCK_WORDS] = {0};
  if (!f || fseek(f, BLOCK_OFFSET, SEEK_SET) != 0 ||
      fread(block, 1, sizeof block, f) != sizeof block || word_at(block) != MARKER) {
    fputs("Invalid rpg_rt file!\r\n", stdout);
    return 0;
  }
  for (int id = 1; id < BLOCK_WORDS; ++id) {
    printf("%s%lu. ", LABELS[id - 1], word_at(block + 4 * id));
    put_word(block + 4 * id, read_number());
  }
  fputs("\r\n", stdout);
  if (fseek(f, BLOCK_OFFSET + 4, SEEK_SET) != 0 ||
      fwrite(block + 4, 1, sizeof block - 4, f) != sizeof block - 4 || fclose(f) != 0) {
    fputs("Could not write rpg_rt file! Is it read-only or in use?\r\n", stdout);
    return 0;
  }
  fputs("\r\nDone.\r\n", stdout);
  return 0;
}
