#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/command_tail.h"
#include "process/last_error.h"
#include "process/process_exit.h"
#include "process/runtime_state.h"

namespace veltrane {
namespace {

struct Arguments {
  explicit Arguments(std::vector<std::string> values) : storage(std::move(values)) {
    for (auto& s : storage) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    store_arguments(static_cast<int>(storage.size()), pointers.data());
  }
  std::vector<std::string> storage;
  std::vector<char*> pointers;
};

TEST(command_tail, joins_arguments_with_single_blanks) {
  runtime_reset();
  EXPECT_EQ(command_tail(), "");  // no argument vector at all

  Arguments only_tool({"veltrane.exe"});
  EXPECT_EQ(command_tail(), "");

  Arguments quoted({"veltrane.exe", "my  game\\RPG_RT.exe"});
  EXPECT_EQ(command_tail(), "my  game\\RPG_RT.exe");  // inner blanks kept as typed

  Arguments two({"veltrane.exe", "a.exe", "b.exe"});
  EXPECT_EQ(command_tail(), "a.exe b.exe");
  EXPECT_EQ(command_argument(0), "veltrane.exe");
  EXPECT_EQ(command_argument(2), "b.exe");
  EXPECT_EQ(command_argument(3), "");
  EXPECT_EQ(command_argument(-1), "");
}

std::vector<int>* exit_log = nullptr;
struct ProcessEnded {
  int code;
};

TEST(process_exit, runs_handlers_last_first_then_the_exit_routine_once) {
  std::vector<int> log;
  exit_log = &log;
  runtime_reset();
  process_at_exit([] { exit_log->push_back(1); });
  process_at_exit([] { exit_log->push_back(2); });
  set_exit_routine([](int code) { throw ProcessEnded{code}; });
  try {
    process_exit(7);
    FAIL() << "process_exit returned";
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.code, 7);
  }
  EXPECT_EQ(log, (std::vector<int>{2, 1}));
  // The handlers are used up; the runtime was shut down along the way.
  EXPECT_EQ(runtime_state().init_counter, 0);

  // The table holds 16, runtime_shutdown included: later ones are dropped.
  log.clear();
  runtime_reset();
  for (int i = 0; i < 20; ++i) process_at_exit([] { exit_log->push_back(0); });
  EXPECT_THROW(process_exit(0), ProcessEnded);
  EXPECT_EQ(log.size(), 15u);
  EXPECT_EQ(runtime_state().init_counter, 0);
  set_exit_routine(nullptr);
  exit_log = nullptr;
}

TEST(runtime_state, initialisation_works_once_and_clears_the_last_error) {
  runtime_reset();
  set_last_error(3);
  runtime_ensure_initialised();  // already initialised: nothing changes
  EXPECT_EQ(last_error(), 3);
  EXPECT_EQ(runtime_state().init_counter, 1);
  runtime_reset();
  EXPECT_EQ(last_error(), 0);
  EXPECT_EQ(set_last_error(kIoFailure), kIoFailure);
  EXPECT_EQ(last_error(), kIoFailure);
}

}  // namespace
}  // namespace veltrane
