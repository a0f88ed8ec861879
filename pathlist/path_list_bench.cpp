// Throughput of the path list operations beside a plain copy of the same bytes.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "pathlist/path_list.h"

namespace {

// A list of about `bytes` bytes of typical entries, with "C:\Tools" in the middle.
std::string MakeList(std::size_t bytes) {
  std::string list;
  for (int i = 0; list.size() < bytes; ++i) {
    list += "C:\\Program Files\\Tool " + std::to_string(i) + "\\bin;";
    if (list.size() >= bytes / 2 && list.find("C:\\Tools;") == std::string::npos)
      list += "C:\\Tools;";
  }
  list.pop_back();
  return list;
}

void Run(benchmark::State& state, std::string (*op)(const std::string&)) {
  const std::string list = MakeList(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(op(list));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * list.size()));
}

void BM_Copy(benchmark::State& state) {
  Run(state, [](const std::string& list) { return std::string(list); });
}
void BM_Contains(benchmark::State& state) {
  // Absent, so the whole list is read.
  Run(state, [](const std::string& list) {
    return std::string(PathListContains(list, "c:\\not there") ? "y" : "n");
  });
}
void BM_Append(benchmark::State& state) {
  Run(state, [](const std::string& list) { return PathListAppend(list, "D:\\New"); });
}
void BM_Remove(benchmark::State& state) {
  Run(state, [](const std::string& list) { return PathListRemove(list, "c:\\tools"); });
}

// A value of 4,000 entries, as /a and /r take one that holds ";": every
// other one in the list, the rest new.
std::string MakeValue(const std::string& list) {
  std::string value;
  for (int i = 0; i < 4000; ++i)
    value += (i % 2 ? "C:\\New " : "C:\\Program Files\\Tool ") + std::to_string(i) + "\\bin;";
  return value.substr(0, list.empty() ? 0 : value.size() - 1);
}

void RunAll(benchmark::State& state, std::string (*op)(std::string_view, std::string_view)) {
  const std::string list = MakeList(static_cast<std::size_t>(state.range(0)));
  const std::string value = MakeValue(list);
  for (auto _ : state)
    benchmark::DoNotOptimize(op(list, value));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (list.size() + value.size())));
}

void BM_AppendAll(benchmark::State& state) { RunAll(state, PathListAppendAll); }
void BM_RemoveAll(benchmark::State& state) { RunAll(state, PathListRemoveAll); }

#define SIZES ->Arg(1 << 10)->Arg(32 << 10)->Arg(1 << 20)
BENCHMARK(BM_Copy) SIZES;
BENCHMARK(BM_Contains) SIZES;
BENCHMARK(BM_Append) SIZES;
BENCHMARK(BM_Remove) SIZES;
BENCHMARK(BM_AppendAll) SIZES;
BENCHMARK(BM_RemoveAll) SIZES;

}  // namespace

BENCHMARK_MAIN();
