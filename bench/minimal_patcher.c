/* The least a program doing the tool's job must do, as a yardstick for its
   instruction count: print the banner, read the marker and the two words,
   read two numbers from standard input and write two words, all through the
   C library's streams. No console drawing, no line editor, no pause. */
#include <stdio.h>
#include <stdlib.h>

#define BLOCK_OFFSET 240948L

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
  unsigned char block[12] = {0};
  if (!f || fseek(f, BLOCK_OFFSET, SEEK_SET) != 0 || fread(block, 1, 12, f) != 12 ||
      word_at(block) != 195) {
    fputs("Invalid rpg_rt file!\r\n", stdout);
    return 0;
  }
  printf("Current item pointer variable ID is %lu. ", word_at(block + 4));
  put_word(block + 4, read_number());
  printf("Current event pointer variable ID is %lu. \r\n", word_at(block + 8));
  put_word(block + 8, read_number());
  if (fseek(f, BLOCK_OFFSET + 4, SEEK_SET) != 0 || fwrite(block + 4, 1, 8, f) != 8 ||
      fclose(f) != 0) {
    fputs("Could not write rpg_rt file!\r\n", stdout);
    return 0;
  }
  fputs("\r\nDone.\r\n", stdout);
  return 0;
}
