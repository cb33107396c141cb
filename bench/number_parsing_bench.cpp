// Throughput of item conversion: the integer and floating-point converters on
// their own, and a typed line read item by item as input_read_u32 does it.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "console/input_source.h"
#include "console/item_reader.h"
#include "console/number_parsing.h"
#include "process/runtime_state.h"

namespace {

// What users type: plain, signed, radix-marked, out of range, not a number.
constexpr std::array<std::string_view, 10> kIntegerItems = {
    "12", "4294967295", "&HFF", "&O17", "&B101", "-1", "007", "4294967296", "+7", "abc"};

constexpr std::array<std::string_view, 8> kFloatItems = {"1.5",  "12.7",         "1e3",  "1D3",
                                                         "-0.5", "4294967296.0", "1e19", "2.5"};

// Eight items of every kind with the separators a line may hold.
constexpr std::string_view kTypedLine = "10, 20 &HFF 12.5 \"1,5\" -1 1e3 4294967296\r\n";
constexpr int kItemsPerLine = 8;

void convert_integer_items(benchmark::State& state) {
  for (auto _ : state) {
    for (std::string_view item : kIntegerItems) {
      benchmark::DoNotOptimize(
          veltrane::convert_integer_item(item.data(), item.data() + item.size()));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kIntegerItems.size()));
}
BENCHMARK(convert_integer_items);

void convert_float_items(benchmark::State& state) {
  for (auto _ : state) {
    for (std::string_view item : kFloatItems) {
      const double value = veltrane::convert_float_item(item.data(), item.data() + item.size());
      benchmark::DoNotOptimize(veltrane::round_to_u32(value));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kFloatItems.size()));
}
BENCHMARK(convert_float_items);

// scan_item and the conversion together, on a kept typed line.
void read_items_of_a_typed_line(benchmark::State& state) {
  veltrane::runtime_reset();
  veltrane::InputContext& context = veltrane::input_context();
  context.source = nullptr;
  context.line = std::string(kTypedLine);
  for (auto _ : state) {
    context.position = 0;
    for (int i = 0; i < kItemsPerLine; ++i) {
      std::uint32_t value = 0;
      veltrane::input_read_u32(&value);
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(state.iterations() * kItemsPerLine);
}
BENCHMARK(read_items_of_a_typed_line);

}  // namespace
