#include "cli/PieceReader.h"

#include "cli/InputReader.h"
#include "playlist/Encoding.h"
#include "playlist/Platform.h"
#include "playlist/Playlist.h"

#include <cstring>

namespace dorvane {

PieceReader::PieceReader(InputReader& reader, const TEncoding& codePage)
    : m_reader(reader), m_encoding(codePage), m_thread([this] { read(); }) {}

PieceReader::~PieceReader() {
    m_sync.stop();
    m_thread.join();
}

bool PieceReader::next(TStringList& lines) {
    std::unique_lock lock(m_sync.mutex);
    m_sync.changed.wait(lock, [this] { return !m_ready.empty() || m_sync.finished; });
    if (m_sync.error)
        std::rethrow_exception(m_sync.error);
    if (m_ready.empty())
        return false;
    lines = std::move(m_ready.front());
    m_ready.pop_front();
    lock.unlock();
    m_sync.changed.notify_all();
    return true;
}

int PieceReader::channelCount() const {
    std::lock_guard lock(m_sync.mutex);
    return m_channels;
}

void PieceReader::read() {
    m_sync.run([this] {
        ChannelCounter counter;
        bool first = true;
        bool textEnded = false;
        PieceBuffer buffer;
        while (true) {
            {
                std::unique_lock lock(m_sync.mutex);
                m_sync.changed.wait(
                    lock, [this] { return m_sync.stopping || m_ready.size() < kPiecesAhead; });
                if (m_sync.stopping)
                    break;
            }
            QByteArrayView piece = m_reader.next(buffer);
            if (piece.isEmpty())
                break;
            if (first && platform::startsWithUtf8Mark(piece))
                piece = piece.sliced(3);
            first = false;
            // After a U+0000 the rest is only read, to its end: a file that
            // changes while it is read is refused all the same.
            if (textEnded)
                continue;
            // U+0000 comes only from a 00 byte, in every code page.
            textEnded = std::memchr(piece.data(), 0, static_cast<size_t>(piece.size())) != nullptr;

            TStringList lines;
            lines.setText(m_encoding.GetString(piece));
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
