#include "patcher/run_sequence.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "files/file_device.h"
#include "files/file_open.h"
#include "platform/file_stream.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/host/key_map.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

// The patch block as the guides describe it: 4-byte words from 240948, the
// marker, the item ID and the event ID, and the longest a run waits for
// another run's lock on it. scripts/check-docs holds these figures to
// src/patcher/patch_block.h.
constexpr std::size_t kMarkerOffset = 240948;
constexpr std::size_t kWordSize = 4;
constexpr std::size_t kBlockWords = 3;
constexpr std::size_t kBlockSize = kBlockWords * kWordSize;
constexpr std::size_t kItemOffset = kMarkerOffset + kWordSize;
constexpr std::size_t kEventOffset = kItemOffset + kWordSize;
static_assert(kEventOffset + kWordSize == kMarkerOffset + kBlockSize, "the last ID ends the block");
constexpr std::uint64_t kLockWaitMs = 5000;
constexpr std::size_t kSampleSize = 241060;
constexpr std::uint64_t kGiveUpMs = 60000;

const char* const kBanner[] = {
    "Veltrane", "Sets the item and event pointer variable IDs of an rpg_rt file.", ""};

struct ProcessExited {
  int code;
};
[[noreturn]] void unwind_to_test(int code) { throw ProcessExited{code}; }

struct RunStuck {};

// The lowest free descriptor, which the next open takes.
int next_descriptor() {
  const int fd = dup(1);
  close(fd);
  return fd;
}

void put_word(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

std::uint32_t word_at(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

// A patched target: a byte pattern with the marker, item ID 1 and event ID 2.
std::string sample_target() {
  std::string bytes(kSampleSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + 7);
  put_word(bytes, kMarkerOffset, 195);
  put_word(bytes, kItemOffset, 1);
  put_word(bytes, kEventOffset, 2);
  return bytes;
}

// The file device with one of its calls made to fail, counted from the open:
// the n-th read, the n-th write, the n-th flush (which still flushes), or the
// close (which still closes the stream). `watch`, when set, is told of each
// lock, write, flush and unlock as it begins.
struct FileFault {
  int failing_read = 0;
  int failing_write = 0;
  int failing_flush = 0;
  bool failing_close = false;
  int reads = 0;
  int writes = 0;
  int flushes = 0;
} fault;
std::function<void(const char*)> watch;

void note(const char* step) {
  if (watch) watch(step);
}

std::int32_t faulty_read(FileSlot* slot, void* buffer, std::uint32_t* count) {
  if (++fault.reads == fault.failing_read) return 3;
  return file_device_ops.read(slot, buffer, count);
}
std::int32_t faulty_write(FileSlot* slot, const void* bytes, std::uint32_t count) {
  note("write");
  if (++fault.writes == fault.failing_write) return 3;
  return file_device_ops.write(slot, bytes, count);
}
std::int32_t faulty_flush(FileSlot* slot) {
  note("flush");
  const std::int32_t result = file_device_ops.flush(slot);
  return ++fault.flushes == fault.failing_flush ? 3 : result;
}
std::int32_t faulty_close(FileSlot* slot) {
  const std::int32_t result = file_device_ops.close(slot);
  return fault.failing_close ? 3 : result;
}
std::int32_t noted_lock(FileSlot* slot, std::int64_t start, std::int64_t length,
                        std::uint32_t wait_ms) {
  note("lock");
  return file_device_ops.lock(slot, start, length, wait_ms);
}
std::int32_t noted_unlock(FileSlot* slot, std::int64_t start, std::int64_t length) {
  note("unlock");
  return file_device_ops.unlock(slot, start, length);
}
const FileOps faulty_file_ops = [] {
  FileOps ops = file_device_ops;
  ops.read = faulty_read;
  ops.write = faulty_write;
  ops.flush = faulty_flush;
  ops.close = faulty_close;
  ops.lock = noted_lock;
  ops.unlock = noted_unlock;
  return ops;
}();

std::vector<INPUT_RECORD> operator+(std::vector<INPUT_RECORD> a,
                                    const std::vector<INPUT_RECORD>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
std::vector<INPUT_RECORD> text(const std::string& t) { return host::typed_text(t); }
std::vector<INPUT_RECORD> key(WORD virtual_key) { return host::key_press(virtual_key, 0); }

// A whole run in-process: a fresh runtime on a fresh 80 x 25 console host, the
// target in a temporary directory, and an exit routine that unwinds back here.
class RunSequenceTest : public testing::Test {
 protected:
  void SetUp() override {
    runtime_reset();
    host_ = std::make_unique<host::ConsoleHost>(80, 25);
    host::attach_console_host(host_.get());
    set_exit_routine(unwind_to_test);
    console().set_wait_routine([this](DWORD) {
      if (console().now_ms() > kGiveUpMs) throw RunStuck{};
    });
    dir_ =
        fs::temp_directory_path() / ("veltrane_run_" + std::to_string(getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    target = (dir_ / "RPG_RT.EXE").string();
  }
  void TearDown() override {
    console().set_wait_routine(nullptr);
    set_exit_routine(nullptr);
    close_all_slots();
    host::attach_console_host(nullptr);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void put_target(const std::string& bytes) const {
    std::ofstream(target, std::ios::binary) << bytes;
  }
  std::string target_bytes() const {
    std::ifstream in(target, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // Runs with the given arguments after the tool's name; returns the exit code.
  int run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "veltrane.exe");
    std::vector<char*> pointers;
    for (std::string& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    store_arguments(static_cast<int>(arguments.size()), pointers.data());
    try {
      run_sequence();
    } catch (const ProcessExited& exited) {
      return exited.code;
    }
  }

  std::vector<std::string> screen_rows(SHORT count) const {
    std::vector<std::string> rows;
    for (SHORT y = 0; y < count; ++y) rows.push_back(console().row_text(y));
    return rows;
  }

  host::ConsoleHost& console() const { return *host_; }
  std::string target;

 private:
  std::unique_ptr<host::ConsoleHost> host_;
  fs::path dir_;
};

TEST_F(RunSequenceTest, typed_ids_replace_both_words_and_nothing_else) {
  // Words with every byte in use, so each byte's place is checked both ways.
  std::string original = sample_target();
  put_word(original, kItemOffset, 0x89ABCDEF);
  put_word(original, kEventOffset, 0xFEDCBA98);
  put_target(original);
  console().queue_text("2882400018\r305419896\r");
  EXPECT_EQ(run({target}), 0);

  EXPECT_EQ(screen_rows(8),
            (std::vector<std::string>{
                kBanner[0], kBanner[1], kBanner[2],
                "Current item pointer variable ID is 2309737967. Please enter new ID: 2882400018",
                "Current event pointer variable ID is 4275878552. Please enter new ID: 305419896",
                "", "Done.", ""}));
  EXPECT_EQ(console().cursor().X, 0);
  EXPECT_EQ(console().cursor().Y, 7);
  EXPECT_EQ(console().now_ms(), 2000u) << "the closing pause, keys having been typed ahead";
  EXPECT_TRUE(console().beeps().empty());

  std::string expected = original;
  put_word(expected, kItemOffset, 0xABCDEF12);
  put_word(expected, kEventOffset, 0x12345678);
  const std::string after = target_bytes();
  ASSERT_EQ(after.size(), original.size());
  EXPECT_EQ(word_at(after, kItemOffset), 0xABCDEF12u);
  EXPECT_EQ(word_at(after, kEventOffset), 0x12345678u);
  EXPECT_TRUE(after == expected) << "every other byte unchanged";
  EXPECT_EQ(console().registered_handler_count(), 0u) << "control handler removed at exit";
}

TEST_F(RunSequenceTest, the_shell_lines_above_a_run_at_the_bottom_of_a_pseudo_console_are_kept) {
  // A shell printed line1 to line40 into a 25-row pseudo-console and left
  // its prompt on the bottom row.
  console().set_pseudo_console(true);
  std::string shell;
  for (int i = 1; i <= 40; ++i) shell += "line" + std::to_string(i) + "\r\n";
  DWORD written = 0;
  console().WriteFile(console().GetStdHandle(STD_OUTPUT_HANDLE), shell.data(),
                      static_cast<DWORD>(shell.size()), &written, nullptr);
  ASSERT_EQ(console().cursor().Y, 24);
  put_target(sample_target());
  console().queue_text("10\r20\r");
  EXPECT_EQ(run({target}), 0);
  std::vector<std::string> lines = console().terminal_history();
  for (const std::string& row : screen_rows(25)) lines.push_back(row);
  std::vector<std::string> expected;
  for (int i = 1; i <= 40; ++i) expected.push_back("line" + std::to_string(i));
  expected.insert(expected.end(), {kBanner[0], kBanner[1], kBanner[2]});
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
}

TEST_F(RunSequenceTest, a_help_request_alone_prints_the_usage_at_once) {
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(console().row_text(0), "Usage: veltrane FILE") << "no banner";
  const COORD after = console().cursor();
  EXPECT_EQ(after.X, 0);
  EXPECT_EQ(console().row_text(static_cast<SHORT>(after.Y - 1)).rfind("share/doc/veltrane/", 0), 0u)
      << "one line end after the last line";
  EXPECT_TRUE(console().beeps().empty());
  EXPECT_EQ(console().now_ms(), 0u) << "no pause";
}

TEST_F(RunSequenceTest, editing_keys_shape_the_typed_ids) {
  put_target(sample_target());
  // The second ID is typed a second later, while the editor waits.
  console().queue_records(text("abc\x1b"
                               "12") +
                          key(VK_LEFT) + text("3") + key(VK_END) + text(" 5\r"));
  console().schedule_records(1000, text("99\b8") + key(VK_HOME) + text("1") + key(VK_DELETE) +
                                       key(VK_DELETE) + text("\t4\r"));
  EXPECT_EQ(run({target}), 0);
  EXPECT_EQ(console().row_text(3),
            "Current item pointer variable ID is 1. Please enter new ID: 132 5");
  EXPECT_EQ(console().row_text(4),
            "Current event pointer variable ID is 2. Please enter new ID: 1       4");
  EXPECT_EQ(console().row_text(6), "Done.");
  EXPECT_EQ(console().now_ms(), 3000u);
  const std::string after = target_bytes();
  EXPECT_EQ(word_at(after, kItemOffset), 132u) << "the blank ends the first item";
  EXPECT_EQ(word_at(after, kEventOffset), 1u) << "only the first item counts";
}

// Keys in the shapes a Windows console hands them over: with the
// virtual-terminal input mode another program left on (Backspace would come
// as 0x7F, Left as ESC [ D), and as an input method's commit (key-downs with
// virtual key 0, no key-up). The mode found is back after "Done.".
TEST_F(RunSequenceTest, keys_in_every_shape_a_console_hands_over_are_stored_as_typed) {
  const struct {
    const char* name;
    DWORD mode;
    std::vector<INPUT_RECORD> keys;
    std::uint32_t item;
    std::uint32_t event;
  } rows[] = {
      {"virtual-terminal input left on", 0x3F7, text("13\b2\r12") + key(VK_LEFT) + text("3\r"), 12,
       132},
      {"input method commit", 0x1F7,
       host::input_method_text("12") + text("\r") + host::input_method_text("7") + text("\r"), 12,
       7},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    put_target(sample_target());
    console().set_input_mode(row.mode);
    console().schedule_records(100, row.keys);  // typed once the run has started
    EXPECT_EQ(run({target}), 0);
    EXPECT_EQ(console().row_text(6), "Done.");
    const std::string after = target_bytes();
    EXPECT_EQ(word_at(after, kItemOffset), row.item);
    EXPECT_EQ(word_at(after, kEventOffset), row.event);
    EXPECT_EQ(console().input_mode(), row.mode);
  }
}

TEST_F(RunSequenceTest, failures_beep_then_show_the_message_and_pause) {
  std::string bad_marker = sample_target();
  bad_marker[kMarkerOffset + 3] = 1;  // C3 00 00 01
  const struct {
    const char* name;
    bool has_argument;
    std::string file;  // empty: no file at the path
    const char* message;
  } cases[] = {
      {"no argument", false, "", "No rpg_rt file! Please drag rpg_rt file onto veltrane.exe!"},
      {"missing file", true, "", "File not found! Please drag rpg_rt file onto veltrane.exe!"},
      {"marker with a high byte", true, bad_marker, "Invalid rpg_rt file!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    if (!c.file.empty()) put_target(c.file);
    console().set_input_mode(0x3F7);
    std::string row_at_beep = "(no beep)";
    console().set_wait_routine([&](DWORD ms) {
      if (ms == 250 && row_at_beep == "(no beep)") row_at_beep = console().row_text(3);
    });
    EXPECT_EQ(run(c.has_argument ? std::vector<std::string>{target} : std::vector<std::string>{}),
              0);
    EXPECT_EQ(screen_rows(5),
              (std::vector<std::string>{kBanner[0], kBanner[1], kBanner[2], c.message, ""}));
    EXPECT_EQ(row_at_beep, "") << "the beep comes before the message";
    ASSERT_EQ(console().beeps().size(), 1u);
    const host::BeepRecord beep = console().beeps()[0];
    EXPECT_EQ(beep, (host::BeepRecord{0, 1000, 250}));
    EXPECT_EQ(console().now_ms() - (beep.at_ms + beep.duration_ms), 2000u) << "the pause";
    EXPECT_EQ(console().input_mode(), 0x3F7u) << "the mode found";
    if (!c.file.empty()) {
      EXPECT_TRUE(target_bytes() == c.file) << "target untouched";
    }
  }
}

// The run's own open finds slot 1 taken by the test's faulty device and goes
// on with it. "Done." only when both words arrived; an ID is shown only as
// the file holds it; nothing is written after a failure, nor into a file
// changed while a prompt waits (the IDs are typed at 1 s and 2 s); a check
// that cannot read the file says so.
TEST_F(RunSequenceTest, a_failing_file_call_is_never_reported_as_done) {
  const std::string original = sample_target();
  const auto with_ids = [&](std::uint32_t item, std::uint32_t event) {
    std::string bytes = original;
    put_word(bytes, kItemOffset, item);
    put_word(bytes, kEventOffset, event);
    return bytes;
  };
  const std::string not_written = "Could not write rpg_rt file! Is it read-only or in use?";
  const std::string item_row = "Current item pointer variable ID is 1. Please enter new ID: 10";
  const std::string event_row = "Current event pointer variable ID is 2. Please enter new ID: 20";
  const std::string changed = "rpg_rt file changed! Nothing more was written.";
  // What another program does to the target while a prompt waits.
  const int target_fd = next_descriptor();  // the one the open below takes
  const auto moved_away = [this] { fs::rename(target, target + ".old"); };
  const auto cut_short = [this] { std::ofstream(target, std::ios::binary) << "cut"; };
  const auto word_in_place = [this](std::size_t offset) {
    return [this, offset] {
      std::fstream(target, std::ios::in | std::ios::out | std::ios::binary).seekp(offset) << '\7';
    };
  };
  // The run's descriptor of the target now lets nothing be read.
  const auto unreadable = [&] { dup2(open(target.c_str(), O_WRONLY), target_fd); };
  const struct {
    const char* name;
    FileFault fault;
    std::vector<std::string> rows;  // from row 3 on
    std::string file;
    int changed_at_prompt = 0;
    std::function<void()> change = nullptr;
    bool block_held = false;  // another open of the target holds a lock on the block
  } cases[] = {
      {"item word refused", {.failing_write = 1}, {item_row, event_row, "", not_written}, original},
      {"event word refused",
       {.failing_write = 2},
       {item_row, event_row, "", not_written},
       with_ids(10, 2)},
      {"item word's flush fails",
       {.failing_flush = 1},
       {item_row, event_row, "", not_written},
       with_ids(10, 2)},
      {"close fails",
       {.failing_close = true},
       {item_row, event_row, "", not_written},
       with_ids(10, 20)},
      {"marker unreadable", {.failing_read = 1}, {"Could not read rpg_rt file!", ""}, original},
      {"item ID unreadable", {.failing_read = 2}, {"Could not read rpg_rt file!", ""}, original},
      {"event ID unreadable", {.failing_read = 3}, {"Could not read rpg_rt file!", ""}, original},
      {"moved away at the first prompt", {}, {item_row, "", changed}, "", 1, moved_away},
      {"cut short at the second prompt",
       {},
       {item_row, event_row, "", changed},
       "cut",
       2,
       cut_short},
      {"event ID changed in place at the first prompt",
       {},
       {item_row, "", changed},
       with_ids(1, 7),
       1,
       word_in_place(kEventOffset)},
      {"item ID changed in place at the second prompt",
       {},
       {item_row, event_row, "", changed},
       with_ids(7, 2),
       2,
       word_in_place(kItemOffset)},
      {"the check cannot read the file",
       {},
       {item_row, "", "Could not read rpg_rt file!"},
       original,
       1,
       unreadable},
      {"block held by another run",
       {},
       {item_row, event_row, "", not_written},
       original,
       0,
       nullptr,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    put_target(original);
    ASSERT_EQ(file_open(target, 0, 0, 0, 1, 0), 0);
    slot_for_number(1)->ops = &faulty_file_ops;
    fault = c.fault;
    console().schedule_text(1000, "10\r");
    console().schedule_text(2000, "20\r");
    bool done = false;
    console().set_wait_routine([&](DWORD) {
      if (console().now_ms() > kGiveUpMs) throw RunStuck{};
      if (done || c.changed_at_prompt == 0 ||
          console().now_ms() < c.changed_at_prompt * 1000u - 500)
        return;
      done = true;
      c.change();
    });
    std::FILE* holder = c.block_held ? platform::open_stream(target.c_str(), "r+b") : nullptr;
    if (holder != nullptr) {
      ASSERT_EQ(platform::stream_lock_range(holder, kMarkerOffset, kBlockSize),
                platform::RangeLock::kLocked);
    }
    EXPECT_EQ(run({target}), 0);
    if (holder != nullptr) {
      std::fclose(holder);
      EXPECT_EQ(console().now_ms(), 1000 + kLockWaitMs + 250 + 2000) << "the lock waited 5 s";
    }
    std::vector<std::string> rows = screen_rows(static_cast<SHORT>(3 + c.rows.size()));
    rows.erase(rows.begin(), rows.begin() + 3);
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(console().beeps().size(), 1u);
    EXPECT_EQ(slot_for_number(1)->ops, nullptr) << "the target is closed";
    EXPECT_TRUE(target_bytes() == c.file);
  }
}

// The lock's order, seen from another open of the target at each step of the
// run: the block is locked from before the check until the word is synced,
// and free again at the next prompt and in the closing pause, whatever ends
// the run.
TEST_F(RunSequenceTest, the_block_is_locked_from_the_check_to_the_sync) {
  const std::string original = sample_target();
  for (const bool other_run_writes : {false, true}) {
    SCOPED_TRACE(other_run_writes ? "another run holds the block and writes" : "alone");
    TearDown();
    SetUp();
    put_target(original);
    ASSERT_EQ(file_open(target, 0, 0, 0, 1, 0), 0);
    slot_for_number(1)->ops = &faulty_file_ops;
    std::FILE* other = platform::open_stream(target.c_str(), "r+b");
    ASSERT_NE(other, nullptr);
    // Whether another open could take the block now, and the IDs it reads.
    const auto seen = [&] {
      const platform::RangeLock lock =
          platform::stream_lock_range(other, kMarkerOffset, kBlockSize);
      if (lock == platform::RangeLock::kLocked) {
        platform::stream_unlock_range(other, kMarkerOffset, kBlockSize);
      }
      std::string ids(8, '\0');
      platform::stream_read_through(other, kItemOffset, ids.data(), 8);
      return std::string(lock == platform::RangeLock::kLocked          ? "free "
                         : lock == platform::RangeLock::kHeldElsewhere ? "held "
                                                                       : "refused ") +
             std::to_string(word_at(ids, 0)) + "," + std::to_string(word_at(ids, 4));
    };
    std::vector<std::string> steps;
    fault = {};
    watch = [&](const char* step) { steps.push_back(step + (": " + seen())); };
    console().schedule_text(1000, "10\r");
    console().schedule_text(2000, "20\r");
    // The other run takes the block before ours asks for it, then writes its
    // own item word and lets go while ours waits: ours must check after that.
    std::FILE* holder = platform::open_stream(target.c_str(), "r+b");
    ASSERT_NE(holder, nullptr);
    if (other_run_writes) {
      ASSERT_EQ(platform::stream_lock_range(holder, kMarkerOffset, kBlockSize),
                platform::RangeLock::kLocked);
    }
    bool held_by_other = other_run_writes;
    bool prompted_again = false;
    console().set_wait_routine([&](DWORD) {
      if (console().now_ms() > kGiveUpMs) throw RunStuck{};
      if (held_by_other && !steps.empty()) {
        held_by_other = false;
        std::string word(4, '\0');
        put_word(word, 0, 7);
        std::fseek(holder, kItemOffset, SEEK_SET);
        std::fwrite(word.data(), 1, 4, holder);
        std::fflush(holder);
        platform::stream_unlock_range(holder, kMarkerOffset, kBlockSize);
      }
      if (!prompted_again && console().row_text(4).rfind("Current event", 0) == 0) {
        prompted_again = true;
        steps.push_back("next prompt: " + seen());
      }
      const bool pausing = !console().beeps().empty() || console().row_text(6) == "Done.";
      if (pausing && (steps.empty() || steps.back().rfind("pause", 0) != 0)) {
        steps.push_back("pause: " + seen());
      }
    });
    EXPECT_EQ(run({target}), 0);
    std::fclose(holder);
    std::fclose(other);
    watch = nullptr;
    if (other_run_writes) {
      EXPECT_EQ(steps, (std::vector<std::string>{"lock: held 1,2", "pause: free 7,2"}));
      EXPECT_EQ(console().row_text(5), "rpg_rt file changed! Nothing more was written.");
      std::string expected = original;
      put_word(expected, kItemOffset, 7);
      EXPECT_TRUE(target_bytes() == expected);
    } else {
      EXPECT_EQ(steps,
                (std::vector<std::string>{"lock: free 1,2", "write: held 1,2", "flush: held 1,2",
                                          "unlock: held 10,2", "next prompt: free 10,2",
                                          "lock: free 10,2", "write: held 10,2", "flush: held 10,2",
                                          "unlock: held 10,20", "pause: free 10,20"}));
      EXPECT_EQ(console().row_text(6), "Done.");
    }
  }
}

TEST_F(RunSequenceTest, a_key_cuts_the_failure_pause_short) {
  console().schedule_text(250 + 500, "x");  // 500 ms into the pause that follows the beep
  EXPECT_EQ(run({}), 0);
  EXPECT_EQ(console().row_text(3), "No rpg_rt file! Please drag rpg_rt file onto veltrane.exe!");
  EXPECT_EQ(console().now_ms(), 750u);
}

}  // namespace
}  // namespace veltrane
