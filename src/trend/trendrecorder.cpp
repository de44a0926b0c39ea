#include "trend/trendrecorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veruziva {

namespace {

// Products of times and counts need more than 64 bits: times may be any 64-bit value.
__extension__ typedef __int128 Wide;

// The last time of the slot of `width` that holds ms (slots start on whole multiples of it),
// or the latest time there is.
std::int64_t SlotLast(std::int64_t ms, std::int64_t width) {
    const std::int64_t remainder = ms % width;
    const std::int64_t toLast = width - 1 - (remainder < 0 ? remainder + width : remainder);
    return ms > std::numeric_limits<std::int64_t>::max() - toLast
               ? std::numeric_limits<std::int64_t>::max()
               : ms + toLast;
}

// ms - span, or the earliest time where that would be before it.
std::int64_t Before(std::int64_t ms, std::int64_t span) {
    return ms < std::numeric_limits<std::int64_t>::min() + span
               ? std::numeric_limits<std::int64_t>::min()
               : ms - span;
}

// Sums a column's readings before the mean is taken.
struct ColumnSum {
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    double sum = 0;
    std::int64_t count = 0;
    std::int64_t overloads = 0;
    std::int64_t levelMoved = 0;

    void add(double low, double high, double total, std::int64_t n) {
        minimum = std::min(minimum, low);
        maximum = std::max(maximum, high);
        sum += total;
        count += n;
    }
    TrendExtent extent() const {
        TrendExtent result;
        if (count > 0) {
            result = {minimum, maximum, sum / static_cast<double>(count), count};
        }
        result.overloads = overloads;
        result.levelMoved = levelMoved;
        return result;
    }
};

// Maps times in [t0, t1] to columns 0 .. count - 1; t1 itself is in the last one.
class ColumnMap {
public:
    ColumnMap(std::int64_t t0, std::int64_t t1, int count) : m_t0(t0), m_t1(t1), m_count(count) {}
    std::size_t column(std::int64_t ms) const {
        const Wide offset = Wide{std::clamp(ms, m_t0, m_t1)} - m_t0;
        const Wide column = offset * m_count / (Wide{m_t1} - m_t0);
        return static_cast<std::size_t>(std::min<Wide>(column, m_count - 1));
    }

private:
    std::int64_t m_t0;
    std::int64_t m_t1;
    std::int64_t m_count;
};

void AddUnit(std::string& units, char unit) {
    if (units.find(unit) == std::string::npos) {
        units += unit;
    }
}

}  // namespace

TrendRecorder::TrendRecorder() : m_points(PointCapacity) {
    for (std::size_t i = 0; i < BucketWidthsMs.size(); ++i) {
        m_levels.push_back({FixedRing<Bucket>(BucketCapacities[i]), BucketWidthsMs[i]});
    }
}

std::size_t TrendRecorder::budgetBytes() {
    std::size_t bytes = FixedRing<Point>::bytesFor(PointCapacity);
    for (const std::size_t capacity : BucketCapacities) {
        bytes += FixedRing<Bucket>::bytesFor(capacity);
    }
    // A marker, its text's header and its characters.
    const std::size_t marker = sizeof(TrendMarker) + 32 +
                               sizeof(char16_t) * static_cast<std::size_t>(MarkerTextLength + 1);
    return bytes + MarkerCapacity * marker;
}

void TrendRecorder::add(const TrendSample& sample) {
    ++m_revision;
    const std::int64_t ms = m_points.empty()
                                ? sample.msSinceEpoch
                                : std::max(sample.msSinceEpoch, m_points.back().msSinceEpoch);
    m_latestValues = sample.values;
    const std::array<double, 2>& overload = sample.values[TrendOverload];
    const Point point{ms,
                      sample.values[TrendMean],
                      {sample.unitA, sample.unitB},
                      {overload[0] != 0, overload[1] != 0},
                      {sample.levelMovedA, sample.levelMovedB}};
    m_pointsDropped = m_points.push(point) || m_pointsDropped;
    for (Level& level : m_levels) {
        addToLevel(level, point);
    }
    addToStatistics(sample);
    dropOlderThan(Before(ms, HistoryMs));
}

void TrendRecorder::addToStatistics(const TrendSample& sample) {
    const std::array<char, 2> units{sample.unitA, sample.unitB};
    const std::array<bool, 2> moved{sample.levelMovedA, sample.levelMovedB};
    for (std::size_t c = 0; c < 2; ++c) {
        Accumulator& statistics = m_statistics[c];
        if (statistics.count + statistics.levelMoved > 0 && statistics.unit != units[c]) {
            statistics = {};
        }
        statistics.unit = units[c];
        ++(moved[c] ? statistics.levelMoved : statistics.count);
        for (std::size_t k = 0; k < TrendReadingCount; ++k) {
            // A reading at a moved level is wrong by an unknown factor: counted, not used. A
            // count (clipping) holds at any level.
            if (moved[c] && Readings[TrendReadings[k]].unit == UnitRule::Scaled) {
                continue;
            }
            ReadingSums& sums = statistics.readings[k];
            const double value = sample.values[k][c];
            sums.minimum = std::min(sums.minimum, value);
            sums.maximum = std::max(sums.maximum, value);
            sums.sum += value;
            sums.sumOfSquares += value * value;
            ++sums.count;
        }
    }
}

void TrendRecorder::addToLevel(Level& level, const Point& point) {
    // A change of unit or of the input level's state starts a bucket of its own: a mean over
    // volts and raw numbers, or over valid and invalid readings, means nothing.
    // Times never go back, so the newest bucket's slot holds the point while its time is not
    // past the slot's end. (Element by element: comparing the arrays whole calls memcmp.)
    const Bucket* last = level.buckets.empty() ? nullptr : &level.buckets.back();
    const bool fits = last != nullptr && point.msSinceEpoch <= level.slotLastMs &&
                      last->unit[0] == point.unit[0] && last->unit[1] == point.unit[1] &&
                      last->levelMoved[0] == point.levelMoved[0] &&
                      last->levelMoved[1] == point.levelMoved[1];
    if (!fits) {
        level.slotLastMs = SlotLast(point.msSinceEpoch, level.widthMs);
        Bucket bucket;
        bucket.firstMs = point.msSinceEpoch;
        bucket.unit = point.unit;
        bucket.levelMoved = point.levelMoved;
        for (std::size_t c = 0; c < 2; ++c) {
            bucket.channel[c].minimum = point.reading[c];
            bucket.channel[c].maximum = point.reading[c];
        }
        level.dropped = level.buckets.push(bucket) || level.dropped;
    }
    Bucket& bucket = level.buckets.back();
    bucket.lastMs = point.msSinceEpoch;
    ++bucket.count;
    for (std::size_t c = 0; c < 2; ++c) {
        Bucket::Channel& channel = bucket.channel[c];
        const double value = point.reading[c];
        channel.minimum = std::min(channel.minimum, value);
        channel.maximum = std::max(channel.maximum, value);
        channel.sum += value;
        channel.overloads += point.overload[c] ? 1 : 0;
    }
}

void TrendRecorder::dropOlderThan(std::int64_t ms) {
    while (!m_points.empty() && m_points.front().msSinceEpoch < ms) {
        m_points.popFront();
        m_pointsDropped = true;
    }
    for (Level& level : m_levels) {
        while (!level.buckets.empty() && level.buckets.front().lastMs < ms) {
            level.buckets.popFront();
            level.dropped = true;
        }
    }
    while (!m_markers.empty() && m_markers.front().msSinceEpoch < ms) {
        m_markers.pop_front();
    }
}

void TrendRecorder::mark(std::int64_t msSinceEpoch, QString text) {
    ++m_revision;
    text.truncate(MarkerTextLength);
    text.squeeze();
    // Kept in time order, whatever order they come in.
    const auto at = std::upper_bound(
        m_markers.begin(), m_markers.end(), msSinceEpoch,
        [](std::int64_t ms, const TrendMarker& marker) { return ms < marker.msSinceEpoch; });
    m_markers.insert(at, TrendMarker{msSinceEpoch, std::move(text)});
    if (m_markers.size() > MarkerCapacity) {
        m_markers.pop_front();
    }
}

void TrendRecorder::reset() {
    ++m_revision;
    m_points.clear();
    m_pointsDropped = false;
    for (Level& level : m_levels) {
        level.buckets.clear();
        level.dropped = false;
    }
    m_markers.clear();
    m_statistics = {};
}

TrendStatistics TrendRecorder::statistics(TrendChannel channel) const {
    const Accumulator& a = m_statistics[static_cast<std::size_t>(channel)];
    TrendStatistics result;
    if (a.count > 0) {
        const TrendReadingStatistics reading = statistics(channel, IndexOfMean);
        result = {reading.minimum, reading.maximum, reading.average, reading.rms};
        result.signalRms = statistics(channel, IndexOfRms).rms;
    }
    result.overloads = static_cast<std::int64_t>(statistics(channel, IndexOfOverload).sum);
    result.count = a.count;
    result.unit = a.unit;
    result.levelMoved = a.levelMoved;
    return result;
}

TrendReadingStatistics TrendRecorder::statistics(TrendChannel channel, std::size_t reading) const {
    const std::size_t slot = TrendSlot(reading);
    TrendReadingStatistics result;
    if (slot == TrendReadingCount) {
        return result;
    }
    const ReadingSums& sums = m_statistics[static_cast<std::size_t>(channel)].readings[slot];
    if (sums.count > 0) {
        const auto n = static_cast<double>(sums.count);
        result = {sums.minimum, sums.maximum, sums.sum / n, std::sqrt(sums.sumOfSquares / n)};
    }
    result.sum = sums.sum;
    result.count = sums.count;
    return result;
}

std::optional<TrendSample> TrendRecorder::latest() const {
    if (m_points.empty()) {
        return std::nullopt;
    }
    const Point& p = m_points.back();
    TrendSample sample;
    sample.msSinceEpoch = p.msSinceEpoch;
    sample.unitA = p.unit[0];
    sample.unitB = p.unit[1];
    sample.values = m_latestValues;
    sample.levelMovedA = p.levelMoved[0];
    sample.levelMovedB = p.levelMoved[1];
    return sample;
}

std::optional<std::int64_t> TrendRecorder::firstMs() const {
    const Level& longest = m_levels.back();
    if (longest.buckets.empty()) {
        return std::nullopt;
    }
    return longest.buckets.front().firstMs;
}

std::size_t TrendRecorder::levelFor(std::int64_t t0) const {
    // A level holds a range when it has lost nothing since the reset, or nothing after t0.
    if (!m_pointsDropped || (!m_points.empty() && m_points.front().msSinceEpoch <= t0)) {
        return 0;
    }
    for (std::size_t i = 0; i + 1 < m_levels.size(); ++i) {
        const Level& level = m_levels[i];
        if (!level.dropped || (!level.buckets.empty() && level.buckets.front().firstMs <= t0)) {
            return i + 1;
        }
    }
    return m_levels.size();
}

TrendRecorder::Span TrendRecorder::pointsIn(std::int64_t t0, std::int64_t t1) const {
    const auto before = [](const Point& p, std::int64_t ms) { return p.msSinceEpoch < ms; };
    const auto notAfter = [](const Point& p, std::int64_t ms) { return p.msSinceEpoch <= ms; };
    return {m_points.lowerBound(t0, before), m_points.lowerBound(t1, notAfter)};
}

TrendRecorder::Span TrendRecorder::bucketsIn(const Level& level, std::int64_t t0, std::int64_t t1) {
    // Every bucket that reaches into [t0, t1].
    const auto before = [](const Bucket& b, std::int64_t ms) { return b.lastMs < ms; };
    const auto notAfter = [](const Bucket& b, std::int64_t ms) { return b.firstMs <= ms; };
    return {level.buckets.lowerBound(t0, before), level.buckets.lowerBound(t1, notAfter)};
}

std::array<char, 2> TrendRecorder::unitsIn(std::size_t level, std::int64_t t0,
                                           std::int64_t t1) const {
    if (level == 0) {
        const Span span = pointsIn(t0, t1);
        if (span.last > span.first) {
            return m_points[span.last - 1].unit;
        }
    } else {
        const Level& held = m_levels[level - 1];
        const Span span = bucketsIn(held, t0, t1);
        if (span.last > span.first) {
            return held.buckets[span.last - 1].unit;
        }
    }
    return m_points.empty() ? std::array<char, 2>{' ', ' '} : m_points.back().unit;
}

std::array<char, 2> TrendRecorder::unitsIn(std::int64_t t0, std::int64_t t1) const {
    return unitsIn(levelFor(t0), t0, t1);
}

TrendColumns TrendRecorder::columns(std::int64_t t0, std::int64_t t1, int count) const {
    TrendColumns result;
    if (count <= 0) {
        return result;
    }
    const std::size_t level = levelFor(t0);
    result.units = unitsIn(level, t0, t1);
    std::vector<std::array<ColumnSum, 2>> sums(static_cast<std::size_t>(count));
    // Only valid readings in the columns' unit make the extent; clipping and a moved level are
    // marked whatever the unit.
    const auto add = [&](ColumnSum& sum, std::size_t c, char unit, bool moved, double low,
                         double high, double total, std::int64_t n, std::int64_t clipped) {
        sum.overloads += clipped;
        if (moved) {
            sum.levelMoved += n;
        } else if (unit != result.units[c]) {
            AddUnit(result.otherUnits[c], unit);
        } else {
            sum.add(low, high, total, n);
        }
    };
    if (t1 > t0) {
        const ColumnMap map(t0, t1, count);
        if (level == 0) {
            const Span span = pointsIn(t0, t1);
            for (std::size_t i = span.first; i < span.last; ++i) {
                const Point& p = m_points[i];
                auto& column = sums[map.column(p.msSinceEpoch)];
                for (std::size_t c = 0; c < 2; ++c) {
                    const double v = p.reading[c];
                    add(column[c], c, p.unit[c], p.levelMoved[c], v, v, v, 1,
                        p.overload[c] ? 1 : 0);
                }
            }
        } else {
            const Level& held = m_levels[level - 1];
            result.resolutionMs = held.widthMs;
            const Span span = bucketsIn(held, t0, t1);
            for (std::size_t i = span.first; i < span.last; ++i) {
                const Bucket& b = held.buckets[i];
                // A bucket wider than a column fills every column it spans.
                for (std::size_t x = map.column(b.firstMs); x <= map.column(b.lastMs); ++x) {
                    for (std::size_t c = 0; c < 2; ++c) {
                        const Bucket::Channel& channel = b.channel[c];
                        add(sums[x][c], c, b.unit[c], b.levelMoved[c], channel.minimum,
                            channel.maximum, channel.sum, b.count, channel.overloads);
                    }
                }
            }
        }
    }
    result.columns.reserve(sums.size());
    for (const auto& column : sums) {
        result.columns.push_back({column[0].extent(), column[1].extent()});
    }
    return result;
}

std::vector<TrendMarker> TrendRecorder::markers(std::int64_t t0, std::int64_t t1) const {
    std::vector<TrendMarker> result;
    for (const TrendMarker& marker : m_markers) {
        if (marker.msSinceEpoch >= t0 && marker.msSinceEpoch <= t1) {
            result.push_back(marker);
        }
    }
    return result;
}

TrendRows TrendRecorder::rows(std::int64_t t0, std::int64_t t1) const {
    TrendRows result;
    const std::size_t level = levelFor(t0);
    if (level == 0) {
        const Span span = pointsIn(t0, t1);
        for (std::size_t i = span.first; i < span.last; ++i) {
            const Point& p = m_points[i];
            result.rows.push_back({p.msSinceEpoch, p.reading[0], p.reading[1], p.unit[0], p.unit[1],
                                   p.levelMoved[0], p.levelMoved[1]});
        }
        return result;
    }
    const Level& held = m_levels[level - 1];
    result.resolutionMs = held.widthMs;
    // A bucket's row is at its first reading's time.
    const auto before = [](const Bucket& b, std::int64_t ms) { return b.firstMs < ms; };
    for (std::size_t i = held.buckets.lowerBound(t0, before);
         i < held.buckets.size() && held.buckets[i].firstMs <= t1; ++i) {
        const Bucket& b = held.buckets[i];
        const auto n = static_cast<double>(b.count);
        result.rows.push_back({b.firstMs, b.channel[0].sum / n, b.channel[1].sum / n, b.unit[0],
                               b.unit[1], b.levelMoved[0], b.levelMoved[1]});
    }
    return result;
}

}  // namespace veruziva
