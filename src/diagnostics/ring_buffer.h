#pragma once
// A fixed-capacity ring: the newest `capacity` items, oldest first. Storage is
// taken once up front, so memory does not grow however long the tool polls.

#include <cstddef>
#include <vector>

namespace diag {

template <typename T>
class RingBuffer
{
public:
    explicit RingBuffer(int capacity) : m_items(std::size_t(capacity > 0 ? capacity : 1)) {}

    int capacity() const { return int(m_items.size()); }
    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    // Appends; when full, the oldest item is overwritten.
    void push(const T &item)
    {
        m_items[std::size_t((m_first + m_size) % capacity())] = item;
        if (m_size < capacity())
            ++m_size;
        else
            m_first = (m_first + 1) % capacity();
    }

    // Index 0 is the oldest item kept.
    const T &at(int index) const { return m_items[std::size_t((m_first + index) % capacity())]; }
    T &at(int index) { return m_items[std::size_t((m_first + index) % capacity())]; }
    const T &newest() const { return at(m_size - 1); }

    void clear()
    {
        m_first = 0;
        m_size = 0;
    }

private:
    std::vector<T> m_items;
    int m_first = 0;
    int m_size = 0;
};

} // namespace diag
