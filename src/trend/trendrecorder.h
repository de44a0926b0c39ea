#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "trend/fixedring.h"
#include "trend/trendsample.h"

namespace veruziva {

// A channel's readings since the last reset (or since its unit last changed).
struct TrendStatistics {
    double minimum = 0;
    double maximum = 0;
    double average = 0;
    double rms = 0;              // sqrt of the mean of the squares
    std::int64_t overloads = 0;  // blocks that clipped
    std::int64_t count = 0;
    char unit = ' ';
    // The signal's true RMS of its AC part over these blocks: sqrt of the mean of the blocks'
    // squared RMS.
    double signalRms = 0;
    // Blocks read while the input level was moved: in none of the figures above but overloads.
    std::int64_t levelMoved = 0;
};

// One reading of the table over a channel's blocks since the last reset (or since its unit last
// changed): its extremes, mean and root mean square, and its sum (a count for a reading that is
// 1 or 0). A reading in the reading's unit leaves out the blocks read at a moved input level.
struct TrendReadingStatistics {
    double minimum = 0;
    double maximum = 0;
    double average = 0;
    double rms = 0;
    double sum = 0;
    std::int64_t count = 0;  // blocks taken; 0 for a reading the trend does not keep
};

// A channel's valid readings in the columns' unit within one column of the chart (count 0:
// none there).
struct TrendExtent {
    double minimum = 0;
    double maximum = 0;
    double mean = 0;
    std::int64_t count = 0;
    std::int64_t overloads = 0;   // blocks that clipped, whatever their unit
    std::int64_t levelMoved = 0;  // blocks read at a moved input level, whatever their unit
    bool empty() const { return count == 0; }
};

struct TrendColumns {
    std::vector<std::array<TrendExtent, 2>> columns;  // per column, channels A and B
    std::int64_t resolutionMs = 0;  // the width of the buckets used; 0: every point
    // Per channel the unit of the readings in the columns: that of its newest reading in the
    // range. Readings in another unit are left out; these name their units (' ' for raw).
    std::array<char, 2> units{' ', ' '};
    std::array<std::string, 2> otherUnits;
};

// A point, or a bucket's mean at the time of its first point.
struct TrendRow {
    std::int64_t msSinceEpoch = 0;
    double a = 0;
    double b = 0;
    char unitA = ' ';
    char unitB = ' ';
    bool levelMovedA = false;  // read at a moved input level (a bucket: all its readings were)
    bool levelMovedB = false;
};

struct TrendRows {
    std::vector<TrendRow> rows;
    std::int64_t resolutionMs = 0;  // as in TrendColumns
};

// The readings of slow changes over up to 24 hours in a fixed amount of memory: every point
// for the last half hour or so, min/max/sum buckets of 1 s for over two hours and of 10 s for 24
// hours. Queries take the finest resolution that holds the whole range asked for. A bucket holds
// readings of one unit and one input-level state per channel: a change starts a new one. Any
// time is taken, from the first 64-bit millisecond to the last, without overflow.
class TrendRecorder {
public:
    static constexpr std::int64_t HistoryMs = 24 * 3600 * 1000;
    // 31.7 minutes at 10.77 blocks per second: the 30-minute span is drawn point by point.
    static constexpr std::size_t PointCapacity = 20480;
    static constexpr std::array<std::int64_t, 2> BucketWidthsMs = {1000, 10000};
    // 2 h 5 min of 1 s buckets: the 2-hour span still finds them all as the newest one grows.
    static constexpr std::array<std::size_t, 2> BucketCapacities = {7500, 24 * 360};
    static constexpr std::size_t MarkerCapacity = 256;
    static constexpr qsizetype MarkerTextLength = 80;

    struct Bucket {
        std::int64_t firstMs = 0;
        std::int64_t lastMs = 0;
        std::int64_t count = 0;
        struct Channel {
            double minimum = 0;
            double maximum = 0;
            double sum = 0;
            std::int64_t overloads = 0;
        };
        std::array<Channel, 2> channel;
        std::array<char, 2> unit{' ', ' '};
        std::array<bool, 2> levelMoved{false, false};
    };

    TrendRecorder();

    // Times that go backwards (the clock was set back) are taken as the last time seen, so
    // that the history stays in order.
    void add(const TrendSample& sample);
    // Texts longer than MarkerTextLength are cut.
    void mark(std::int64_t msSinceEpoch, QString text);
    // Forgets every point, bucket, marker and statistic.
    void reset();

    // A channel's statistics restart when its unit changes: volts and raw numbers do not mix.
    TrendStatistics statistics(TrendChannel channel) const;
    // Kept for the readings the table shows in the trend (none for the others).
    TrendReadingStatistics statistics(TrendChannel channel, std::size_t reading) const;
    bool empty() const { return m_points.empty(); }
    // Changes with every point, marker and reset: a view redraws only when it moved on.
    std::uint64_t revision() const { return m_revision; }
    std::optional<TrendSample> latest() const;
    // The oldest time still held (points older than 24 h fall out).
    std::optional<std::int64_t> firstMs() const;

    // Per column of [t0, t1] split into `count` equal columns, min/max/mean per channel of the
    // valid readings in the unit of unitsIn(t0, t1).
    TrendColumns columns(std::int64_t t0, std::int64_t t1, int count) const;
    // Per channel the unit of the newest reading in [t0, t1]; with none there, the latest's.
    std::array<char, 2> unitsIn(std::int64_t t0, std::int64_t t1) const;
    std::vector<TrendMarker> markers(std::int64_t t0, std::int64_t t1) const;
    // The points in [t0, t1], or the bucket means where points are no longer held.
    TrendRows rows(std::int64_t t0, std::int64_t t1) const;

    // The most memory the history can ever take.
    static std::size_t budgetBytes();

private:
    // A block as the points keep it: what the chart and the export need, in 32 bytes.
    struct Point {
        std::int64_t msSinceEpoch = 0;
        std::array<double, 2> reading{};
        std::array<char, 2> unit{' ', ' '};
        std::array<bool, 2> overload{};
        std::array<bool, 2> levelMoved{};
    };
    struct Level {
        FixedRing<Bucket> buckets;
        std::int64_t widthMs;
        bool dropped = false;
        std::int64_t slotLastMs = 0;  // the last time that the newest bucket's slot holds
    };
    struct ReadingSums {
        double minimum = std::numeric_limits<double>::infinity();  // none yet: any value is less
        double maximum = -std::numeric_limits<double>::infinity();
        double sum = 0;
        double sumOfSquares = 0;
        std::int64_t count = 0;
    };
    struct Accumulator {
        std::array<ReadingSums, TrendReadingCount> readings;  // per TrendReadings
        std::int64_t count = 0;                               // valid readings
        std::int64_t levelMoved = 0;                          // readings at a moved level
        char unit = ' ';
    };
    // The indexes [first, last) of a level's items in [t0, t1].
    struct Span {
        std::size_t first = 0;
        std::size_t last = 0;
    };

    void addToLevel(Level& level, const Point& point);
    void addToStatistics(const TrendSample& sample);
    Span pointsIn(std::int64_t t0, std::int64_t t1) const;
    static Span bucketsIn(const Level& level, std::int64_t t0, std::int64_t t1);
    std::array<char, 2> unitsIn(std::size_t level, std::int64_t t0, std::int64_t t1) const;
    void dropOlderThan(std::int64_t ms);
    // 0: the points; 1 and up: the bucket levels.
    std::size_t levelFor(std::int64_t t0) const;

    FixedRing<Point> m_points;
    // The newest block's readings, most of which its point does not keep.
    std::array<std::array<double, 2>, TrendReadingCount> m_latestValues{};
    bool m_pointsDropped = false;
    std::vector<Level> m_levels;
    std::deque<TrendMarker> m_markers;
    std::array<Accumulator, 2> m_statistics;
    std::uint64_t m_revision = 0;
};

}  // namespace veruziva
