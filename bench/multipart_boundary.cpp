// Choosing the multipart boundary for a form whose session token is 0.9 MB: a plain token (the baseline)
// against one made of 20,000 candidate boundaries.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/multipart_body.h"

namespace {

vorel::MultipartForm FormWithToken(bool hostile) {
  std::string token;
  for (int i = 0; token.size() < 900'000; ++i) {
    token += hostile ? std::string(vorel::kDefaultMultipartBoundary) + "x" + std::to_string(i)
                     : std::string(45, 'a');
  }
  vorel::MultipartForm form;
  form.Add("version", "620");
  form.Add("sess", token);
  return form;
}

void BM_ChooseBoundary(benchmark::State& state) {
  const vorel::MultipartForm form = FormWithToken(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(vorel::ChooseBoundary(form));
}
BENCHMARK(BM_ChooseBoundary)->Arg(0)->Arg(1)->ArgName("hostile")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
