// qv_vpStack's compute as Maya runs it, against the same stacking as a bare
// function: what the dependency graph and its data block add to 64 inputs'
// worth of arithmetic.
//
//   vpstack_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The ratio of interest is BM_ComputeThroughDataBlock (or, with dirty
// propagation and evaluation, BM_SetInputThenEvaluate) over BM_BareStack.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "maya_host.h"

namespace {

constexpr int kLayers = 16;

// 48 colour floats then 16 masks, with the two switches per layer.
struct Inputs {
  std::array<float, 4 * kLayers> values{};
  std::array<bool, kLayers> premultiply{};
  std::array<bool, kLayers> solo{};
};

Inputs someInputs() {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  Inputs in;
  for (float& value : in.values) value = unit(random);
  for (int n = 0; n < kLayers; ++n) in.premultiply[n] = n % 2 == 0;
  return in;  // nothing soloed: the whole stack is worked out
}

// The node's recipe with nothing around it.
void bareStack(const Inputs& in, float out[7]) {
  const float* mask = &in.values[3 * kLayers];
  float color[kLayers][3];
  for (int n = 0; n < kLayers; ++n) {
    for (int c = 0; c < 3; ++c) {
      const float value = in.values[3 * n + c];
      color[n][c] = in.premultiply[n] ? value * mask[n] : value;
    }
  }
  float s[3] = {color[kLayers - 1][0], color[kLayers - 1][1], color[kLayers - 1][2]};
  for (int n = kLayers - 2; n >= 0; --n) {
    const float beneath = static_cast<float>(1.0 - static_cast<double>(mask[n]));
    for (int c = 0; c < 3; ++c) s[c] = s[c] * beneath + color[n][c];
  }
  float alpha = mask[0];
  for (int n = 1; n < kLayers; ++n) alpha += mask[n];
  alpha = alpha > 1.0f ? 1.0f : alpha < 0.0f ? 0.0f : alpha;
  for (int n = 0; n < kLayers; ++n) {
    if (in.solo[n]) {
      for (int c = 0; c < 3; ++c) s[c] = color[n][c];
      alpha = mask[n];
    }
  }
  out[0] = s[0], out[1] = s[1], out[2] = s[2];
  out[3] = out[4] = out[5] = 1.0f - alpha;
  out[6] = alpha;
}

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "vpstack_bench: %s\n", message.c_str());
  std::exit(1);
}

// A session with the plug-in loaded from disk and one node set to the inputs.
class Session {
 public:
  Session() {
    std::string error;
    if (!host.loadPlugin(QV_VPSTACK_PLUGIN, &error)) die(error);
    if (host.createNode("qv_vpStack", "n") != "n") die("cannot create a qv_vpStack node");
    const Inputs in = someInputs();
    for (int n = 0; n < kLayers; ++n) {
      const std::string number = std::to_string(n);
      const float* c = &in.values[3 * n];
      host.setAttr("n.color" + number, std::vector<double>{c[0], c[1], c[2]});
      host.setAttr("n.mask" + number, in.values[3 * kLayers + n]);
      host.setAttr("n.premultiply" + number, in.premultiply[n] ? 1.0 : 0.0);
    }
    // The node and the bare function must agree before their times mean anything.
    float bare[7];
    bareStack(in, bare);
    const auto color = host.getAttr("n.outColor");
    const auto alpha = host.getAttr("n.outAlpha");
    if (!color || !alpha || *color != std::vector<double>{bare[0], bare[1], bare[2]} ||
        *alpha != std::vector<double>{bare[6]}) {
      die("compute disagrees with the bare stack");
    }
  }

  qv::maya::Host host;
};

void BM_ComputeThroughDataBlock(benchmark::State& state) {
  Session session;
  for (auto _ : state) {
    benchmark::DoNotOptimize(session.host.compute("n.outColor"));
  }
}
BENCHMARK(BM_ComputeThroughDataBlock);

// setAttr dirties the three outputs; getAttr pulls them through compute.
void BM_SetInputThenEvaluate(benchmark::State& state) {
  Session session;
  double mask = 0.25;
  for (auto _ : state) {
    session.host.setAttr("n.mask3", mask);
    benchmark::DoNotOptimize(session.host.getAttr("n.outAlpha"));
    mask = mask == 0.25 ? 0.75 : 0.25;
  }
}
BENCHMARK(BM_SetInputThenEvaluate);

void BM_BareStack(benchmark::State& state) {
  Inputs in = someInputs();
  float out[7];
  for (auto _ : state) {
    benchmark::DoNotOptimize(in);
    bareStack(in, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_BareStack);

}  // namespace

BENCHMARK_MAIN();
