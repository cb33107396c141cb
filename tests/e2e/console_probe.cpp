// Test helper (Windows): reads and types into the console of another program,
// the way a user sees and uses it, without screenshots or X keyboard timing.
// Commands, one per line on standard input; one answer each on standard output:
//   attach NAME   waits for a process with the executable NAME, joins its
//                 console -> "ok PID" or "error WHAT"
//   screen        -> "size W H window L T R B cursor X Y", then H lines of W
//                 characters: the whole buffer, row by row
//   keys K...     types each K: "=text" (its characters, UTF-8), or a key name
//                 (Enter Escape BackSpace Tab Home End Left Right Up Down
//                 Delete Ctrl+C) -> "ok"
//   wait MS       waits up to MS ms for the process to end -> "exit CODE" or
//                 "running"
//   kill          ends the process (after a failed check) -> "ok"
//   mode          -> "mode HEX": the console's input mode, also after the
//                 process ended
// A key "~text" is an input method's commit of the text: key-downs only,
// virtual key and scan code 0.
// Started as "console_probe mode HEX" it sets the input mode of its own
// console, as another program leaves it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HANDLE process = nullptr;
HANDLE output = INVALID_HANDLE_VALUE;
HANDLE input = INVALID_HANDLE_VALUE;

// The helper shares the console: it outlives a Ctrl+C typed into it.
BOOL WINAPI ignore_control_event(DWORD) { return TRUE; }

DWORD find_process(const char* name) {
  DWORD found = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more && found == 0;
       more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, name) == 0) found = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return found;
}

void attach(const char* name) {
  DWORD pid = 0;
  for (int tries = 0; tries < 400 && pid == 0; ++tries) {
    pid = find_process(name);
    if (pid == 0) Sleep(50);
  }
  if (pid == 0) {
    std::puts("error no such process");
    return;
  }
  process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
  // In its first moments the process may have no console yet, or none that
  // can be read: tried again for up to ten seconds.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  for (int tries = 0; tries < 200; ++tries) {
    FreeConsole();
    if (AttachConsole(pid)) {
      output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                           0, nullptr);
      input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0,
                          nullptr);
      if (GetConsoleScreenBufferInfo(output, &info)) break;
      CloseHandle(output);
      CloseHandle(input);
      output = input = INVALID_HANDLE_VALUE;
    }
    Sleep(50);
  }
  if (output == INVALID_HANDLE_VALUE) {
    std::printf("error no usable console %lu\n", GetLastError());
    return;
  }
  SetConsoleCtrlHandler(ignore_control_event, TRUE);
  std::printf("ok %lu\n", pid);
}

void screen() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(output, &info)) {
    std::printf("error GetConsoleScreenBufferInfo %lu\n", GetLastError());
    return;
  }
  std::printf("size %d %d window %d %d %d %d cursor %d %d\n", info.dwSize.X, info.dwSize.Y,
              info.srWindow.Left, info.srWindow.Top, info.srWindow.Right, info.srWindow.Bottom,
              info.dwCursorPosition.X, info.dwCursorPosition.Y);
  // One read for the whole buffer: it runs on from each row into the next.
  const std::size_t width = static_cast<std::size_t>(info.dwSize.X);
  std::vector<char> cells(width * static_cast<std::size_t>(info.dwSize.Y), ' ');
  DWORD read = 0;
  ReadConsoleOutputCharacterA(output, cells.data(), static_cast<DWORD>(cells.size()), COORD{0, 0},
                              &read);
  for (std::size_t at = 0; at < cells.size(); at += width) {
    std::fwrite(cells.data() + at, 1, width, stdout);
    std::fputc('\n', stdout);
  }
}

struct NamedKey {
  const char* name;
  WORD virtual_key;
  WORD scan_code;
  wchar_t character;
  DWORD state;
};

// As a Windows console reports them: the cursor block is flagged enhanced.
constexpr NamedKey kNamedKeys[] = {
    {"Enter", VK_RETURN, 0x1C, L'\r', 0},         {"Escape", VK_ESCAPE, 0x01, 27, 0},
    {"BackSpace", VK_BACK, 0x0E, 8, 0},           {"Tab", VK_TAB, 0x0F, L'\t', 0},
    {"Home", VK_HOME, 0x47, 0, ENHANCED_KEY},     {"End", VK_END, 0x4F, 0, ENHANCED_KEY},
    {"Left", VK_LEFT, 0x4B, 0, ENHANCED_KEY},     {"Right", VK_RIGHT, 0x4D, 0, ENHANCED_KEY},
    {"Up", VK_UP, 0x48, 0, ENHANCED_KEY},         {"Down", VK_DOWN, 0x50, 0, ENHANCED_KEY},
    {"Delete", VK_DELETE, 0x53, 0, ENHANCED_KEY}, {"Ctrl+C", 'C', 0x2E, 3, LEFT_CTRL_PRESSED},
};

void add_key(std::vector<INPUT_RECORD>& records, WORD virtual_key, WORD scan_code,
             wchar_t character, DWORD state) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = TRUE;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = virtual_key;
  record.Event.KeyEvent.wVirtualScanCode = scan_code;
  record.Event.KeyEvent.uChar.UnicodeChar = character;
  record.Event.KeyEvent.dwControlKeyState = state;
  records.push_back(record);
  record.Event.KeyEvent.bKeyDown = FALSE;
  records.push_back(record);
}

// A character as the US keyboard types it, with Shift around it if needed.
void add_character(std::vector<INPUT_RECORD>& records, wchar_t character) {
  const SHORT scan = VkKeyScanW(character);
  const WORD virtual_key = scan == -1 ? 0 : LOBYTE(scan);
  const bool shift = scan != -1 && (HIBYTE(scan) & 1) != 0;
  const auto scan_code = static_cast<WORD>(MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC));
  if (shift) add_key(records, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED);
  add_key(records, virtual_key, scan_code, character, shift ? SHIFT_PRESSED : 0);
  if (shift) add_key(records, VK_SHIFT, 0x2A, 0, 0);
}

void keys(const char* arguments) {
  std::vector<INPUT_RECORD> records;
  std::string list(arguments);
  std::size_t at = 0;
  while (at < list.size()) {
    std::size_t end = list.find(' ', at);
    if (end == std::string::npos) end = list.size();
    const std::string key = list.substr(at, end - at);
    at = end + 1;
    if (key.empty()) continue;
    if (key[0] == '=' || key[0] == '~') {
      // The text comes as UTF-8: each UTF-16 unit is one key, as an input
      // method delivers what it composes.
      wchar_t text[256];
      const int units = MultiByteToWideChar(CP_UTF8, 0, key.data() + 1,
                                            static_cast<int>(key.size() - 1), text, 256);
      for (int i = 0; i < units; ++i) {
        if (key[0] == '=') {
          add_character(records, text[i]);
        } else {
          add_key(records, 0, 0, text[i], 0);
          records.pop_back();  // no key-up
        }
      }
      continue;
    }
    bool known = false;
    for (const NamedKey& named : kNamedKeys) {
      if (key == named.name) {
        add_key(records, named.virtual_key, named.scan_code, named.character, named.state);
        known = true;
      }
    }
    if (!known) {
      std::printf("error unknown key %s\n", key.c_str());
      return;
    }
  }
  DWORD written = 0;
  if (!records.empty() &&
      !WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written)) {
    std::printf("error WriteConsoleInputW %lu\n", GetLastError());
    return;
  }
  std::puts("ok");
}

void wait(DWORD ms) {
  DWORD code = 0;
  if (process == nullptr || WaitForSingleObject(process, ms) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process, &code)) {
    std::puts("running");
    return;
  }
  std::printf("exit %lu\n", code);
}

void mode() {
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) {
    std::printf("error GetConsoleMode %lu\n", GetLastError());
    return;
  }
  std::printf("mode %lX\n", mode);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "mode") == 0) {
    const HANDLE own =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    return SetConsoleMode(own, std::strtoul(argv[2], nullptr, 16)) ? 0 : 1;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // rows end in LF alone
  char line[4096];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    if (std::strncmp(line, "attach ", 7) == 0) {
      attach(line + 7);
    } else if (std::strcmp(line, "screen") == 0) {
      screen();
    } else if (std::strncmp(line, "keys ", 5) == 0) {
      keys(line + 5);
    } else if (std::strcmp(line, "mode") == 0) {
      mode();
    } else if (std::strcmp(line, "kill") == 0) {
      if (process != nullptr) TerminateProcess(process, 1);
      std::puts("ok");
    } else if (std::strncmp(line, "wait ", 5) == 0) {
      wait(std::strtoul(line + 5, nullptr, 10));
    } else {
      std::printf("error unknown command %s\n", line);
    }
    std::fflush(stdout);
  }
  return 0;
}
