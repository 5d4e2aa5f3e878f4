// Time of one counter update of the send dialog (the encoder run over the whole text), for a
// short text and for the longest one the dialog takes, and of splitting a pasted list.

#include <benchmark/benchmark.h>

#include <string>

#include "ui/dialogs/send/MessageCounter.h"
#include "ui/dialogs/send/SendList.h"

namespace parlane {
namespace {

void countText(benchmark::State& state, char16_t letter) {
  const std::u16string text(static_cast<std::size_t>(state.range(0)), letter);
  CounterInput input;
  input.text = text;
  for (auto _ : state) benchmark::DoNotOptimize(countMessage(input));
}

void BM_Counter7Bit(benchmark::State& state) { countText(state, u'a'); }
void BM_CounterUcs2(benchmark::State& state) { countText(state, u'\u0416'); }
BENCHMARK(BM_Counter7Bit)->Arg(160)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CounterUcs2)->Arg(70)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ParseSendList(benchmark::State& state) {
  std::u16string list;
  for (int i = 0; i < state.range(0); ++i) list += u"+4917012345,see you at eight\n";
  for (auto _ : state) benchmark::DoNotOptimize(parseSendList(list));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseSendList)->Arg(30000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace parlane

BENCHMARK_MAIN();
