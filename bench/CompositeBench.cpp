// One full 800x600 frame of the screensaver scene at 32 bits, composed three ways in the same run: through
// our compositors, through pixman (SRC copies, OVER with an a8 mask), and as one memcpy of the frame.
//
//   build/release/bench/bench_composite                             full run
//   build/release/bench/bench_composite --benchmark_min_time=0.01   short run for CI
//
// The last line prints our time, pixman's, memcpy's and the ratios.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "graphics/ZCompositor.h"
#include "graphics/ZPixelFormat.h"

namespace {

constexpr int32_t kFrameWidth = 800;
constexpr int32_t kFrameHeight = 600;

// A picture with its 6-bit alpha plane and the same plane widened to 8 bits for pixman.
struct Layer {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> alpha;   // 6-bit, stride = alphaStride
    std::vector<uint8_t> alpha8;  // 8-bit, same stride
    int32_t alphaStride = 0;
    bool hasAlpha = false;
    pixman_image_t* image = nullptr;
    pixman_image_t* mask = nullptr;
};

// A placed draw of a layer.
struct Placement {
    const Layer* layer;
    int32_t x;
    int32_t y;
};

uint32_t Hash(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    return v ^ (v >> 16);
}

// Soft-edged disc (inner 0) or ring (inner > 0): 63 inside, a ramp of about two pixels at the edges.
uint8_t Coverage(double distance, double inner, double outer) {
    double edge = std::min(outer - distance, inner > 0 ? distance - inner : outer);
    return uint8_t(std::clamp(edge * 32.0, 0.0, 63.0));
}

Layer MakeLayer(int32_t width, int32_t height, uint32_t seed, double innerShare, bool hasAlpha) {
    Layer layer;
    layer.width = width;
    layer.height = height;
    layer.hasAlpha = hasAlpha;
    layer.pixels.resize(size_t(width) * size_t(height));
    for (size_t i = 0; i < layer.pixels.size(); ++i) {
        layer.pixels[i] = Hash(uint32_t(i) + seed) & 0x00FFFFFFu;
    }
    layer.image = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, layer.pixels.data(), width * 4);
    if (!hasAlpha) {
        return layer;
    }
    layer.alphaStride = (width + 3) & ~3;
    layer.alpha.resize(size_t(layer.alphaStride) * size_t(height));
    layer.alpha8.resize(layer.alpha.size());
    double outer = std::min(width, height) / 2.0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < layer.width; ++x) {
            double d = std::hypot(x + 0.5 - width / 2.0, y + 0.5 - height / 2.0);
            uint8_t a = Coverage(d, outer * innerShare, outer);
            layer.alpha[size_t(y * layer.alphaStride + x)] = a;
            // Widened once, outside the timed loop.
            layer.alpha8[size_t(y * layer.alphaStride + x)] = uint8_t((a << 2) | (a >> 4));
        }
    }
    layer.mask = pixman_image_create_bits(
        PIXMAN_a8, width, height, reinterpret_cast<uint32_t*>(layer.alpha8.data()), layer.alphaStride);
    return layer;
}

// The scene's layers in drawing order.
struct Scene {
    Layer background = MakeLayer(kFrameWidth, kFrameHeight, 1, 0, false);
    Layer tile = MakeLayer(100, 100, 2, 0, false);
    Layer loop = MakeLayer(250, 220, 3, 0.3, true);
    Layer bubble = MakeLayer(60, 60, 4, 0, true);
    std::vector<Layer> rings;
    std::vector<Placement> draws;

    Scene() {
        for (int32_t i = 0; i < 70; ++i) {
            int32_t size = 9 + i * 47 / 69;
            rings.push_back(MakeLayer(size, size, 100 + uint32_t(i), 0.6, true));
        }
        draws.push_back({&background, 0, 0});
        for (int32_t i = 0; i < 42; ++i) {
            draws.push_back({&tile, (i % 7) * 110 + 15, (i / 7) * 100});
        }
        draws.push_back({&loop, 275, 190});
        for (int32_t i = 0; i < 40; ++i) {
            draws.push_back({&bubble, (i % 10) * 78 + 10, (i / 10) * 140 + 30});
        }
        for (int32_t i = 0; i < 70; ++i) {
            const Layer& ring = rings[size_t(i)];
            draws.push_back({&ring, int32_t(Hash(uint32_t(i) * 2) % uint32_t(kFrameWidth - ring.width)),
                             int32_t(Hash(uint32_t(i) * 2 + 1) % uint32_t(kFrameHeight - ring.height))});
        }
    }
    ~Scene() {
        for (Layer* layer : {&background, &tile, &loop, &bubble}) {
            Release(*layer);
        }
        for (Layer& ring : rings) {
            Release(ring);
        }
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    static void Release(Layer& layer) {
        pixman_image_unref(layer.image);
        if (layer.mask != nullptr) {
            pixman_image_unref(layer.mask);
        }
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

std::vector<uint32_t> NewFrame() {
    return std::vector<uint32_t>(size_t(kFrameWidth) * size_t(kFrameHeight), 0);
}

void ComposeOurs(const Scene& scene, uint32_t* frame) {
    ZTransferMode plain;
    ZTransferMode alpha;
    alpha.flags = ZTransferMode::kUseAlphaChannel;
    for (const Placement& draw : scene.draws) {
        const Layer& layer = *draw.layer;
        const ZTransferMode& mode = layer.hasAlpha ? alpha : plain;
        // Resolved once per layer, as a draw does.
        ZCompositor routine = SelectCompositor(mode, 32, kFormatBGRX32, false);
        ZCompositeCall call;
        call.source = reinterpret_cast<const uint8_t*>(layer.pixels.data());
        call.sourceStride = layer.width * 4;
        call.target = reinterpret_cast<uint8_t*>(frame + draw.y * kFrameWidth + draw.x);
        call.targetStride = kFrameWidth * 4;
        call.sourceAlpha = layer.hasAlpha ? layer.alpha.data() : nullptr;
        call.sourceAlphaStride = layer.alphaStride;
        call.width = layer.width;
        call.height = layer.height;
        call.bytesPerPixel = 4;
        call.depth = 32;
        call.format = kFormatBGRX32;
        call.mode = &mode;
        routine(call);
    }
}

void ComposePixman(const Scene& scene, pixman_image_t* frame) {
    for (const Placement& draw : scene.draws) {
        const Layer& layer = *draw.layer;
        pixman_image_composite32(layer.hasAlpha ? PIXMAN_OP_OVER : PIXMAN_OP_SRC, layer.image, layer.mask,
                                 frame, 0, 0, 0, 0, draw.x, draw.y, layer.width, layer.height);
    }
}

void BM_SceneOurs(benchmark::State& state) {
    const Scene& scene = TheScene();
    std::vector<uint32_t> frame = NewFrame();
    for (auto _ : state) {
        ComposeOurs(scene, frame.data());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}

void BM_ScenePixman(benchmark::State& state) {
    const Scene& scene = TheScene();
    std::vector<uint32_t> frame = NewFrame();
    pixman_image_t* target =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, kFrameWidth, kFrameHeight, frame.data(), kFrameWidth * 4);
    for (auto _ : state) {
        ComposePixman(scene, target);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    pixman_image_unref(target);
}

void BM_FrameMemcpy(benchmark::State& state) {
    const Scene& scene = TheScene();
    std::vector<uint32_t> frame = NewFrame();
    for (auto _ : state) {
        std::memcpy(frame.data(), scene.background.pixels.data(), frame.size() * 4);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_SceneOurs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScenePixman)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameMemcpy)->Unit(benchmark::kMicrosecond);

// Keeps each run's time per iteration (in the run's unit) for the summary line.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double TimeOf(const std::string& name) const {
        auto it = times_.find(name);
        return it != times_.end() ? it->second : 0.0;
    }

  private:
    std::map<std::string, double> times_;
};

// How far the two frames are apart: the blends round differently (6-bit weights against 8-bit ones).
int32_t LargestDifference(const Scene& scene) {
    std::vector<uint32_t> ours = NewFrame();
    std::vector<uint32_t> theirs = NewFrame();
    ComposeOurs(scene, ours.data());
    pixman_image_t* target =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, kFrameWidth, kFrameHeight, theirs.data(), kFrameWidth * 4);
    ComposePixman(scene, target);
    pixman_image_unref(target);
    int32_t largest = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        for (int32_t lane = 0; lane < 3; ++lane) {
            int32_t a = int32_t((ours[i] >> (8 * lane)) & 0xFF);
            int32_t b = int32_t((theirs[i] >> (8 * lane)) & 0xFF);
            largest = std::max(largest, std::abs(a - b));
        }
    }
    return largest;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double ours = reporter.TimeOf("BM_SceneOurs");
    double pixman = reporter.TimeOf("BM_ScenePixman");
    double copy = reporter.TimeOf("BM_FrameMemcpy");
    if (ours > 0 && pixman > 0 && copy > 0) {
        std::printf(
            "scene frame: ours %.1f us, pixman %.1f us, memcpy %.1f us; ours/pixman %.2f, ours/memcpy %.2f; "
            "largest difference from pixman %d\n",
            ours, pixman, copy, ours / pixman, ours / copy, LargestDifference(TheScene()));
    }
    return 0;
}
