// The argument vector on Windows: split from the wide command line, so that
// names in any language arrive whole, and handed on as UTF-8.
#include "platform/program_arguments.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/wide_text.h"

extern "C" {
// The C runtime's own split, in the ANSI code page, is not used: it turns
// every character outside that page into '?', which is a wildcard too.
int _dowildcard = 0;

struct StartupInfo {
  int new_mode;
};
// The C runtime's own name for the arguments it decoded.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
__declspec(dllimport) int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env,
                                                 int expand_wildcards, StartupInfo* info);
}

namespace veltrane::platform {
namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// True when the command line's only argument is "/?", the usage question of
// every Windows program; expanded as a wildcard it would name a file of one
// character at the drive's root instead.
bool asks_for_usage(const wchar_t* line) {
  if (line == nullptr) return false;
  // The program's name: quoted up to the next quote, else up to a blank.
  if (*line == L'"') {
    ++line;
    while (*line != L'\0' && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && !is_blank(*line)) ++line;
  }
  while (is_blank(*line)) ++line;
  if (line[0] != L'/' || line[1] != L'?') return false;
  line += 2;
  while (is_blank(*line)) ++line;
  return *line == L'\0';
}

}  // namespace

void program_arguments(int* argc, char*** argv) {
  static std::vector<std::string> storage;
  static std::vector<char*> vector;
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** env = nullptr;
  StartupInfo info{};
  // Wildcards expand against the wide names, as the C runtime does when
  // wildcard expansion is on.
  const int expand = asks_for_usage(GetCommandLineW()) ? 0 : 1;
  if (__wgetmainargs(&count, &wide, &env, expand, &info) < 0 || wide == nullptr) return;
  storage.clear();
  for (int i = 0; i < count; ++i) {
    std::u16string text;
    for (const wchar_t* unit = wide[i]; *unit != L'\0'; ++unit)
      text.push_back(static_cast<char16_t>(*unit));
    storage.push_back(utf8_from_utf16(text));
  }
  vector.clear();
  for (auto& s : storage) vector.push_back(s.data());
  vector.push_back(nullptr);
  *argc = count;
  *argv = vector.data();
}

}  // namespace veltrane::platform
