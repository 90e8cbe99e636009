// Each kernel over one frame: the colour-vision steps and the frame kernels at
// the source squares of zoom 2 on 409, 768 and 1536 displays (204², 384²,
// 768²), the smoothing at those display sizes. "ms" is the time per frame,
// "per_px" the time per pixel the kernel touches (source or display pixels).
#include "lens/PlaneCopy.h"
#include "lens/SevereCorrection.h"
#include "lens/SmoothEnlarge.h"
#include "lens/SmoothEnlargeFast.h"
#include "lens/SquintRotation.h"
#include "vision/ColourVision.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

using platform::Bitmap24;

namespace {

// A screen-like picture: broad gradients crossed by blocks of flat colour and
// a little noise, so that every branch of the colour kernels is taken.
Bitmap24 samplePicture(int side) {
    Bitmap24 b(side, side);
    std::uint32_t seed = 12345;
    for (int y = 0; y < side; ++y) {
        std::uint8_t* row = b.scanLine(y);
        for (int x = 0; x < side; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28);
            const bool block = ((x / 24) + (y / 16)) % 3 == 0;
            row[3 * x] = static_cast<std::uint8_t>(block ? 40 : (x * 255 / side + noise) & 255);
            row[3 * x + 1] = static_cast<std::uint8_t>(block ? 200 : (y * 255 / side + noise) & 255);
            row[3 * x + 2] = static_cast<std::uint8_t>(block ? 220 : ((x + y) * 127 / side) & 255);
        }
    }
    return b;
}

void perFrame(benchmark::State& state, std::int64_t pixels) {
    state.counters["per_px"] =
        benchmark::Counter(static_cast<double>(pixels),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

struct SavedPlanes {
    std::vector<float> intensity, saturation, hue;
    SavedPlanes() : intensity(IntensityPlane), saturation(SaturationPlane), hue(HuePlane) {}
    void restore() const {
        IntensityPlane = intensity;
        SaturationPlane = saturation;
        HuePlane = hue;
    }
};

void BM_ConvertToHsi(benchmark::State& state) {
    const Bitmap24 picture = samplePicture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ConvertToHsi(picture);
        benchmark::DoNotOptimize(IntensityPlane.data());
    }
    perFrame(state, state.range(0) * state.range(0));
}

void BM_ConvertFromHsi(benchmark::State& state) {
    const Bitmap24 picture = samplePicture(static_cast<int>(state.range(0)));
    ConvertToHsi(picture);
    for (auto _ : state) {
        ConvertFromHsi(picture);
        benchmark::DoNotOptimize(HsiResultBitmap->scanLine(0));
    }
    perFrame(state, state.range(0) * state.range(0));
}

// A transform of the planes, each frame starting from the same planes.
template <typename Transform> void planeTransform(benchmark::State& state, Transform transform) {
    const Bitmap24 picture = samplePicture(static_cast<int>(state.range(0)));
    BuildLensHueCurve();
    ConvertToHsi(picture);
    const SavedPlanes saved;
    for (auto _ : state) {
        state.PauseTiming();
        saved.restore();
        state.ResumeTiming();
        transform();
        benchmark::DoNotOptimize(HuePlane.data());
    }
    perFrame(state, state.range(0) * state.range(0));
}

void BM_SimulateRedGreen(benchmark::State& state) {
    planeTransform(state, [] { SimulateRedGreen(); });
}
void BM_CorrectHues(benchmark::State& state) {
    planeTransform(state, [] { CorrectHues(HueCurve); });
}
void BM_SeparateRedLightness(benchmark::State& state) {
    planeTransform(state, [] { SeparateRedLightness(); });
}
void BM_BoostSaturation(benchmark::State& state) {
    planeTransform(state, [] { BoostSaturation(); });
}

void BM_SevereCorrect(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const Bitmap24 picture = samplePicture(side);
    Bitmap24 work;
    int r = 0, g = 0, b = 0;
    for (auto _ : state) {
        state.PauseTiming();
        work.assign(picture);
        state.ResumeTiming();
        SevereCorrect(work, side, side, r, g, b);
        benchmark::DoNotOptimize(work.scanLine(0));
    }
    perFrame(state, state.range(0) * state.range(0));
}

void BM_CopyToPlanes(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const Bitmap24 picture = samplePicture(side);
    std::vector<std::uint8_t> red(side * side), green(side * side), blue(side * side);
    for (auto _ : state) {
        CopyToPlanes(picture, side, red.data(), green.data(), blue.data());
        benchmark::DoNotOptimize(red.data());
    }
    perFrame(state, state.range(0) * state.range(0));
}

void BM_RotateSquint(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    Bitmap24 picture = samplePicture(side);
    std::vector<std::uint8_t> red(side * side), green(side * side), blue(side * side);
    CopyToPlanes(picture, side, red.data(), green.data(), blue.data());
    const SquintValues s = ComputeSquint(20, 6.283185f, 2 * side, 2 * side, 2);
    float rx, ry;
    int pr, pg, pb;
    for (auto _ : state) {
        RotateSquint(picture, side, side, red.data(), green.data(), blue.data(), s.SquintAngle,
                     s.SquintCentreX, s.SquintCentreY, rx, ry, pr, pg, pb);
        benchmark::DoNotOptimize(picture.scanLine(0));
    }
    perFrame(state, state.range(0) * state.range(0));
}

// Argument: the display side; the source is its half, as at zoom 2.
void BM_SmoothEnlarge(benchmark::State& state) {
    const int display = static_cast<int>(state.range(0));
    const Bitmap24 capture = samplePicture(display / 2);
    Bitmap24 smooth(display, display);
    for (auto _ : state) {
        SmoothEnlargeInto(capture, 2, display, display, smooth);
        benchmark::DoNotOptimize(smooth.scanLine(0));
    }
    perFrame(state, state.range(0) * state.range(0));
}

// The frame's own smoothing at zoom 2: the smooth bitmap and the 32-bit lens
// picture in one pass, on one thread.
void BM_SmoothEnlargeAndPaint(benchmark::State& state) {
    const int display = static_cast<int>(state.range(0));
    const Bitmap24 capture = samplePicture(display / 2);
    Bitmap24 smooth(display, display);
    QImage lens(display, display, QImage::Format_RGB32);
    SmoothEnlarger enlarger;
    for (auto _ : state) {
        enlarger.enlargeAndPaint(capture, 2, display, display, smooth, lens);
        benchmark::DoNotOptimize(lens.bits());
    }
    perFrame(state, state.range(0) * state.range(0));
}

#define SOURCE_SIZES Arg(204)->Arg(384)->Arg(768)->Unit(benchmark::kMillisecond)->MinTime(0.2)
BENCHMARK(BM_ConvertToHsi)->SOURCE_SIZES;
BENCHMARK(BM_ConvertFromHsi)->SOURCE_SIZES;
BENCHMARK(BM_SimulateRedGreen)->SOURCE_SIZES;
BENCHMARK(BM_CorrectHues)->SOURCE_SIZES;
BENCHMARK(BM_SeparateRedLightness)->SOURCE_SIZES;
BENCHMARK(BM_BoostSaturation)->SOURCE_SIZES;
BENCHMARK(BM_SevereCorrect)->SOURCE_SIZES;
BENCHMARK(BM_CopyToPlanes)->SOURCE_SIZES;
BENCHMARK(BM_RotateSquint)->SOURCE_SIZES;
BENCHMARK(BM_SmoothEnlargeAndPaint)->Arg(768)->Arg(1536)->Unit(benchmark::kMicrosecond)->MinTime(0.2);
BENCHMARK(BM_SmoothEnlarge)->Arg(409)->Arg(768)->Arg(1536)->Unit(benchmark::kMillisecond)->MinTime(0.2);

} // namespace

BENCHMARK_MAIN();
