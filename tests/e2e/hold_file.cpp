// Test helper (Windows): keeps a file open the way a running game or another
// editor would, so that the tool meets a sharing violation.
//   hold_file PATH read|none
// Opens PATH for reading, sharing reading only ("read") or nothing ("none"),
// prints "held" and keeps the file open until standard input ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const DWORD share = std::strcmp(argv[2], "read") == 0 ? FILE_SHARE_READ : 0;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::fputs("held\n", stdout);
  std::fflush(stdout);
  char byte;
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got == 1) {
  }
  CloseHandle(file);
  return 0;
}
