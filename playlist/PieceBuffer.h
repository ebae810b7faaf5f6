#pragma once

#include <QtGlobal>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace dorvane {

// Where InputReader puts a piece: in storage the caller lends (a share of a
// HugePageBlock, which several buffers reused for every piece of a run can
// split between them), and once a piece outgrows it, or when none was lent,
// in memory of its own.
class PieceBuffer {
public:
    PieceBuffer() = default;
    PieceBuffer(char* storage, qsizetype capacity) : m_data(storage), m_capacity(capacity) {}
    PieceBuffer(PieceBuffer&&) = default;
    PieceBuffer& operator=(PieceBuffer&&) = default;

    char* data() { return m_data; }
    const char* constData() const { return m_data; }
    qsizetype size() const { return m_size; }

    // Keeps the bytes up to the smaller of the two sizes; takes exactly
    // `size` bytes of memory when it needs more, growing its own in place
    // where it can (realloc): a line of a gigabyte must not need two.
    void resize(qsizetype size) {
        if (size > m_capacity) {
            const bool lent = !m_own;
            void* grown = std::realloc(m_own.get(), static_cast<size_t>(size));
            if (!grown)
                throw std::bad_alloc();
            m_own.release();
            m_own.reset(static_cast<char*>(grown));
            if (lent && m_size > 0)
                std::memcpy(m_own.get(), m_data, static_cast<size_t>(m_size));
            m_data = m_own.get();
            m_capacity = size;
        }
        m_size = size;
    }

private:
    struct Free {
        void operator()(char* data) const noexcept { std::free(data); }
    };

    char* m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
    std::unique_ptr<char, Free> m_own;
};

} // namespace dorvane
