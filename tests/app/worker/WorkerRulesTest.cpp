// The rules a run decides by: when a portion is in, when the run pauses by
// itself, when a point has settled.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "app/VolumetraThread.h"

namespace {

TEST(PortionRule, InWithinTheMarginOrPastTheTargetButNotExactlyAtIt)
{
    // 400 l in 20 points at 200 pulses per litre: 20 l per point, 4000 pulses
    // per portion, a margin of 24 pulses.
    const float litresPerPoint = app::LitresPerPoint(400, 20);
    ASSERT_EQ(litresPerPoint, 20.0f);
    const double margin = app::MarginPulses(litresPerPoint, 200);
    EXPECT_DOUBLE_EQ(margin, 24.0);
    EXPECT_EQ(app::TargetPulses(0, litresPerPoint, 200), 4000.0);
    EXPECT_EQ(app::TargetPulses(19, litresPerPoint, 200), 80000.0);

    static constexpr struct {
        int point;
        std::int32_t pulses;
        bool in;
    } kCases[] = {
        {0, 0, false},    {0, 3976, false},  // T - M itself is not inside
        {0, 3977, true},                     // inside the margin: in early
        {0, 3999, true},  {0, 4000, false},  // exactly the target: not yet
        {0, 4001, true},                     // past it
        {0, 80000, true}, {1, 4001, false},  // the second portion's target is 8000
        {1, 7977, true},  {1, 8000, false}, {0, -5, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "point " << c.point << ", pulses " << c.pulses);
        EXPECT_EQ(app::PortionIsIn(c.pulses, app::TargetPulses(c.point, litresPerPoint, 200), margin), c.in);
    }
}

TEST(PortionRule, FractionalPulseRatesDecideOnTheExactTarget)
{
    // 12.5 pulses per litre and 20 l per point: exactly 250 pulses, margin 1.5.
    // 30 l in 4 points: 7.5 l per point, 93.75 pulses, never an integer count.
    static constexpr struct {
        int capacity, points;
        float pulsesPerLitre;
        std::int32_t pulses;
        bool in;
    } kCases[] = {
        {400, 20, 12.5f, 248, false}, {400, 20, 12.5f, 249, true}, {400, 20, 12.5f, 250, false},
        {400, 20, 12.5f, 251, true},  {30, 4, 12.5f, 93, false},  // short of 93.75 - 0.5625
        {30, 4, 12.5f, 94, true},     {30, 4, 12.5f, 92, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.capacity << "/" << c.points << " at " << c.pulsesPerLitre << ": "
                                        << c.pulses);
        const float perPoint = app::LitresPerPoint(c.capacity, c.points);
        EXPECT_EQ(app::PortionIsIn(c.pulses, app::TargetPulses(0, perPoint, c.pulsesPerLitre),
                                   app::MarginPulses(perPoint, c.pulsesPerLitre)),
                  c.in);
    }
}

TEST(PortionRule, PulsesAreCountedAcrossAWrapOfTheCounter)
{
    EXPECT_EQ(app::PulsesSince(1000, 5000), 4000);
    EXPECT_EQ(app::PulsesSince(INT_MAX - 5, INT_MIN + 4), 10);
    EXPECT_EQ(app::PulsesSince(-10, 3), 13);
}

TEST(AutomaticPause, PointsBeforePause)
{
    // 20 l per point; the run counts down only when both values are given.
    static constexpr struct {
        const char* name;
        int tankSize, residual;
        int points;
    } kCases[] = {
        {"tank 100, residual 10: 90 / 20 + 1 = 5.5", 100, 10, 5},
        {"nothing given", -1, -1, 1},
        {"residual 5 without a tank: (-6) / 20 + 1 = 0.7", -1, 5, 0},
        {"tank without a residual", 100, -1, 6},
        {"tank 50, residual 49", 50, 49, 1},
        {"tank 30, residual 10: exactly 2", 30, 10, 2},
        {"tank 10, residual 50 (refused by the window)", 10, 50, -1},  // -1 toward zero
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(app::PointsBeforePause(c.tankSize, c.residual, 20.0f), c.points);
    }
}

TEST(SettlingWindow, FiveValuesWithinTheDeviation)
{
    static const struct {
        const char* name;
        float deviation;
        std::vector<int> reads;
        int stableAt;  // 1-based read after which the window is first stable; 0: never
    } kCases[] = {
        {"first point: four initial zeros count as 1", 0.5f, {1000, 1000, 1000, 1000, 1000}, 5},
        {"a sensor that reads 0", 0.0f, {0}, 1},
        {"a sensor that reads 1 among the zeros", 0.0f, {1}, 1},
        {"deviation 0 needs five equal values", 0.0f, {1000, 1000, 1000, 1000, 1001, 1001, 1001, 1001, 1001}, 9},
        {"0.1 % of 1000 is one unit", 0.1f, {1000, 999, 1000, 999, 1000}, 5},
        {"two units are too many", 0.1f, {1000, 998, 1000, 998, 1000, 1000, 1000, 1000, 1000}, 9},
        {"a drift that slows down", 1.0f, {500, 800, 900, 950, 970, 980, 985, 988, 990}, 0},
        {"the drift comes to rest", 1.0f, {900, 950, 970, 980, 985, 988, 990, 991, 991}, 9},
        {"negative readings never settle against a positive one", 50.0f, {-5, 5, 5, 5, 5, 5}, 6},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        app::TSettlingWindow window;
        int stableAt = 0;
        for (std::size_t i = 0; i < c.reads.size() && stableAt == 0; ++i) {
            window.Add(c.reads[i]);
            if (window.IsStable(c.deviation)) stableAt = static_cast<int>(i + 1);
        }
        EXPECT_EQ(stableAt, c.stableAt);
    }
}

TEST(SettlingWindow, CarriesOverBetweenPoints)
{
    app::TSettlingWindow window;
    for (int i = 0; i < 5; ++i) window.Add(1000);
    ASSERT_TRUE(window.IsStable(0.5f));
    // The next point reads 1200: the old values count until they are pushed out.
    for (int i = 1; i <= 4; ++i) {
        window.Add(1200);
        EXPECT_FALSE(window.IsStable(0.5f)) << "after " << i << " new reads";
    }
    window.Add(1200);
    EXPECT_TRUE(window.IsStable(0.5f));
    // A later point close to the last: stable at its first read.
    window.Add(1201);
    EXPECT_TRUE(window.IsStable(0.5f));
}

TEST(VolumetraParams, RefusesWhatWouldDivideByZeroOrFillBackwards)
{
    static constexpr struct {
        int capacity, points;
        float pulsesPerLitre;
        bool usable;
    } kCases[] = {
        {400, 20, 200, true},   {400, 0, 200, false}, {400, -3, 200, false},  {0, 20, 200, false},
        {-400, 20, 200, false}, {400, 20, 0, false},  {400, 20, -200, false}, {1, 1, 0.001f, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.capacity << " l, " << c.points << " points, " << c.pulsesPerLitre);
        app::TVolumetraParams p;
        p.FTankCapacity = c.capacity;
        p.FPointCount = c.points;
        p.FPulsesPerLitre = c.pulsesPerLitre;
        EXPECT_EQ(app::VolumetraParamsUsable(p), c.usable);
    }
}

}  // namespace
