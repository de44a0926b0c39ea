#include "trend/trendrecorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veruziva {

namespace {

double Reading(const TrendSample& sample, std::size_t channel) {
    return channel == 0 ? sample.a : sample.b;
}

char Unit(const TrendSample& sample, std::size_t channel) {
    return channel == 0 ? sample.unitA : sample.unitB;
}

bool Overload(const TrendSample& sample, std::size_t channel) {
    return channel == 0 ? sample.overloadA : sample.overloadB;
}

std::int64_t SlotOf(std::int64_t ms, std::int64_t width) {
    const std::int64_t slot = ms / width;
    return (ms % width < 0 ? slot - 1 : slot) * width;
}

// Sums a column's readings before the mean is taken.
struct ColumnSum {
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    double sum = 0;
    std::int64_t count = 0;
    std::int64_t overloads = 0;

    void add(double low, double high, double total, std::int64_t n, std::int64_t clipped) {
        minimum = std::min(minimum, low);
        maximum = std::max(maximum, high);
        sum += total;
        count += n;
        overloads += clipped;
    }
    TrendExtent extent() const {
        if (count == 0) {
            return {};
        }
        return {minimum, maximum, sum / static_cast<double>(count), count, overloads};
    }
};

// Maps times in [t0, t1] to columns 0 .. count - 1; t1 itself is in the last one.
class ColumnMap {
public:
    ColumnMap(std::int64_t t0, std::int64_t t1, int count) : m_t0(t0), m_t1(t1), m_count(count) {}
    std::size_t column(std::int64_t ms) const {
        const std::int64_t offset = std::clamp(ms, m_t0, m_t1) - m_t0;
        const std::int64_t column = offset * m_count / (m_t1 - m_t0);
        return static_cast<std::size_t>(std::min<std::int64_t>(column, m_count - 1));
    }

private:
    std::int64_t m_t0;
    std::int64_t m_t1;
    std::int64_t m_count;
};

}  // namespace

TrendRecorder::TrendRecorder() : m_points(PointCapacity) {
    for (std::size_t i = 0; i < BucketWidthsMs.size(); ++i) {
        m_levels.push_back({FixedRing<Bucket>(BucketCapacities[i]), BucketWidthsMs[i]});
    }
}

std::size_t TrendRecorder::budgetBytes() {
    std::size_t bytes = FixedRing<TrendSample>::bytesFor(PointCapacity);
    for (const std::size_t capacity : BucketCapacities) {
        bytes += FixedRing<Bucket>::bytesFor(capacity);
    }
    // A marker, its text's header and its characters.
    const std::size_t marker = sizeof(TrendMarker) + 32 +
                               sizeof(char16_t) * static_cast<std::size_t>(MarkerTextLength + 1);
    return bytes + MarkerCapacity * marker;
}

void TrendRecorder::add(const TrendSample& given) {
    ++m_revision;
    TrendSample sample = given;
    if (!m_points.empty()) {
        sample.msSinceEpoch = std::max(sample.msSinceEpoch, m_points.back().msSinceEpoch);
    }
    m_pointsDropped = m_points.push(sample) || m_pointsDropped;
    for (Level& level : m_levels) {
        addToLevel(level, sample);
    }
    for (std::size_t c = 0; c < 2; ++c) {
        Accumulator& statistics = m_statistics[c];
        const double value = Reading(sample, c);
        if (statistics.count > 0 && statistics.unit != Unit(sample, c)) {
            statistics = {};
        }
        if (statistics.count == 0) {
            statistics.minimum = value;
            statistics.maximum = value;
            statistics.unit = Unit(sample, c);
        }
        statistics.minimum = std::min(statistics.minimum, value);
        statistics.maximum = std::max(statistics.maximum, value);
        statistics.sum += value;
        statistics.sumOfSquares += value * value;
        const double rms = c == 0 ? sample.rmsA : sample.rmsB;
        statistics.sumOfRmsSquares += rms * rms;
        statistics.overloads += Overload(sample, c) ? 1 : 0;
        ++statistics.count;
    }
    dropOlderThan(sample.msSinceEpoch - HistoryMs);
}

void TrendRecorder::addToLevel(Level& level, const TrendSample& sample) {
    const std::int64_t slot = SlotOf(sample.msSinceEpoch, level.widthMs);
    // A unit change starts a bucket of its own: a mean over volts and raw numbers means nothing.
    const bool fits = !level.buckets.empty() &&
                      SlotOf(level.buckets.back().firstMs, level.widthMs) == slot &&
                      level.buckets.back().unit[0] == sample.unitA &&
                      level.buckets.back().unit[1] == sample.unitB;
    if (!fits) {
        Bucket bucket;
        bucket.firstMs = sample.msSinceEpoch;
        bucket.unit = {sample.unitA, sample.unitB};
        for (std::size_t c = 0; c < 2; ++c) {
            bucket.channel[c].minimum = Reading(sample, c);
            bucket.channel[c].maximum = Reading(sample, c);
        }
        level.dropped = level.buckets.push(bucket) || level.dropped;
    }
    Bucket& bucket = level.buckets.back();
    bucket.lastMs = sample.msSinceEpoch;
    ++bucket.count;
    for (std::size_t c = 0; c < 2; ++c) {
        Bucket::Channel& channel = bucket.channel[c];
        const double value = Reading(sample, c);
        channel.minimum = std::min(channel.minimum, value);
        channel.maximum = std::max(channel.maximum, value);
        channel.sum += value;
        channel.overloads += Overload(sample, c) ? 1 : 0;
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
    if (a.count == 0) {
        return {};
    }
    const auto n = static_cast<double>(a.count);
    return {a.minimum,   a.maximum, a.sum / n, std::sqrt(a.sumOfSquares / n),
            a.overloads, a.count,   a.unit,    std::sqrt(a.sumOfRmsSquares / n)};
}

std::optional<TrendSample> TrendRecorder::latest() const {
    if (m_points.empty()) {
        return std::nullopt;
    }
    return m_points.back();
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

template <typename Visit>
void TrendRecorder::forEachPoint(std::int64_t t0, std::int64_t t1, Visit visit) const {
    const auto before = [](const TrendSample& s, std::int64_t ms) { return s.msSinceEpoch < ms; };
    for (std::size_t i = m_points.lowerBound(t0, before);
         i < m_points.size() && m_points[i].msSinceEpoch <= t1; ++i) {
        visit(m_points[i]);
    }
}

TrendColumns TrendRecorder::columns(std::int64_t t0, std::int64_t t1, int count) const {
    TrendColumns result;
    if (count <= 0) {
        return result;
    }
    std::vector<std::array<ColumnSum, 2>> sums(static_cast<std::size_t>(count));
    if (t1 > t0) {
        const ColumnMap map(t0, t1, count);
        const std::size_t level = levelFor(t0);
        if (level == 0) {
            forEachPoint(t0, t1, [&](const TrendSample& s) {
                auto& column = sums[map.column(s.msSinceEpoch)];
                for (std::size_t c = 0; c < 2; ++c) {
                    const double v = Reading(s, c);
                    column[c].add(v, v, v, 1, Overload(s, c) ? 1 : 0);
                }
            });
        } else {
            const Level& held = m_levels[level - 1];
            result.resolutionMs = held.widthMs;
            const auto before = [](const Bucket& b, std::int64_t ms) { return b.lastMs < ms; };
            for (std::size_t i = held.buckets.lowerBound(t0, before);
                 i < held.buckets.size() && held.buckets[i].firstMs <= t1; ++i) {
                const Bucket& b = held.buckets[i];
                // A bucket wider than a column fills every column it spans.
                for (std::size_t x = map.column(b.firstMs); x <= map.column(b.lastMs); ++x) {
                    for (std::size_t c = 0; c < 2; ++c) {
                        const Bucket::Channel& channel = b.channel[c];
                        sums[x][c].add(channel.minimum, channel.maximum, channel.sum, b.count,
                                       channel.overloads);
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
        forEachPoint(t0, t1, [&](const TrendSample& s) {
            result.rows.push_back({s.msSinceEpoch, s.a, s.b, s.unitA, s.unitB});
        });
        return result;
    }
    const Level& held = m_levels[level - 1];
    result.resolutionMs = held.widthMs;
    const auto before = [](const Bucket& b, std::int64_t ms) { return b.firstMs < ms; };
    for (std::size_t i = held.buckets.lowerBound(t0, before);
         i < held.buckets.size() && held.buckets[i].firstMs <= t1; ++i) {
        const Bucket& b = held.buckets[i];
        const auto n = static_cast<double>(b.count);
        result.rows.push_back(
            {b.firstMs, b.channel[0].sum / n, b.channel[1].sum / n, b.unit[0], b.unit[1]});
    }
    return result;
}

}  // namespace veruziva
