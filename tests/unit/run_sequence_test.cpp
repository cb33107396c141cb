#include "patcher/run_sequence.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "files/file_open.h"
#include "platform/host/attach.h"
#include "platform/host/console_host.h"
#include "platform/host/key_map.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMarkerOffset = 240948;
constexpr std::size_t kItemOffset = 240952;
constexpr std::size_t kEventOffset = 240956;
constexpr std::size_t kSampleSize = 241060;
constexpr std::uint64_t kGiveUpMs = 60000;

const char* const kBanner[] = {
    "Veltrane", "Sets the item and event pointer variable IDs of an rpg_rt file.", ""};

struct ProcessExited {
  int code;
};
[[noreturn]] void unwind_to_test(int code) { throw ProcessExited{code}; }

struct RunStuck {};

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
    if (!c.file.empty()) {
      EXPECT_TRUE(target_bytes() == c.file) << "target untouched";
    }
  }
}

// The file device with one operation made to fail: a write landing on the
// word at `failing_offset`, the flush, or the close (after closing for real).
std::int64_t failing_offset = -1;
FileOps faulty_device(const char* fault) {
  FileOps ops = file_device_ops;
  const std::string which = fault;
  if (which == "write") {
    ops.write = [](FileSlot* slot, const void* bytes, std::uint32_t count) -> std::int32_t {
      if (std::ftell(static_cast<std::FILE*>(slot->device_data)) == failing_offset) return 3;
      return file_device_ops.write(slot, bytes, count);
    };
  } else if (which == "flush") {
    ops.flush = [](FileSlot*) -> std::int32_t { return 3; };
  } else {
    ops.close = [](FileSlot* slot) -> std::int32_t {
      file_device_ops.close(slot);
      return 3;
    };
  }
  return ops;
}

TEST_F(RunSequenceTest, a_word_that_did_not_reach_the_file_never_ends_in_done) {
  const struct {
    const char* name;
    const char* fault;
    std::int64_t offset;
  } cases[] = {
      {"item word write fails", "write", kItemOffset},
      {"event word write fails", "write", kEventOffset},
      {"flush fails", "flush", -1},
      {"close fails", "close", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    put_target(sample_target());
    failing_offset = c.offset;
    static FileOps ops;
    ops = faulty_device(c.fault);
    // The IDs come while the editor waits, and the target is open by then.
    console().schedule_text(1000, "10\r");
    console().schedule_text(2000, "20\r");
    console().set_wait_routine([this](DWORD) {
      if (console().now_ms() > kGiveUpMs) throw RunStuck{};
      FileSlot* slot = slot_for_number(1);
      if (slot->ops == &file_device_ops) slot->ops = &ops;
    });
    EXPECT_EQ(run({target}), 0);
    const std::vector<std::string> rows = screen_rows(10);
    EXPECT_NE(std::find(rows.begin(), rows.end(),
                        "Could not write rpg_rt file! Is it read-only or in use?"),
              rows.end());
    EXPECT_EQ(std::find(rows.begin(), rows.end(), "Done."), rows.end());
    EXPECT_EQ(console().beeps().size(), 1u);
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
