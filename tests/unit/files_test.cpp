#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "files/file_open.h"
#include "files/positioned_io.h"
#include "process/last_error.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

// A fresh runtime and a temporary directory per test; every slot is closed
// and the directory removed afterwards.
class TempDirTest : public testing::Test {
 protected:
  void SetUp() override {
    runtime_reset();
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("veltrane_" + std::to_string(getpid()) + "_" + info->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    close_all_slots();
    runtime_reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string get(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Root ignores file permissions, so permission cases run in a child
  // process that has given up root.
  template <typename Body>
  void run_unprivileged(Body body) {
    if (geteuid() != 0) return body();
    fs::permissions(dir_, fs::perms::all);
    EXPECT_EXIT(
        {
          if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(2);
          body();
          std::_Exit(HasFailure() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "");
  }
  fs::path dir_;
};

using file_slots = TempDirTest;
using positioned_io = TempDirTest;

std::string read4(std::int32_t number, std::int64_t position, std::string fill = "\xAA\xAA\xAA\xAA") {
  read_at64(number, position, fill.data(), 4);
  return fill;
}

TEST_F(file_slots, exists_only_for_readable_regular_files) {
  put("empty", "");
  EXPECT_TRUE(file_exists(path("empty").c_str()));
  EXPECT_FALSE(file_exists(path("missing").c_str()));
  EXPECT_FALSE(file_exists(dir_.c_str()));
  EXPECT_FALSE(file_exists(""));
  EXPECT_FALSE(file_exists("/dev/null"));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0666), 0);
  EXPECT_FALSE(file_exists(path("fifo").c_str()));  // and returns at once
  put("secret", "x");
  fs::permissions(path("secret"), fs::perms::owner_write);
  run_unprivileged([&] { EXPECT_FALSE(file_exists(path("secret").c_str())); });
}

TEST_F(file_slots, opens_existing_file_read_write_at_position_1) {
  put("game", "ABCDEFGH");
  EXPECT_EQ(file_open(path("game"), 0, 0, 0, 1, 0), 0);
  const FileSlot* slot = slot_for_number(1);
  EXPECT_EQ(slot->access, kAccessReadWrite);
  EXPECT_EQ(slot->size, 8);
  EXPECT_EQ(slot->record_length, 0);
  EXPECT_EQ(read4(1, 0), "ABCD");
  EXPECT_TRUE(any_file_opened());
}

TEST_F(file_slots, creates_missing_file_that_reads_as_zeros) {
  EXPECT_EQ(file_open(path("new"), 0, 0, 0, 1, 0), 0);
  EXPECT_TRUE(fs::exists(path("new")));
  EXPECT_EQ(read4(1, 1), std::string(4, '\0'));
  EXPECT_EQ(read4(1, 240949), std::string(4, '\0'));
  EXPECT_EQ(last_error(), 0);
}

TEST_F(file_slots, fails_with_2_and_frees_slot_when_nothing_opens) {
  EXPECT_EQ(file_open(path("no/such/dir"), 0, 0, 0, 1, 0), 2);
  EXPECT_EQ(last_error(), 2);
  EXPECT_EQ(slot_for_number(1)->ops, nullptr);
  EXPECT_TRUE(any_file_opened());
  EXPECT_EQ(read4(1, 1, "keep"), "keep");
  EXPECT_EQ(last_error(), 1);
}

TEST_F(file_slots, refuses_bad_numbers_and_busy_slot) {
  for (std::int32_t number : {0, -1, 255, 1000}) {
    EXPECT_EQ(file_open(path("x"), 0, 0, 0, number, 0), 1) << number;
  }
  EXPECT_FALSE(fs::exists(path("x")));
  EXPECT_FALSE(any_file_opened());
  EXPECT_EQ(file_open(path("x"), 7, 0, 0, 1, 0), 1);  // no such mode
  EXPECT_EQ(slot_for_number(1)->ops, nullptr);
  put("first", "1111");
  ASSERT_EQ(file_open(path("first"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(file_open(path("second"), 0, 0, 0, 1, 0), 1);
  EXPECT_FALSE(fs::exists(path("second")));
  EXPECT_EQ(read4(1, 1), "1111");
  EXPECT_EQ(file_open(path("first"), 0, 0, 0, 254, 0), 0);  // the last slot
  EXPECT_EQ(read4(254, 1), "1111");
  EXPECT_EQ(file_close(254), 0);
}

TEST_F(file_slots, read_only_file_opens_for_reading_and_refuses_writes) {
  put("locked", "ABCDEF");
  fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::group_read |
                                      fs::perms::others_read);
  run_unprivileged([&] {
    EXPECT_EQ(file_open(path("locked"), 0, 0, 0, 1, 0), 0);
    EXPECT_EQ(slot_for_number(1)->access, kAccessRead);
    EXPECT_EQ(write_at(1, 1, "WXYZ", 4), 3);
    EXPECT_EQ(write_at(1, 100, "WXYZ", 4), 3);
    EXPECT_EQ(read4(1, 3), std::string("CDEF"));
    EXPECT_EQ(file_close(1), 0);
  });
  EXPECT_EQ(get("locked"), "ABCDEF");
}

TEST_F(file_slots, write_only_file_is_never_cut_to_length_0) {
  put("wo", "precious");
  fs::permissions(path("wo"), fs::perms::owner_write | fs::perms::group_write |
                                  fs::perms::others_write);
  run_unprivileged([&] {
    EXPECT_EQ(file_open(path("wo"), 0, 0, 0, 1, 0), 2);
    EXPECT_EQ(slot_for_number(1)->ops, nullptr);
  });
  EXPECT_EQ(get("wo"), "precious");
}

TEST_F(file_slots, close_frees_slot_and_writes_out_buffered_bytes) {
  EXPECT_EQ(file_close(0), 0);  // nothing ever opened
  EXPECT_EQ(file_close(1), 1);
  EXPECT_EQ(file_close(-1), 1);
  EXPECT_EQ(file_close(255), 1);
  put("a", "aaaa");
  ASSERT_EQ(file_open(path("a"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(write_at(1, 2, "X", 1), 0);
  EXPECT_EQ(file_close(1), 0);
  EXPECT_EQ(get("a"), "aXaa");
  ASSERT_EQ(file_open(path("a"), 0, 0, 0, 1, 0), 0);  // free again
  ASSERT_EQ(file_open(path("b"), 0, 0, 0, 7, 0), 0);
  EXPECT_EQ(write_at(7, 1, "bb", 2), 0);
  EXPECT_EQ(file_close(0), 0);
  EXPECT_EQ(slot_for_number(1)->ops, nullptr);
  EXPECT_EQ(slot_for_number(7)->ops, nullptr);
  EXPECT_FALSE(any_file_opened());
  EXPECT_EQ(get("b"), "bb");
}

TEST_F(file_slots, failed_flush_and_close_are_reported) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  FileSlot* slot = slot_for_number(3);
  slot->ops = &file_device_ops;
  slot->device_data = full;
  EXPECT_EQ(write_at(3, 0, "data", 4), 0);  // still in the buffer
  EXPECT_EQ(file_flush(3), 3);
  EXPECT_EQ(last_error(), 3);
  EXPECT_EQ(write_at(3, 0, "more", 4), 0);
  EXPECT_EQ(file_close(3), 3);
  EXPECT_NE(slot->ops, nullptr);  // record kept, but its stream is gone
  EXPECT_EQ(write_at(3, 0, "late", 4), 1);
  EXPECT_EQ(file_flush(3), 1);
  EXPECT_EQ(file_close(3), 0);
  EXPECT_EQ(slot->ops, nullptr);
}

TEST_F(positioned_io, read_running_into_end_fills_zeros) {
  put("f", "ABCDEF");
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(read4(1, 5), std::string("EF\0\0", 4));
  EXPECT_EQ(last_error(), 0);
  EXPECT_EQ(read4(1, 100), std::string(4, '\0'));
  EXPECT_EQ(read4(1, 5'000'000'000), std::string(4, '\0'));
  std::uint32_t count = 4;
  char buffer[4];
  EXPECT_EQ(slot_read_at(slot_for_number(1), 4, buffer, &count, true, false), 0);
  EXPECT_EQ(count, 3u);
}

TEST_F(positioned_io, refused_transfers_change_nothing) {
  put("f", "ABCDEF");
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(read4(2, 1, "keep"), "keep");   // free slot
  EXPECT_EQ(read4(1, -1, "keep"), "keep");  // negative position
  EXPECT_EQ(last_error(), 1);
  char buffer[4] = {'k', 'e', 'e', 'p'};
  EXPECT_EQ(read_at(1, 1, buffer, 0), 0);
  EXPECT_EQ(std::string(buffer, 4), "keep");
  EXPECT_EQ(write_at(1, -5, "WXYZ", 4), 1);
  EXPECT_EQ(write_at(9, 1, "WXYZ", 4), 1);
  EXPECT_EQ(seek_to(1, 0), 3);  // offset -1 lies before the start
  file_close(1);
  EXPECT_EQ(get("f"), "ABCDEF");
}

TEST_F(positioned_io, writes_land_at_their_position) {
  put("f", "ABCDEF");
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(write_at(1, 3, "wxyz", 4), 0);
  EXPECT_EQ(read4(1, 3), "wxyz");  // read back through the stream's buffer
  EXPECT_EQ(write_at(1, 11, "WXYZ", 4), 0);
  EXPECT_EQ(seek_to(1, 1000), 0);
  EXPECT_EQ(read4(1, 0), std::string(4, '\0'));
  file_close(1);
  EXPECT_EQ(get("f"), std::string("ABwxyz\0\0\0\0WXYZ", 14));
}

TEST_F(positioned_io, position_0_continues_where_the_last_transfer_ended) {
  put("f", "ABCDEFGHIJ");
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(read4(1, 0), "ABCD");
  EXPECT_EQ(read4(1, 0), "EFGH");
  EXPECT_EQ(read4(1, 2), "BCDE");
  EXPECT_EQ(read4(1, 0), "FGHI");
}

TEST_F(positioned_io, push_back_comes_out_first_latest_first) {
  put("f", "ABCDEF");
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(push_back(1, "A", 1), 0);
  EXPECT_EQ(push_back(1, "B", 1), 0);
  EXPECT_EQ(push_back(1, "xy", 2), 0);
  EXPECT_EQ(push_back(1, "z", 1), 3);  // would hold 5
  EXPECT_EQ(slot_for_number(1)->pushback_count, 4u);
  EXPECT_EQ(read4(1, 0), "xyBA");
  EXPECT_EQ(push_back(1, "Z", 1), 0);
  EXPECT_EQ(read4(1, 0), "ZABC");  // the stream was not touched before
  EXPECT_EQ(push_back(1, "Z", 1), 0);
  EXPECT_EQ(read4(1, 1), "ABCD");  // positioning discards it
  EXPECT_EQ(push_back(1, "Z", 1), 0);
  EXPECT_EQ(write_at(1, 0, "e", 1), 0);
  EXPECT_EQ(slot_for_number(1)->pushback_count, 0u);
  EXPECT_EQ(push_back(2, "Z", 1), 1);
}

TEST_F(positioned_io, column_tracking_counts_bytes_since_the_last_line_end) {
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  FileSlot* slot = slot_for_number(1);
  auto print = [&](const std::string& text) {
    return slot_write_at(slot, 0, text.data(), static_cast<std::uint32_t>(text.size()), true,
                         true, false);
  };
  EXPECT_EQ(print("ab\ncd"), 0);
  EXPECT_EQ(slot->column, 2u);
  print("efg");
  EXPECT_EQ(slot->column, 5u);
  print("xy\r\n");
  EXPECT_EQ(slot->column, 0u);
  write_at(1, 0, "raw", 3);  // raw transfers leave it alone
  EXPECT_EQ(slot->column, 0u);
  slot->width = 4;
  print("abcdef");
  EXPECT_EQ(slot->column, 2u);
  const char16_t wide[] = u"a\rbcd";
  slot_write_at(slot, 0, wide, 5, true, true, true);
  EXPECT_EQ(slot->column, 3u);
}

TEST_F(positioned_io, random_mode_moves_in_whole_records) {
  ASSERT_EQ(file_open(path("r"), kModeRandom, 0, 0, 1, 4), 0);
  EXPECT_EQ(write_at(1, 2, "abcd", 4), 0);  // record 2 is bytes 5 to 8
  EXPECT_EQ(write_at(1, 0, "ef", 2), 3);    // short record: moved on past it
  EXPECT_EQ(write_at(1, 0, "ijkl", 4), 0);
  EXPECT_EQ(read4(1, 2), "abcd");
  char pair[2] = {'k', 'k'};
  EXPECT_EQ(read_at(1, 2, pair, 2), 3);  // short record read: moved on past it too
  EXPECT_EQ(std::string(pair, 2), "ab");
  EXPECT_EQ(read4(1, 0), std::string("ef\0\0", 4));
  // A position whose byte offset leaves the 64-bit range fails to seek and
  // delivers nothing.
  EXPECT_EQ(read4(1, INT64_MAX / 2, "keep"), "keep");
  EXPECT_EQ(last_error(), 3);
  file_close(1);
  EXPECT_EQ(get("r"), std::string("\0\0\0\0abcdef\0\0ijkl", 16));
  // Without a record length of its own a random file has records of 128.
  ASSERT_EQ(file_open(path("r"), kModeRandom, 0, 0, 1, 0), 0);
  EXPECT_EQ(slot_for_number(1)->record_length, 128);
}

TEST_F(positioned_io, device_read_without_record_reads_standard_input) {
  std::FILE* input = std::tmpfile();
  ASSERT_NE(input, nullptr);
  std::fputs("hi", input);
  std::rewind(input);
  runtime_state().standard_input = input;
  char buffer[4] = {'x', 'x', 'x', 'x'};
  std::uint32_t count = 4;
  EXPECT_EQ(file_device_ops.read(nullptr, buffer, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(std::string(buffer, 4), std::string("hi\0\0", 4));
  std::fclose(input);
}

}  // namespace
}  // namespace veltrane
