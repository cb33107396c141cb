#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "files/file_device.h"
#include "files/file_open.h"
#include "files/positioned_io.h"
#include "platform/file_stream.h"
#include "process/last_error.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// A case that cannot run here is skipped, but fails under CI=true.
bool under_ci() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}
#endif

// A fresh runtime and a temporary directory per test; every slot is closed
// and the directory removed afterwards.
class TempDirTest : public testing::Test {
 protected:
  void SetUp() override {
    runtime_reset();
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ =
        fs::temp_directory_path() / ("veltrane_" + std::to_string(getpid()) + "_" + info->name());
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
#ifndef _WIN32
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
#endif
  fs::path dir_;
};

using file_slots = TempDirTest;
using positioned_io = TempDirTest;

std::string read4(std::int32_t number, std::int64_t position,
                  std::string fill = "\xAA\xAA\xAA\xAA") {
  read_at64(number, position, fill.data(), 4);
  return fill;
}

// The lowest free descriptor: the same again once every stream opened since
// has been closed.
int next_descriptor() {
  const int fd = dup(0);
  close(fd);
  return fd;
}

TEST_F(file_slots, exists_for_regular_files_readable_or_not) {
  const int free_fd = next_descriptor();
  put("empty", "");
  EXPECT_TRUE(file_exists(path("empty").c_str()));
  EXPECT_FALSE(file_exists(path("missing").c_str()));
  EXPECT_FALSE(file_exists(dir_.string().c_str()));
  EXPECT_FALSE(file_exists(""));
#ifndef _WIN32  // no FIFOs, devices or owner-only permissions there
  EXPECT_FALSE(file_exists("/dev/null"));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0666), 0);
  EXPECT_FALSE(file_exists(path("fifo").c_str()));  // and returns at once
  // A file there without read permission exists, and so does a name in a
  // folder that may not be searched; the open then fails on either.
  put("secret", "x");
  fs::permissions(path("secret"), fs::perms::owner_write);
  run_unprivileged([&] {
    EXPECT_TRUE(file_exists(path("secret").c_str()));
    EXPECT_EQ(file_open(path("secret"), 0, 0, 0, 1, 0), 2);
    fs::create_directories(dir_ / "closed");
    fs::permissions(dir_ / "closed", fs::perms::none);
    EXPECT_TRUE(file_exists(path("closed/f").c_str()));
    EXPECT_EQ(file_open(path("closed/f"), 0, 0, 0, 1, 0), 2);
    fs::permissions(dir_ / "closed", fs::perms::owner_all);
  });
  // Read back with the permission given again: an ordinary user needs it.
  fs::permissions(path("secret"), fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(get("secret"), "x");
#endif
  EXPECT_EQ(next_descriptor(), free_fd) << "every stream closed";

  // One name, one answer: the existence test, the open and the check see the
  // same file for every spelling of its name.
  fs::create_directories(dir_ / "sub");
  put("sub/f", "abcd");
  std::vector<std::string> names = {path("sub/f"), path("sub//f"), path("sub/./f"),
                                    path("sub/../sub/f"), path("sub/f/")};
  if (platform::path_separator() != '/') {  // the long-path prefix takes no '/' of its own
    std::string full = fs::absolute(dir_).string();
    std::replace(full.begin(), full.end(), platform::path_separator(), '/');
    names.push_back("\\\\?\\" + full + "/sub/f");
  }
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const bool opened = file_open(name, 0, kAccessRead, 0, 1, 0) == 0;
    EXPECT_EQ(file_exists(name.c_str()), opened);
    EXPECT_EQ(opened && file_check(1, name, 1, "abcd", 4) == 0, opened);
    EXPECT_EQ(opened, name.back() != '/');
    file_close(1);
  }
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
  EXPECT_EQ(file_open(path("x"), 5, 0, 0, 1, 0), 1);  // no such mode
  EXPECT_EQ(file_open(path("x"), -1, 0, 0, 1, 0), 1);
  EXPECT_EQ(slot_for_number(1)->ops, nullptr);
  put("first", "1111");
  ASSERT_EQ(file_open(path("first"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(file_open(path("second"), 0, 0, 0, 1, 0), 1);
  EXPECT_FALSE(fs::exists(path("second")));
  EXPECT_EQ(read4(1, 1), "1111");
  EXPECT_EQ(file_open(path("first"), 0, 0, 0, 254, 0), 0);  // the last slot
  EXPECT_EQ(write_at(254, 1, "2", 1), 0);
  EXPECT_EQ(file_close(0), 0);  // closing every slot reaches it too
  EXPECT_EQ(slot_for_number(254)->ops, nullptr);
  EXPECT_EQ(get("first"), "2111");
  EXPECT_EQ(slot_for_number(-2), nullptr);
  EXPECT_EQ(slot_for_number(255), nullptr);
  EXPECT_NE(slot_for_number(-1), slot_for_number(0));
  EXPECT_EQ(slot_for_number(254) - slot_for_number(-1), 255);
  EXPECT_EQ(file_flush(2), 1);
  EXPECT_EQ(file_flush(255), 1);
}

TEST_F(file_slots, each_mode_access_and_encoding_opens_as_promised) {
  const std::string kMissing = "(missing)";
  const int free_fd = next_descriptor();
  const struct {
    std::int32_t mode, access, encoding;
    std::string before;  // kMissing: no such file
    std::int32_t result;
    std::uint32_t access_after;
    std::int64_t size;
    std::int32_t record_length;
    std::string read;   // 4 bytes read where the open left the stream
    std::string after;  // the file once closed again
  } cases[] = {
      {0, 3, 0, kMissing, 0, 3, 0, 0, std::string(4, '\0'), ""},
      {0, 1, 0, kMissing, 2, 0, 0, 0, "keep", kMissing},
      {0, 4, 0, kMissing, 2, 0, 0, 0, "keep", kMissing},  // only an existing file
      {0, 4, 0, "ABCDEF", 0, 3, 6, 0, "ABCD", "ABCDEF"},
      {0, 1, 0, "ABCDEF", 0, 1, 6, 0, "ABCD", "ABCDEF"},
      {0, 2, 0, "ABCDEF", 0, 2, 0, 0, std::string(4, '\0'), ""},
      {0, 0, 1,
       "\xEF\xBB\xBF"
       "abcd",
       0, 3, 7, 0, "abcd",
       "\xEF\xBB\xBF"
       "abcd"},
      {0, 0, 3, std::string("\xFF\xFE\0\0", 4) + "abcd", 0, 3, 8, 0, "abcd",
       std::string("\xFF\xFE\0\0", 4) + "abcd"},
      {1, 0, 0, "ABCDEF", 0, 3, 6, 128, "ABCD", "ABCDEF"},
      {2, 0, 0, "ABCDEF", 0, 3, 6, 128, "ABCD", "ABCDEF"},
      {2, 0, 1,
       "\xEF\xBB\xBF"
       "abcd",
       0, 3, 7, 128, "abcd",
       "\xEF\xBB\xBF"
       "abcd"},
      {2, 0, 2,
       "\xFF\xFE"
       "abcd",
       0, 3, 6, 128, "abcd",
       "\xFF\xFE"
       "abcd"},
      {2, 0, 3, std::string("\xFF\xFE\0\0", 4) + "abcd", 0, 3, 8, 128, "abcd",
       std::string("\xFF\xFE\0\0", 4) + "abcd"},
      {2, 0, 0, kMissing, 2, 0, 0, 0, "keep", kMissing},
      {3, 0, 0, "ABCDEF", 0, 3, 0, 128, std::string(4, '\0'), ""},
      {4, 0, 0, "ABCDEF", 0, 3, 0, 0, std::string(4, '\0'), "ABCDEF"},  // at 0 until written
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.access) + " " +
                 std::to_string(c.encoding) + " " + c.before);
    fs::remove(path("f"));
    if (c.before != kMissing) put("f", c.before);
    std::string name = path("f");
    FileSlot* slot = slot_for_number(1);
    EXPECT_EQ(slot_open(slot, name.data(), name.size(), c.mode, c.access, 0, 0, c.encoding,
                        file_device_open),
              c.result);
    EXPECT_EQ(slot->access, c.access_after);
    EXPECT_EQ(slot->size, c.result == 0 ? c.size : 0);
    EXPECT_EQ(slot->record_length, c.record_length);
    EXPECT_EQ(read4(1, 0, "keep"), c.read);
    file_close(1);
    EXPECT_EQ(fs::exists(path("f")) ? get("f") : kMissing, c.after);
  }
  EXPECT_EQ(next_descriptor(), free_fd) << "every stream closed";
  ASSERT_EQ(file_open(path("f"), kModeInput, 0, 0, 1, 0), 0);
  EXPECT_EQ(read4(1, 2), "BCDE") << "positions count bytes, not records";
}

#ifndef _WIN32  // permission bits, which root ignores there
TEST_F(file_slots, read_only_file_opens_for_reading_and_refuses_writes) {
  put("locked", "ABCDEF");
  fs::permissions(path("locked"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  run_unprivileged([&] {
    for (const std::int32_t access : {kAccessDefault, kAccessExisting}) {
      EXPECT_EQ(file_open(path("locked"), 0, access, 0, 1, 0), 0);
      EXPECT_EQ(slot_for_number(1)->access, kAccessRead);
      EXPECT_EQ(write_at(1, 1, "WXYZ", 4), 3);
      EXPECT_EQ(write_at(1, 100, "WXYZ", 4), 3);
      EXPECT_EQ(read4(1, 3), std::string("CDEF"));
      EXPECT_EQ(file_close(1), 0);
    }
  });
  EXPECT_EQ(get("locked"), "ABCDEF");
}

TEST_F(file_slots, write_only_file_is_never_cut_to_length_0) {
  put("wo", "precious");
  fs::permissions(path("wo"),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
  run_unprivileged([&] {
    EXPECT_EQ(file_open(path("wo"), 0, 0, 0, 1, 0), 2);
    EXPECT_EQ(slot_for_number(1)->ops, nullptr);
  });
  fs::permissions(path("wo"), fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(get("wo"), "precious");
}
#endif

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
  // The highest slot opened is reached whatever the order of the opens.
  ASSERT_EQ(file_open(path("c"), 0, 0, 0, 254, 0), 0);
  ASSERT_EQ(file_open(path("a"), 0, 0, 0, 3, 0), 0);
  EXPECT_EQ(write_at(254, 1, "cc", 2), 0);
  EXPECT_EQ(file_close(0), 0);
  EXPECT_EQ(slot_for_number(254)->ops, nullptr);
  EXPECT_EQ(slot_for_number(3)->ops, nullptr);
  EXPECT_EQ(get("c"), "cc");
  // Slot 1 alone is reached too; a record of the caller's own never counts.
  ASSERT_EQ(file_open(path("a"), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(write_at(1, 1, "d", 1), 0);
  const auto own = std::make_unique<FileSlot>();
  std::string missing = path("missing");
  EXPECT_EQ(slot_open(own.get(), missing.data(), missing.size(), 0, kAccessRead, 0, 0, 0,
                      file_device_open),
            2);
  EXPECT_EQ(last_opened_slot(), 1);
  EXPECT_EQ(file_close(0), 0);
  EXPECT_EQ(slot_for_number(1)->ops, nullptr);
  EXPECT_EQ(get("a"), "dXaa");
  // A reset forgets every open, closed or not.
  ASSERT_EQ(file_open(path("a"), 0, 0, 0, 9, 0), 0);
  EXPECT_EQ(file_close(9), 0);
  runtime_reset();
  EXPECT_FALSE(any_file_opened());
  EXPECT_EQ(last_opened_slot(), 0);
}

TEST_F(file_slots, files_left_open_are_written_out_at_exit) {
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 5, 0), 0);
  EXPECT_EQ(write_at(5, 1, "kept", 4), 0);
  set_exit_routine([](int code) { throw code; });
  EXPECT_THROW(process_exit(0), int);
  set_exit_routine(nullptr);
  EXPECT_EQ(slot_for_number(5)->ops, nullptr);
  EXPECT_EQ(get("f"), "kept");
}

TEST_F(file_slots, failed_flush_and_close_are_reported) {
#ifndef _WIN32  // a device that refuses every write
  std::FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) {
    if (under_ci()) FAIL() << "no /dev/full";
    GTEST_SKIP() << "no /dev/full";
  }
  FileSlot* slot = slot_for_number(3);
  ASSERT_TRUE(file_device_adopt(slot, full));
  EXPECT_EQ(write_at(3, 0, "data", 4), 0);  // still in the buffer
  EXPECT_EQ(file_flush(3), 3);
  EXPECT_EQ(last_error(), 3);
  EXPECT_EQ(write_at(3, 0, "more", 4), 0);
  EXPECT_EQ(file_close(3), 3);
  EXPECT_EQ(slot->ops, nullptr);  // the stream is gone: the slot is free again
  EXPECT_EQ(file_close(3), 1);
#endif
  put("a", "aaaa");
  ASSERT_EQ(file_open(path("a"), 0, 0, 0, 3, 0), 0);
  // The 8192-byte buffer is the stream's own: 8191 bytes stay in it, 8193 do not.
  EXPECT_EQ(write_at(3, 1, std::string(8191, 'x').data(), 8191), 0);
  EXPECT_EQ(get("a"), "aaaa");
  EXPECT_EQ(write_at(3, 0, "yy", 2), 0);
  EXPECT_EQ(get("a").size(), 8192u);
  EXPECT_EQ(file_close(3), 0);
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
  EXPECT_EQ(seek_to(9, 1), 1);
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
  EXPECT_EQ(write_at(1, 1, "a", 1), 0);
  file_close(1);
  EXPECT_EQ(get("f"), std::string("aBwxyz\0\0\0\0WXYZ", 14));
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
  EXPECT_EQ(push_back(1, "xy", 2), 0);
  for (const char* expected : {"x", "y"}) {
    char byte = '?';
    EXPECT_EQ(read_at(1, 0, &byte, 1), 0);
    EXPECT_EQ(std::string(1, byte), expected);
  }
  // An encoded record holds each byte given back as a 16-bit unit; wide
  // reads take them first, then the stream's units.
  file_close(1);
  put("u", "ABCDEF");
  std::string name = path("u");
  FileSlot* slot = slot_for_number(1);
  ASSERT_EQ(slot_open(slot, name.data(), name.size(), 0, 0, 0, 0, 2, file_device_open), 0);
  EXPECT_EQ(push_back(1, "z", 1), 0);
  EXPECT_EQ(push_back(1, "y", 1), 0);
  EXPECT_EQ(push_back(1, "x", 1), 3);  // two units are the most it holds
  char16_t units[4] = {};
  std::uint32_t count = 1;
  EXPECT_EQ(slot_read_at(slot, 0, units, &count, false, true), 0);
  EXPECT_EQ(count, 1u);
  count = 3;
  EXPECT_EQ(slot_read_at(slot, 0, units + 1, &count, false, true), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::u16string(units, 4), u"yzCD");  // the stream starts past a 2-byte mark
  EXPECT_EQ(push_back(1, "ab", 2), 0);
  EXPECT_EQ(slot_read_at(slot, 0, units, &count, false, true), 0);
  EXPECT_EQ(std::u16string(units, 3), u"abE");
}

TEST_F(positioned_io, column_tracking_counts_bytes_since_the_last_line_end) {
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  FileSlot* slot = slot_for_number(1);
  auto print = [&](const std::string& text) {
    return slot_write_at(slot, 0, text.data(), static_cast<std::uint32_t>(text.size()), true, true,
                         false);
  };
  EXPECT_EQ(print("ab\ncd"), 0);
  EXPECT_EQ(slot->column, 2u);
  print("efg");
  EXPECT_EQ(slot->column, 5u);
  print("h\rij");  // a carriage return alone ends the line as well
  EXPECT_EQ(slot->column, 2u);
  print("xy\r\n");
  EXPECT_EQ(slot->column, 0u);
  print("\rx");
  EXPECT_EQ(slot->column, 1u);
  write_at(1, 0, "raw", 3);  // raw transfers leave it alone
  EXPECT_EQ(slot->column, 1u);
  slot->width = 4;
  print("abcdef");
  EXPECT_EQ(slot->column, 3u);
  const char16_t wide[] = u"a\rbcd";
  slot_write_at(slot, 0, wide, 5, true, true, true);
  EXPECT_EQ(slot->column, 3u);
  slot_write_at(slot, 0, u"ef", 2, true, true, true);
  EXPECT_EQ(slot->column, 1u);
}

TEST_F(positioned_io, random_mode_moves_in_whole_records) {
  ASSERT_EQ(file_open(path("r"), kModeRandom, 0, 0, 1, 4), 0);
  EXPECT_EQ(write_at(1, 5, "mnop", 4), 0);  // record 5 is bytes 17 to 20
  EXPECT_EQ(write_at(1, 2, "abcd", 4), 0);  // record 2 is bytes 5 to 8
  EXPECT_EQ(write_at(1, 0, "efg", 3), 3);   // short record: moved on past it
  EXPECT_EQ(write_at(1, 0, "ijkl", 4), 0);
  EXPECT_EQ(read4(1, 2), "abcd");
  char part[3] = {'k', 'k', 'k'};
  EXPECT_EQ(read_at(1, 2, part, 3), 3);  // short record read: moved on past it too
  EXPECT_EQ(std::string(part, 3), "abc");
  EXPECT_EQ(read4(1, 0), std::string("efg\0", 4));
  std::uint32_t count = 2;
  EXPECT_EQ(slot_read_at(slot_for_number(1), 2, part, &count, false, false), 0);
  EXPECT_EQ(read4(1, 0), "cdef") << "no record adjustment asked for";
  // A position whose byte offset leaves the 64-bit range fails to seek and
  // delivers nothing.
  EXPECT_EQ(read4(1, INT64_MAX / 2, "keep"), "keep");
  EXPECT_EQ(last_error(), 3);
  char16_t unit = u'k';
  count = 1;
  EXPECT_EQ(slot_read_at(slot_for_number(1), INT64_MAX / 2, &unit, &count, true, true), 3);
  EXPECT_EQ(unit, u'k');
  file_close(1);
  EXPECT_EQ(get("r"), std::string("\0\0\0\0abcdefg\0ijklmnop", 20));
  // Without a record length of its own a random file has records of 128;
  // with a length of 1 every longer transfer is the wrong length.
  ASSERT_EQ(file_open(path("r"), kModeRandom, 0, 0, 1, 0), 0);
  EXPECT_EQ(slot_for_number(1)->record_length, 128);
  ASSERT_EQ(file_open(path("r1"), kModeRandom, 0, 0, 2, 1), 0);
  EXPECT_EQ(slot_for_number(2)->record_length, 1);
  EXPECT_EQ(write_at(2, 1, "ab", 2), 3);
}

TEST_F(positioned_io, stream_seek_refuses_targets_outside_the_file_range) {
  put("f", "0123456789");
  std::FILE* stream = std::fopen(path("f").c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  const struct {
    std::int64_t offset;
    std::int32_t origin;
    std::int32_t result;
    long position;  // where the stream stands after the seek from offset 4
  } cases[] = {
      {3, 0, 0, 3},   {-1, 0, -1, 4},        {2, 1, 0, 6},          {-4, 1, 0, 0},
      {-5, 1, -1, 4}, {INT64_MAX, 1, -1, 4}, {INT64_MIN, 1, -1, 4}, {-2, 2, 0, 8},
      {1, 2, 0, 11},  {0, 3, -1, 4},         {0, -1, -1, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + " from " + std::to_string(c.origin));
    std::fseek(stream, 4, SEEK_SET);
    EXPECT_EQ(stream_seek(stream, c.offset, c.origin) == 0 ? 0 : -1, c.result);
    EXPECT_EQ(std::ftell(stream), c.position);
  }
  std::fclose(stream);
  put("empty", "");
  stream = std::fopen(path("empty").c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream_seek(stream, 0, 2), 0) << "the end of an empty file is its start";
  std::fclose(stream);
}

#ifndef _WIN32
// tmpfs lets a stream stand at any offset up to INT64_MAX (ext4 stops far
// short of it), so the range checks meet their exact boundaries there.
TEST_F(positioned_io, seeks_reach_int64_max_where_the_file_system_allows) {
  const std::string name = "/dev/shm/veltrane_" + std::to_string(getpid());
  const bool opened = file_open(name, kModeRandom, 0, 0, 1, 2) == 0;
  std::FILE* stream = std::fopen(name.c_str(), "rb");
  std::remove(name.c_str());
  if (!opened || stream == nullptr || stream_seek(stream, INT64_MAX - 1, 0) != 0) {
    if (stream != nullptr) std::fclose(stream);
    if (under_ci()) FAIL() << "no tmpfs at /dev/shm";
    GTEST_SKIP() << "no tmpfs at /dev/shm";
  }
  EXPECT_EQ(stream_seek(stream, 1, 1), 0) << "exactly INT64_MAX";
  EXPECT_NE(stream_seek(stream, 1, 1), 0) << "one past it";
  std::fclose(stream);
  EXPECT_EQ(seek_to(1, INT64_MAX / 2 + 1), 0) << "record INT64_MAX / 2 of 2 bytes";
  EXPECT_EQ(seek_to(1, INT64_MAX / 2 + 2), 3);
}
#endif

TEST_F(positioned_io, device_operations_keep_their_contracts) {
  std::string bytes = "ab\r\ncd\nlast";
  for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i);
  put("f", bytes);
  ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
  FileSlot* slot = slot_for_number(1);
  EXPECT_EQ(file_check(1, path("f"), 1, "ab\r\n", 4), 0) << "the file at the name, as expected";
  EXPECT_EQ(file_check(1, path("f"), 0, "ab\r\n", 4), 1);
  const FileOps& ops = *slot->ops;
  std::string line;
  for (const char* expected : {"ab", "cd"}) {
    EXPECT_EQ(ops.read_line(slot, &line), 0);
    EXPECT_EQ(line, expected);
  }
  char16_t units[600];
  EXPECT_EQ(ops.read_line_wide(slot, units, 3), 0);  // "last" cut to two units
  EXPECT_EQ(std::u16string(units), u"la");
  EXPECT_EQ(ops.read_line_wide(slot, units, 0), 1);
  std::int64_t at = 0;
  EXPECT_EQ(ops.tell(slot, &at), 0);
  EXPECT_GT(at, 10);
  EXPECT_EQ(ops.eof(slot), 0);

  // Wide transfers: one unit per byte, in chunks, the rest zero-filled.
  EXPECT_EQ(seek_to(1, 12), 0);
  std::uint32_t count = 2;
  EXPECT_EQ(ops.read_wide(slot, units, &count), 0);
  EXPECT_EQ(std::u16string(units, 2), std::u16string(u"\0\x01", 2));
  std::fill(units, units + 600, u'x');
  EXPECT_EQ(seek_to(1, 12), 0);
  count = 600;
  EXPECT_EQ(ops.read_wide(slot, units, &count), 0);
  EXPECT_EQ(count, 300u);
  EXPECT_EQ(units[299], 43);  // byte 299, as an unsigned char
  EXPECT_EQ(units[256], 0);
  EXPECT_EQ(units[300], 0);
  EXPECT_EQ(units[599], 0);
  EXPECT_EQ(ops.eof(slot), -1);
  std::u16string wide(300, u'w');
  wide[0] = u'\x100';
  wide[1] = u'\xFF';
  EXPECT_EQ(seek_to(1, 1), 0);
  EXPECT_EQ(ops.write_wide(slot, wide.data(), 300), 0);
  EXPECT_EQ(read4(1, 1), "?\xFFww");
  EXPECT_EQ(read4(1, 297), "wwww");
  EXPECT_EQ(read4(1, 301), "!\"#$");

  FileOps bytes_only{};  // an absent operation gives 1
  bytes_only.write = ops.write;
  slot->ops = &bytes_only;
  EXPECT_EQ(slot_write_at(slot, 0, u"w", 1, false, false, true), 1);
  EXPECT_EQ(slot_read_at(slot, 0, units, &count, false, false), 1);
  slot->ops = &ops;
  // Locks exclude another open of the file, in this process too, over their
  // range only, until unlocked.
  std::FILE* other = platform::open_stream(path("f").c_str(), "r+b");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(ops.lock(slot, 0, 10, 0), 0);
  EXPECT_EQ(platform::stream_lock_range(other, 9, 4), platform::RangeLock::kHeldElsewhere);
  EXPECT_EQ(platform::stream_lock_range(other, 10, 4), platform::RangeLock::kLocked);
  EXPECT_TRUE(platform::stream_unlock_range(other, 10, 4));
  EXPECT_EQ(ops.unlock(slot, 0, 10), 0);
  EXPECT_EQ(platform::stream_lock_range(other, 9, 4), platform::RangeLock::kLocked);
  EXPECT_EQ(file_lock_range(1, 10, 1, 0), kIoFailure) << "held elsewhere, and no wait asked";
  EXPECT_TRUE(platform::stream_unlock_range(other, 9, 4));
  // By file number, positions count from 1.
  EXPECT_EQ(file_lock_range(1, 2, 1, 0), 0);
  EXPECT_EQ(platform::stream_lock_range(other, 1, 1), platform::RangeLock::kHeldElsewhere);
  EXPECT_EQ(platform::stream_lock_range(other, 0, 1), platform::RangeLock::kLocked);
  EXPECT_TRUE(platform::stream_unlock_range(other, 0, 1));
  EXPECT_EQ(file_unlock_range(1, 2, 1), 0);
  EXPECT_EQ(platform::stream_lock_range(other, 1, 1), platform::RangeLock::kLocked);
  EXPECT_TRUE(platform::stream_unlock_range(other, 1, 1));
  std::fclose(other);
  EXPECT_EQ(file_lock_range(1, 1, 1, 0), 0);
  EXPECT_EQ(file_unlock_range(1, 1, 1), 0);
  for (const auto& [number, position] : {std::pair{1, 0}, {2, 1}, {0, 1}}) {
    EXPECT_EQ(file_lock_range(number, position, 1, 0), 1) << number << " at " << position;
    EXPECT_EQ(file_unlock_range(number, position, 1), 1) << number << " at " << position;
  }
  EXPECT_EQ(ops.lock(slot, 0, 0, 0), 1);
  EXPECT_EQ(ops.flush(slot), 0);
  file_close(1);
  EXPECT_EQ(get("f").size(), bytes.size());
  FileSlot closed{};
  EXPECT_EQ(ops.read_line(&closed, &line), 1);
  EXPECT_EQ(ops.lock(&closed, 0, 1, 0), 1);
  EXPECT_EQ(ops.unlock(&closed, 0, 1), 1);
  EXPECT_EQ(ops.eof(&closed), -1);

  // End of file by mode: binary and input at the measured size, input also
  // once a read ran past the end; output never.
  put("f", "ABCDEF");
  const struct {
    std::int32_t mode;
    std::int64_t position;  // read 4 bytes here first; 0 reads nothing
    std::int32_t eof;
  } ends[] = {{0, 0, 0}, {0, 3, -1}, {2, 0, 0}, {2, 3, -1}, {2, 5, -1}, {3, 0, 0}};
  for (const auto& end : ends) {
    SCOPED_TRACE(std::to_string(end.mode) + " after " + std::to_string(end.position));
    ASSERT_EQ(file_open(path("f"), end.mode, 0, 0, 1, 0), 0);
    if (end.position > 0) read4(1, end.position);
    EXPECT_EQ(ops.eof(slot), end.eof);
    file_close(1);
  }

  // A refused write leaves a read-only stream fit for reading lines.
  put("f", "one\n");
  ASSERT_EQ(file_open(path("f"), 0, kAccessRead, 0, 1, 0), 0);
  EXPECT_EQ(write_at(1, 1, "x", 1), 3);
  EXPECT_EQ(ops.read_line(slot, &line), 0);
  EXPECT_EQ(line, "one");
}

// The check before a write: any byte of the block changed, or another file or
// none at the name, is a change; an identity or the bytes that cannot be read
// is no verdict on the file.
TEST_F(positioned_io, check_tells_a_change_from_a_look_that_failed) {
  const std::string block("\xC3\0\0\0\1\0\0\0\2\0\0\0", 12);
  const auto in_place = [this](std::streamoff at) {
    std::fstream(path("f"), std::ios::in | std::ios::out | std::ios::binary).seekp(at) << 'x';
  };
  const int fd = next_descriptor();  // the one the open below takes
  const struct {
    const char* name;
    std::function<void()> change;
    std::int32_t result;
  } cases[] = {
      {"as held", [] {}, kSuccess},
      {"first byte", [&] { in_place(100); }, kChanged},
      {"second word", [&] { in_place(104); }, kChanged},
      {"last byte", [&] { in_place(111); }, kChanged},
#ifndef _WIN32  // where a file held open may not be renamed
      {"moved away", [&] { fs::rename(path("f"), path("g")); }, kChanged},
      {"same bytes renamed over it",
       [&] {
         put("g", get("f"));
         fs::rename(path("g"), path("f"));
       },
       kChanged},
#endif
      {"the held file unreadable", [&] { close(fd); }, kIoFailure},
      {"the bytes unreadable",
       [&] {
         const int write_only = open(path("f").c_str(), O_WRONLY);
         dup2(write_only, fd);
         close(write_only);
       },
       kIoFailure},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    put("f", std::string(100, 'a') + block);
    ASSERT_EQ(file_open(path("f"), 0, 0, 0, 1, 0), 0);
    c.change();
    EXPECT_EQ(file_check(1, path("f"), 101, block.data(), 12), c.result);
    EXPECT_EQ(last_error(), c.result);
    file_close(1);
    fs::remove(path("f"));
    fs::remove(path("g"));
  }
  // A volume answered as 0 on one side only could not be asked that time.
  EXPECT_EQ(compare_identities({7, 1}, {0, 1}), kIoFailure);
  EXPECT_EQ(compare_identities({0, 1}, {7, 1}), kIoFailure);
  EXPECT_EQ(compare_identities({0, 1}, {0, 2}), kChanged);
  EXPECT_EQ(compare_identities({7, 1}, {0, 2}), kChanged);
  EXPECT_EQ(compare_identities({7, 1}, {8, 1}), kChanged);
  EXPECT_EQ(compare_identities({0, 1}, {0, 1}), kSuccess);
#ifndef _WIN32  // folders that may not be searched
  // The name's folder may not be searched: its file cannot be looked up.
  run_unprivileged([&] {
    fs::create_directories(dir_ / "sub");
    put("sub/f", block);
    ASSERT_EQ(file_open(path("sub/f"), 0, 0, 0, 1, 0), 0);
    fs::permissions(dir_ / "sub", fs::perms::none);
    EXPECT_EQ(file_check(1, path("sub/f"), 1, block.data(), 12), kIoFailure);
    fs::permissions(dir_ / "sub", fs::perms::owner_all);
    EXPECT_EQ(file_check(1, path("sub/f"), 1, block.data(), kMaxCheckedBytes + 1), kBadCall);
  });
#endif
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
  // One byte at a time, as the item reader asks; an error flag left from
  // before does not fail a read that got everything.
  put("in", "hi");
  input = std::fopen(path("in").c_str(), "rb");
  ASSERT_NE(input, nullptr);
  EXPECT_EQ(std::fputc('x', input), EOF);
  runtime_state().standard_input = input;
  for (const char expected : {'h', 'i'}) {
    count = 1;
    EXPECT_EQ(file_device_ops.read(nullptr, buffer, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(buffer[0], expected);
  }
  std::clearerr(input);
  count = 1;
  EXPECT_EQ(file_device_ops.read(nullptr, buffer, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(buffer[0], '\0');
  std::fclose(input);
}

}  // namespace
}  // namespace veltrane
