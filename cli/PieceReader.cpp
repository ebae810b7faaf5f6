#include "cli/PieceReader.h"

#include "playlist/Encoding.h"
#include "playlist/Playlist.h"

#include <cstring>

namespace dorvane {

PieceReader::PieceReader(QByteArrayView bytes, const TEncoding& encoding)
    : m_bytes(bytes), m_encoding(encoding), m_thread([this] { read(); }) {}

PieceReader::~PieceReader() {
    m_sync.stop();
    m_thread.join();
}

bool PieceReader::next(TStringList& lines) {
    std::unique_lock lock(m_sync.mutex);
    m_sync.changed.wait(lock,
                        [this] { return !m_ready.empty() || m_sync.finished || !m_wellFormed; });
    if (!m_wellFormed)
        return false;
    if (m_ready.empty()) {
        if (m_sync.error)
            std::rethrow_exception(m_sync.error);
        return false;
    }
    lines = std::move(m_ready.front());
    m_ready.pop_front();
    lock.unlock();
    m_sync.changed.notify_all();
    return true;
}

bool PieceReader::wellFormed() const {
    std::lock_guard lock(m_sync.mutex);
    return m_wellFormed;
}

int PieceReader::channelCount() const {
    std::lock_guard lock(m_sync.mutex);
    return m_channels;
}

void PieceReader::read() {
    const bool utf8 = m_encoding.CodePage() == 65001;
    m_sync.run([this, utf8] {
        ChannelCounter counter;
        bool textEnded = false;
        qsizetype begin = 0;
        while (begin < m_bytes.size()) {
            {
                std::unique_lock lock(m_sync.mutex);
                m_sync.changed.wait(
                    lock, [this] { return m_sync.stopping || m_ready.size() < kPiecesAhead; });
                if (m_sync.stopping)
                    break;
            }
            qsizetype end = m_bytes.size();
            if (end - begin > kPieceSize) {
                const qsizetype from = begin + kPieceSize;
                const void* lf = std::memchr(m_bytes.data() + from, '\n',
                                             static_cast<size_t>(m_bytes.size() - from));
                if (lf)
                    end = static_cast<const char*>(lf) - m_bytes.data() + 1;
            }
            const QByteArrayView piece = m_bytes.sliced(begin, end - begin);
            begin = end;

            bool ok = true;
            QString text = utf8 ? decodeUtf8Strict(piece, &ok) : m_encoding.GetString(piece);
            if (!ok) {
                std::lock_guard lock(m_sync.mutex);
                m_wellFormed = false;
                break;
            }
            // After a U+0000 the rest is only decoded, for the verdict on its form.
            if (textEnded)
                continue;
            // U+0000 comes only from a 00 byte, in UTF-8 and in every code page.
            textEnded = std::memchr(piece.data(), 0, static_cast<size_t>(piece.size())) != nullptr;

            TStringList lines;
            lines.setText(std::move(text));
            for (int i = 0; i < lines.Count(); ++i)
                counter.addLine(lines.line(i));
            {
                std::lock_guard lock(m_sync.mutex);
                m_ready.push_back(std::move(lines));
            }
            m_sync.changed.notify_all();
        }
        std::lock_guard lock(m_sync.mutex);
        m_channels = counter.count();
    });
}

} // namespace dorvane
