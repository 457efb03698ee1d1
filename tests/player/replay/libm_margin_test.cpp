// The player truncates results of pow and sin, which the C library computes
// and which may differ in the last bit between libraries (glibc, mingw's CRT,
// other CPUs). Every value the player can meet stays many units in the last
// place away from the integers truncation steps at, so a library that is off
// by a few ulps still gives the same bits. Exactly representable values
// (pow(2, 0), sin(0)) are exact in every library and are left out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "player/replay/effects.h"
#include "player/replay/voice_update.h"

using namespace korvanti;

namespace {

// A library error of up to this many ulps cannot change a truncation.
constexpr double REQUIRED_ULPS = 16.0;

// Distance in ulps of x from the nearest point where truncation toward zero
// changes: the integers, and the int32 saturation bounds.
double ulps_from_step(double x) {
    double nearest = std::nearbyint(x);
    double ulp = std::nextafter(std::fabs(x), INFINITY) - std::fabs(x);
    return std::fabs(x - nearest) / ulp;
}

struct Margin {
    double ulps = INFINITY;
    int64_t at = 0;
};

void keep_smaller(Margin* margin, double x, int64_t at) {
    double ulps = ulps_from_step(x);
    if (ulps < margin->ulps) {
        margin->ulps = ulps;
        margin->at = at;
    }
}

TEST(LibmMargin, AmigaPeriodsStayClearOfIntegers) {
    Margin margin;
    for (int64_t k = -200; k <= 200; ++k) {
        double x = amiga_table_period_unrounded(k);
        if (x >= 4294967296.0) continue;  // saturated far beyond int32
        keep_smaller(&margin, x, k);
    }
    EXPECT_GE(margin.ulps, REQUIRED_ULPS) << "table index " << margin.at;
}

TEST(LibmMargin, LinearFrequenciesStayClearOfIntegers) {
    // 2^(n/768) * 8363 passes 2^31 near n = 13800 and drops below 1 near
    // n = -10008; beyond those the truncation saturates or gives 0.
    Margin margin;
    for (int64_t n = -20000; n <= 20000; ++n) {
        if (n == 0) continue;  // 8363 exactly
        double x = linear_frequency_unrounded(n);
        if (x >= 4294967296.0 || x < 1e-3) continue;
        keep_smaller(&margin, x, n);
    }
    EXPECT_GE(margin.ulps, REQUIRED_ULPS) << "period steps " << margin.at;
}

TEST(LibmMargin, SinesStayClearOfIntegers) {
    Margin vibrato;
    for (int32_t p = 1; p < 256; ++p) keep_smaller(&vibrato, auto_vibrato_sine_unrounded(p), p);
    EXPECT_GE(vibrato.ulps, REQUIRED_ULPS) << "auto-vibrato position " << vibrato.at;

    Margin oscillator;
    for (int p = -128; p < 128; ++p) {
        if (p == 0) continue;
        keep_smaller(&oscillator, oscillator_sine_unrounded((int8_t)p), p);
    }
    EXPECT_GE(oscillator.ulps, REQUIRED_ULPS) << "oscillator position " << oscillator.at;
}

}  // namespace
