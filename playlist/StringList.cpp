#include "playlist/StringList.h"

#include "playlist/Encoding.h"
#include "playlist/Errors.h"
#include "playlist/LineRules.h"
#include "playlist/MemoryAdvice.h"
#include "playlist/TextFile.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace dorvane {

namespace {

const char16_t kLineBreak[] = {u'\r', u'\n'};

} // namespace

QStringView TStringList::line(int index) const {
    checkIndex(index);
    const Span& s = m_lines.at(index);
    return QStringView(textOf(s), s.length);
}

void TStringList::checkIndex(int index) const {
    if (index < 0 || index >= Count())
        throw EStringListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

TStringList::Span TStringList::append(std::initializer_list<QStringView> pieces) {
    // Text shared with another list stays as it is: appending to it would
    // copy all of it first.
    const bool more = !m_buffer.isNull() && !m_buffer.isDetached();
    QString& buffer = more ? m_more : m_buffer;
    const qsizetype mark = more ? kInMore : 0;
    qsizetype total = 0;
    bool fromOwnBuffer = false;
    const std::less<const QChar*> before;
    const QChar* const bufferEnd = buffer.constData() + buffer.size();
    for (QStringView piece : pieces) {
        total += piece.size();
        if (!piece.isEmpty() && !before(piece.data(), buffer.constData()) &&
            before(piece.data(), bufferEnd))
            fromOwnBuffer = true;
    }
    const qsizetype offset = buffer.size();
    if (buffer.capacity() < offset + total) {
        // Growing moves the buffer; a piece that is one of this list's own
        // lines has to be copied out before that.
        QString copy;
        if (fromOwnBuffer) {
            copy.reserve(total);
            for (QStringView piece : pieces)
                copy.append(piece);
        }
        buffer.reserve(std::max(offset + total, offset + offset / 2 + 64));
        if (fromOwnBuffer) {
            buffer.append(copy);
            return {offset | mark, total};
        }
    }
    for (QStringView piece : pieces)
        buffer.append(piece);
    return {offset | mark, total};
}

void TStringList::reserveText(qsizetype more) {
    QString& buffer = !m_buffer.isNull() && !m_buffer.isDetached() ? m_more : m_buffer;
    const qsizetype size = buffer.size();
    if (buffer.capacity() < size + more)
        buffer.reserve(std::max(size + more, size + size / 2 + 64));
}

int TStringList::Add(QStringView s) {
    return Add({s});
}

int TStringList::Add(std::initializer_list<QStringView> pieces) {
    m_lines.push_back(append(pieces));
    return Count() - 1;
}

void TStringList::setStrings(int index, QStringView s) {
    setStrings(index, {s});
}

void TStringList::setStrings(int index, std::initializer_list<QStringView> pieces) {
    checkIndex(index);
    // The old text stays in the buffer unused; a replaced line is rare (one per run).
    m_lines[index] = append(pieces);
}

TStringList TStringList::linesIn(const std::vector<std::pair<int, int>>& ranges) const {
    TStringList list;
    list.m_buffer = m_buffer;
    list.m_more = m_more;
    qsizetype count = 0;
    for (const auto& [first, n] : ranges) {
        if (n > 0) {
            checkIndex(first);
            checkIndex(first + n - 1);
        }
        count += std::max(n, 0);
    }
    list.m_lines.reserve(count);
    for (const auto& [first, n] : ranges)
        for (int k = first; k < first + n; ++k)
            list.m_lines.push_back(m_lines.at(k));
    return list;
}

void TStringList::Clear() {
    m_buffer = QString();
    m_more = QString();
    m_lines = QList<Span>();
}

qsizetype TStringList::textLength() const {
    qsizetype total = 0;
    for (const Span& s : m_lines)
        total += s.length + 2;
    return total;
}

QString TStringList::Text() const {
    return joinedText<2>(QStringView(kLineBreak, 2));
}

QString TStringList::Text(QStringView lineBreak) const {
    // The common break has the copy of its two characters compiled in.
    if (lineBreak == QStringView(kLineBreak, 2))
        return Text();
    if (lineBreak.size() == 1)
        return joinedText<1>(lineBreak);
    return joinedText<0>(lineBreak);
}

template <qsizetype BreakLength> QString TStringList::joinedText(QStringView lineBreak) const {
    const qsizetype breakLength = BreakLength > 0 ? BreakLength : lineBreak.size();
    QString text(textLength() + (breakLength - 2) * qsizetype(m_lines.size()), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    // A whole playlist's text is hundreds of megabytes of fresh memory,
    // filled front to back: a fault per 4 KiB page cost more than the copying.
    adviseHugePages(out, text.size() * qsizetype(sizeof(char16_t)));
    for (const Span& s : m_lines) {
        std::memcpy(out, textOf(s), static_cast<size_t>(s.length) * sizeof(char16_t));
        out += s.length;
        std::memcpy(out, lineBreak.utf16(), size_t(breakLength) * sizeof(char16_t));
        out += breakLength;
    }
    return text;
}

void TStringList::setText(QStringView s) {
    // Copy before clearing: S may be a view into this very list.
    setText(s.toString());
}

void TStringList::setText(QString&& s) {
    // The text ends at its first U+0000.
    const auto* begin = reinterpret_cast<const char16_t*>(s.constData());
    const qsizetype end = lines::find(begin, begin + s.size(), u'\0') - begin;
    setText(std::move(s), end);
}

void TStringList::setText(QString&& s, qsizetype textEnd) {
    Clear();
    if (s.isEmpty())
        return;
    m_buffer = std::move(s);
    const char16_t* begin = reinterpret_cast<const char16_t*>(m_buffer.constData());
    // A line is on average a few dozen characters; guessing the number of lines
    // saves most of the vector's regrowth on big playlists.
    m_lines.reserve(textEnd / 48 + 1);
    const char16_t* end = begin + textEnd;
    lines::forEachLine(begin, end, [&](const char16_t* from, const char16_t* to) {
        m_lines.push_back({from - begin, to - from});
    });
}

void TStringList::LoadFromFile(const QString& fileName, const TEncoding& encoding) {
    QByteArray bytes = readWholeFile(fileName); // throws EFOpenError; lines untouched then
    setText(decodeFileBytes(bytes, encoding));
}

} // namespace dorvane
