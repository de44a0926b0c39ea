#pragma once

#include <cstddef>
#include <vector>

namespace veruziva {

// A ring of at most a fixed number of items, oldest first: pushing onto a full ring drops the
// oldest. Its storage is reserved once, so it never grows.
template <typename T>
class FixedRing {
public:
    explicit FixedRing(std::size_t capacity) : m_capacity(capacity) { m_items.reserve(capacity); }

    std::size_t capacity() const { return m_capacity; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    const T& operator[](std::size_t i) const { return m_items[slot(i)]; }
    const T& front() const { return (*this)[0]; }
    const T& back() const { return (*this)[m_size - 1]; }
    T& back() { return m_items[slot(m_size - 1)]; }

    // Returns true when the oldest item was dropped to make room.
    bool push(const T& item) {
        if (m_size < m_capacity) {
            // Until the storage has grown to the capacity, the next slot is its end.
            const std::size_t next = slot(m_size);
            if (next < m_items.size()) {
                m_items[next] = item;
            } else {
                m_items.push_back(item);
            }
            ++m_size;
            return false;
        }
        m_items[m_first] = item;
        m_first = slot(1);
        return true;
    }

    void popFront() {
        m_first = slot(1);
        --m_size;
    }

    void clear() {
        m_first = 0;
        m_size = 0;
    }

    // The first index whose item is not before `key` by `before(item, key)`.
    template <typename Key, typename Before>
    std::size_t lowerBound(const Key& key, Before before) const {
        std::size_t low = 0;
        std::size_t high = m_size;
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (before((*this)[middle], key)) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    }

    static constexpr std::size_t bytesFor(std::size_t capacity) { return capacity * sizeof(T); }

private:
    // i < capacity: no division needed (this runs several times for every block).
    std::size_t slot(std::size_t i) const {
        const std::size_t j = m_first + i;
        return j >= m_capacity ? j - m_capacity : j;
    }

    std::size_t m_capacity;
    std::size_t m_first = 0;
    std::size_t m_size = 0;
    std::vector<T> m_items;
};

}  // namespace veruziva
