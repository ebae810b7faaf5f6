#pragma once

#include "convert/LineEnd.h"
#include "convert/TargetOptions.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <initializer_list>

namespace dorvane {

class TEncoding;
class TStringList;

// Where a conversion puts its output lines. A line is given as pieces that the
// sink joins, so that building an entry needs no temporary strings.
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void addLine(std::initializer_list<QStringView> pieces) = 0;
    // Replaces an earlier line (the WMP item count in the header); index counts
    // from the first line this sink was given. EStringListError when there is
    // no such line.
    virtual void replaceLine(int index, std::initializer_list<QStringView> pieces) = 0;

    // The user's choices for the target's lines.
    TargetOptions options;
    // What the target's lines left out.
    LostAttributes lost;
};

// Appends to a line list.
class StringListSink final : public LineSink {
public:
    explicit StringListSink(TStringList& list) : m_list(list) {}
    void addLine(std::initializer_list<QStringView> pieces) override;
    void replaceLine(int index, std::initializer_list<QStringView> pieces) override;

private:
    TStringList& m_list;
};

// Where line `index` (from 0) of encoded lines stands in bytes[start, size):
// its first byte and the line end (CR LF or LF) after it. Lines hold no CR or LF, and in none
// of the encodings does another character's byte sequence contain 0D or 0A,
// so the line is found by counting line breaks. No offsets are kept: this is
// needed once per run, near the start of the output. EStringListError when
// there is no such line.
struct EncodedLine {
    qsizetype begin;
    qsizetype end;
};
EncodedLine findEncodedLine(const char* bytes, qsizetype start, qsizetype size, int index);

// Encodes lines into bytes, the line end after each: the bytes a saved file of these
// lines holds, without the joined text of all of them in between. Lines are
// gathered in a small buffer and encoded a batch at a time, which is much
// cheaper than a call into the encoding per piece, and encodes exactly as the
// joined text would be encoded. Bytes already in `out` (a preamble) stay in
// front. Call flush() before reading `out`.
class EncodingSink final : public LineSink {
public:
    EncodingSink(QByteArray& out, const TEncoding& encoding, LineEnd lineEnd = LineEnd::CrLf);
    void addLine(std::initializer_list<QStringView> pieces) override;
    void replaceLine(int index, std::initializer_list<QStringView> pieces) override;
    // Encodes the lines gathered so far into `out`.
    void flush();
    // The characters written as substitutes so far, because the encoding
    // has no bytes for them (TEncoding::appendBytesCounting).
    qsizetype replaced() const { return m_replaced; }

private:
    QByteArray& m_out;
    const TEncoding& m_encoding;
    const bool m_crlf;
    qsizetype m_start;
    QString m_text;     // lines not encoded yet, each followed by its line end
    QByteArray m_bytes; // their bytes, on the way to m_out
    qsizetype m_replaced = 0;
};

} // namespace dorvane
