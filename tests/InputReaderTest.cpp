// dorvane-convert's reader: the same pieces from a regular file, a pipe and
// bytes in memory, read again after a partial read, and what it notes.
#include "playlist/InputReader.h"
#include "cli/ScanAhead.h"
#include "convert/TargetFormat.h"

#include "QtPrinters.h"
#include "playlist/Errors.h"

#include <gtest/gtest.h>

#include <vector>

#include <QTemporaryFile>

#include <chrono>

#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace dorvane;

namespace {

// Short lines, a line several pieces long, a NUL, and no line end at the end.
QByteArray sample() {
    QByteArray bytes;
    for (int k = 0; k < 40000; ++k)
        bytes += "#EXTINF:-1,Channel " + QByteArray::number(k) + "\nhttp://a/" +
                 QByteArray::number(k) + "\r\n";
    bytes += QByteArray(3 * InputReader::kPieceSize, 'x') + "\n";
    bytes += QByteArray("after\0nul\n", 10);
    bytes += "no line end";
    return bytes;
}

// Reads `count` pieces (all of them when -1): only the last may end without
// an LF. Into storage lent as ScanAhead lends it, which the long line outgrows.
QByteArray readPieces(InputReader& reader, int count = -1) {
    QByteArray all;
    std::vector<char> storage(2 * InputReader::kPieceSize);
    PieceBuffer buffer(storage.data(), qsizetype(storage.size()));
    bool cut = false;
    for (int k = 0; k != count; ++k) {
        const QByteArrayView piece = reader.next(buffer);
        if (piece.isEmpty())
            break;
        EXPECT_FALSE(cut) << "a piece before the last ended without an LF";
        cut = !piece.endsWith('\n');
        all += piece;
    }
    return all;
}

enum class Source { RegularFile, Pipe, Memory };

class InputReaderTest : public ::testing::TestWithParam<Source> {
protected:
    std::unique_ptr<InputReader> open(const QByteArray& bytes) {
        switch (GetParam()) {
        case Source::RegularFile:
            m_file.open();
            m_file.write(bytes);
            m_file.flush();
            m_file.seek(0);
            return std::make_unique<InputReader>(m_file.handle(), QStringLiteral("file"));
        case Source::Pipe: {
            int fds[2];
            EXPECT_EQ(::pipe(fds), 0);
            m_readEnd = fds[0];
            m_writer = std::thread([fd = fds[1], bytes] {
                for (qsizetype done = 0; done < bytes.size();) {
                    const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
                    if (n <= 0)
                        break;
                    done += n;
                }
                ::close(fd);
            });
            return std::make_unique<InputReader>(m_readEnd, QStringLiteral("pipe"));
        }
        case Source::Memory:
            return std::make_unique<InputReader>(bytes, QStringLiteral("memory"));
        }
        return nullptr;
    }

    void TearDown() override {
        if (m_readEnd >= 0)
            ::close(m_readEnd); // ends a writer still blocked in write()
        if (m_writer.joinable())
            m_writer.join();
    }

    QTemporaryFile m_file;
    int m_readEnd = -1;
    std::thread m_writer;
};

TEST_P(InputReaderTest, ReadsAgainFromTheStartAfterAPartialRead) {
    const QByteArray bytes = sample();
    const auto reader = open(bytes);
    const QByteArray start = readPieces(*reader, 2);
    EXPECT_TRUE(bytes.startsWith(start));
    EXPECT_EQ(reader->size(), -1); // not known before the end

    reader->rewind();
    EXPECT_TRUE(readPieces(*reader) == bytes);
    EXPECT_EQ(reader->size(), bytes.size());
    EXPECT_EQ(reader->nulOffset(), bytes.indexOf('\0'));
    EXPECT_EQ(reader->head(), bytes.first(InputReader::kHeadSize));

    reader->rewind();
    EXPECT_TRUE(readPieces(*reader) == bytes);
}

INSTANTIATE_TEST_SUITE_P(Sources, InputReaderTest,
                         ::testing::Values(Source::RegularFile, Source::Pipe, Source::Memory));

TEST(InputReader, RefusesARegularFileThatShrankOrGrew) {
    for (const qint64 newSize : {qint64(100), qint64(4 << 20)}) {
        QTemporaryFile file;
        ASSERT_TRUE(file.open());
        file.write(QByteArray(2 << 20, '\n'));
        file.flush();
        file.seek(0);
        InputReader reader(file.handle(), QStringLiteral("Cannot open file \"f\""));
        PieceBuffer buffer;
        reader.next(buffer);
        ASSERT_TRUE(file.resize(newSize));
        try {
            while (!reader.next(buffer).isEmpty()) {
            }
            ADD_FAILURE() << "no error at size " << newSize;
        } catch (const EReadError& error) {
            EXPECT_EQ(error.Message(),
                      QStringLiteral("Cannot open file \"f\". It changed while it was read"));
        }
    }
}

// Each piece is read, checked and scanned by whichever thread comes to it:
// the other thread, ahead of a slow taker, or a fast taker itself while it
// waits. Either way the taker gets every piece before the first one that is
// not UTF-8, in order, and not that one.
TEST(ScanAhead, StopsAtThePieceThatIsNotUtf8WhicheverThreadChecksIt) {
    constexpr int kLines = 60000; // about a dozen pieces
    constexpr int kBadLine = 35000;
    QByteArray bytes;
    for (int k = 0; k < kLines; ++k)
        bytes += "#EXTINF:-1,\xD0\x9A\xD0\xB0\xD0\xBD\xD0\xB0\xD0\xBB " + QByteArray::number(k) +
                 (k == kBadLine ? "\xFF" : "") + "\nhttp://a/" + QByteArray::number(k) + "\n";
    const QByteArray good = QByteArray(bytes).replace('\xFF', "");
    const TargetFormat& pls = formatFor(TTargetKind::tkPLS);
    for (const bool slowTaker : {false, true}) {
        for (const bool wellFormed : {true, false}) {
            InputReader reader(wellFormed ? good : bytes, QStringLiteral("memory"));
            ScanAhead scan(reader, pls, ScanAhead::Mode::Strict);
            int last = -1;
            int pieces = 0;
            while (const ScannedPiece* piece = scan.next()) {
                ++pieces;
                for (const ScannedPiece::Entry& entry : piece->entries) {
                    const int line = entry.line.sliced(9).toByteArray().toInt();
                    EXPECT_EQ(line, last + 1);
                    last = line;
                }
                if (slowTaker) // the other thread reads and scans every piece
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            SCOPED_TRACE(slowTaker ? "slow taker" : "fast taker");
            if (wellFormed) {
                EXPECT_EQ(scan.verdict(), ScanAhead::Verdict::Utf8);
                EXPECT_EQ(last, kLines - 1);
                EXPECT_EQ(scan.channels(), kLines);
            } else {
                EXPECT_EQ(scan.verdict(), ScanAhead::Verdict::NotUtf8);
                EXPECT_LT(last, kBadLine);
                // Not more than a piece short of it: the pieces before were given.
                EXPECT_GT(last, kBadLine - InputReader::kPieceSize / 40);
            }
            EXPECT_GT(pieces, 4);
        }
    }
}

} // namespace
