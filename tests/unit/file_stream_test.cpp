#include "platform/file_stream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef _WIN32
#include <process.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/program_arguments.h"
#else
#include <fcntl.h>

#include "platform/posix/file_stream.h"
#endif

namespace veltrane::platform {
namespace {

namespace fs = std::filesystem;

// The streams of both platforms, through the same calls: what the check
// before each word relies on.
class file_stream : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("veltrane_stream_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  fs::path dir_;
};

std::string read_through(std::FILE* stream, std::int64_t offset, std::uint32_t count) {
  std::string bytes(count, '?');
  const std::int64_t got = stream_read_through(stream, offset, bytes.data(), count);
  return got < 0 ? "(failed)" : bytes.substr(0, static_cast<std::size_t>(got));
}

TEST_F(file_stream, identity_tells_the_file_behind_a_name) {
  put("a", "A");
  put("b", "B");
  std::FILE* stream = open_stream(path("a").c_str(), "r+b");
  ASSERT_NE(stream, nullptr);
  FileIdentity own{}, named{}, other{};
  ASSERT_TRUE(stream_identity(stream, &own));
  ASSERT_TRUE(name_identity(path("a").c_str(), &named));
  EXPECT_EQ(own, named);
  ASSERT_TRUE(name_identity(path("b").c_str(), &other));
  EXPECT_NE(own.index, other.index);
  EXPECT_EQ(own.volume, other.volume);
  std::fclose(stream);
  fs::rename(path("b"), path("a"));  // another file now has the name
  ASSERT_TRUE(name_identity(path("a").c_str(), &named));
  EXPECT_EQ(named, other);
  // Nothing there is told apart from a name that cannot be looked at.
  const struct {
    std::string name;
    bool found;
    bool nothing_there;  // errno ENOENT
  } names[] = {
      {path("a"), true, false},           {path("missing"), false, true},
      {path("no folder/a"), false, true}, {path("\xFF"), false, true},  // no UTF-8: names no file
#ifdef _WIN32
      {path("a<b"), false, false},  // a character no name may hold
#else
      {path(std::string(300, 'n')), false, false},  // longer than a name may be
#endif
  };
  for (const auto& n : names) {
    SCOPED_TRACE(n.name.substr(dir_.string().size()));
    errno = 0;
    EXPECT_EQ(name_identity(n.name.c_str(), &named), n.found);
    if (!n.found) {
      EXPECT_EQ(errno == ENOENT, n.nothing_there) << errno;
    }
  }
}

TEST_F(file_stream, read_through_sees_the_file_past_the_stream_buffer) {
  put("f", "ABCDEF");
  std::FILE* stream = open_stream(path("f").c_str(), "r+b");
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(std::fgetc(stream), 'A');  // the rest read ahead into the buffer
  put("f", "GHIJKL");                  // written by another program
  EXPECT_EQ(read_through(stream, 1, 3), "HIJ");
  EXPECT_EQ(read_through(stream, 4, 8), "KL");
  EXPECT_EQ(read_through(stream, 6, 4), "");
  EXPECT_EQ(read_through(stream, 5'000'000'000, 4), "");
  // The stream goes on where it stood, and so does its pending output.
  EXPECT_EQ(std::fgetc(stream), 'B');
  ASSERT_TRUE(stream_set_position(stream, 2));
  ASSERT_GE(std::fputs("xy", stream), 0);
  EXPECT_EQ(read_through(stream, 0, 6), "GHIJKL");
  ASSERT_GE(std::fputs("z", stream), 0);
  ASSERT_EQ(std::fflush(stream), 0);
  EXPECT_EQ(read_through(stream, 0, 6), "GHxyzL");
  ASSERT_TRUE(stream_commit(stream));
  std::fclose(stream);
  // Offsets past 4 GiB reach their own bytes, in a sparse file.
  stream = open_stream(path("f").c_str(), "r+b");
  ASSERT_NE(stream, nullptr);
  const std::int64_t past_4_gib = (std::int64_t{1} << 32) + 2;
  ASSERT_TRUE(stream_set_position(stream, past_4_gib));
  ASSERT_GE(std::fputs("far", stream), 0);
  ASSERT_TRUE(stream_set_position(stream, 0));
  EXPECT_EQ(stream_file_length(stream), past_4_gib + 3);
  EXPECT_EQ(read_through(stream, past_4_gib, 4), "far");
  std::fclose(stream);
  // A stream that may not read fails the read, and says so.
  stream = open_stream(path("f").c_str(), "ab");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(read_through(stream, 0, 4), "(failed)");
  EXPECT_TRUE(stream_commit(stream));
  std::fclose(stream);
}

TEST_F(file_stream, commit_puts_written_bytes_where_other_readers_see_them) {
  std::FILE* stream = create_new_stream(path("new").c_str());
  ASSERT_NE(stream, nullptr);
  errno = 0;
  EXPECT_EQ(create_new_stream(path("new").c_str()), nullptr) << "the name exists now";
  EXPECT_EQ(errno, EEXIST) << "the refused open's own error, nothing half made after it";
  ASSERT_GE(std::fputs("word", stream), 0);
  ASSERT_EQ(std::fflush(stream), 0);
  EXPECT_TRUE(stream_commit(stream));
  std::ifstream other(path("new"), std::ios::binary);
  std::string seen;
  other >> seen;
  EXPECT_EQ(seen, "word");
  std::fclose(stream);
  EXPECT_TRUE(names_file(path("new").c_str()));
  EXPECT_FALSE(names_file(path("missing").c_str()));
  EXPECT_FALSE(names_file(dir_.string().c_str()));
}

#ifndef _WIN32
// The lock call's answers on kernels and file systems other than this one:
// each given call fails with its error number (0: the system answers).
struct LockAnswers {
  int errors[2];
  int commands[2];
  int calls;
} answers;

int answering_lock_call(int descriptor, int command, struct flock* range) {
  const int error = answers.calls < 2 ? answers.errors[answers.calls] : 0;
  if (answers.calls < 2) answers.commands[answers.calls] = command;
  ++answers.calls;
  if (error == 0) return fcntl(descriptor, command, range);
  errno = error;
  return -1;
}

TEST_F(file_stream, lock_answers_of_other_systems) {
  put("f", "ABCDEF");
  const struct {
    const char* name;
    int errors[2];
    RangeLock expected;
    int calls;  // 2: the process-associated lock was tried after the first
  } rows[] = {
      {"kernel without description locks", {EINVAL, 0}, RangeLock::kLocked, 2},
      {"no locks at all", {EINVAL, EINVAL}, RangeLock::kUnsupported, 2},
      {"no lock service", {ENOLCK, 0}, RangeLock::kUnsupported, 1},
      {"locks not supported", {EOPNOTSUPP, 0}, RangeLock::kUnsupported, 1},
      {"no lock call", {ENOSYS, 0}, RangeLock::kUnsupported, 1},
      {"held (EAGAIN)", {EAGAIN, 0}, RangeLock::kHeldElsewhere, 1},
      {"held (EACCES)", {EACCES, 0}, RangeLock::kHeldElsewhere, 1},
      {"failed", {EIO, 0}, RangeLock::kFailed, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::FILE* stream = open_stream(path("f").c_str(), "r+b");
    std::FILE* other = open_stream(path("f").c_str(), "r+b");
    ASSERT_NE(stream, nullptr);
    ASSERT_NE(other, nullptr);
    answers = {{row.errors[0], row.errors[1]}, {}, 0};
    set_range_lock_call(answering_lock_call);
    EXPECT_EQ(stream_lock_range(stream, 2, 3), row.expected);
    set_range_lock_call(nullptr);
    EXPECT_EQ(answers.calls, row.calls);
    EXPECT_EQ(answers.commands[1], row.calls == 2 ? F_SETLK : 0);
    // The fallback's lock holds against other opens as the usual one does.
    EXPECT_EQ(stream_lock_range(other, 4, 1),
              row.expected == RangeLock::kLocked ? RangeLock::kHeldElsewhere : RangeLock::kLocked);
    std::fclose(other);
    std::fclose(stream);
  }
}
#endif

#ifdef _WIN32
// The program started again with a command line of its own (the test named
// through GTEST_FILTER, so the vector holds only the row's arguments), in a
// folder with one file a wildcard matches, beside a one-character file at the
// drive's root: the child checks the vector that program_arguments gives it.
struct ArgumentsRow {
  std::vector<const wchar_t*> given;
  std::vector<std::string> expected;
  const wchar_t* program = L"self";  // the program's name as the command line gives it
};

const std::vector<ArgumentsRow>& arguments_rows() {
  static const std::vector<ArgumentsRow> rows = {
      {{L"\"\u30ED\u30FC\u30EB RPG_RT.exe\"", L"wild_*.bin", L"none_*.bin"},
       {"\xE3\x83\xAD\xE3\x83\xBC\xE3\x83\xAB RPG_RT.exe", "wild_one.bin",
        "none_*.bin"}},                   // a wildcard matching nothing stays
      {{L"/?"}, {"/?"}},                  // alone, the usage question is not a wildcard
      {{L"/?"}, {"/?"}, L"\"my self\""},  // also behind a quoted name, as Explorer gives it
  };
  return rows;
}

TEST(program_arguments, are_utf8_with_wildcards_expanded) {
  if (const char* child = std::getenv("VELTRANE_ARGUMENTS_CHILD"); child != nullptr) {
    const ArgumentsRow& row = arguments_rows().at(std::strtoul(child, nullptr, 10));
    int argc = 0;
    char** argv = nullptr;
    program_arguments(&argc, &argv);
    ASSERT_EQ(argc, static_cast<int>(row.expected.size()) + 1);
    for (std::size_t i = 0; i < row.expected.size(); ++i) {
      EXPECT_EQ(std::string(argv[i + 1]), row.expected[i]);
    }
    EXPECT_EQ(argv[argc], nullptr);
    return;
  }
  const fs::path dir = fs::temp_directory_path() / "veltrane_arguments";
  fs::create_directories(dir);
  std::ofstream(dir / "wild_one.bin").close();
  const fs::path at_root = dir.root_path() / "q";
  const bool made_at_root = !fs::exists(at_root);
  if (made_at_root) std::ofstream(at_root).close();
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  ASSERT_EQ(_wputenv(L"GTEST_FILTER=program_arguments.*"), 0);
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  for (std::size_t i = 0; i < arguments_rows().size(); ++i) {
    const std::wstring child = L"VELTRANE_ARGUMENTS_CHILD=" + std::to_wstring(i);
    ASSERT_EQ(_wputenv(child.c_str()), 0);
    std::vector<const wchar_t*> arguments{arguments_rows()[i].program};
    // _wspawnv joins its arguments with blanks: the quotes are the caller's.
    for (const wchar_t* given : arguments_rows()[i].given) arguments.push_back(given);
    arguments.push_back(nullptr);
    EXPECT_EQ(_wspawnv(_P_WAIT, self, arguments.data()), 0) << "row " << i;
  }
  fs::current_path(back);
  _wputenv(L"VELTRANE_ARGUMENTS_CHILD=");
  _wputenv(L"GTEST_FILTER=");
  if (made_at_root) fs::remove(at_root);
  fs::remove_all(dir);
}
#endif

}  // namespace
}  // namespace veltrane::platform
