#pragma once

#include "playlist/MemoryAdvice.h"

#include <QByteArray>
#include <QByteArrayView>

namespace dorvane {

// Takes a body (a download's) piece by piece as it comes, so that it need
// not be held whole: a provider's 80 MB answer read as it arrives touches a
// few megabytes of memory instead of 80, and fresh memory is dear (on the
// virtual machine of bench/README.md each first touch of a megabyte took
// more than a millisecond).
class BodySink {
public:
    virtual ~BodySink() = default;
    // Before the first piece: the body's size when it is known, else -1.
    virtual void begin(qint64 size) = 0;
    // The next piece, in order. An Exception thrown here ends the download
    // with it.
    virtual void write(QByteArrayView piece) = 0;
};

// A body kept whole, its room made at once when its size is known.
class WholeBody final : public BodySink {
public:
    void begin(qint64 size) override {
        if (size > 0) {
            m_bytes.reserve(qsizetype(size));
            adviseHugePages(m_bytes.data(), m_bytes.capacity());
        }
    }
    void write(QByteArrayView piece) override { m_bytes.append(piece); }
    QByteArray take() { return std::move(m_bytes); }

private:
    QByteArray m_bytes;
};

} // namespace dorvane
