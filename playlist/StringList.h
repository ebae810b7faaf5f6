#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <initializer_list>
#include <utility>
#include <vector>

namespace dorvane {

class TEncoding;

// An ordered list of UTF-16 lines. The lines live back to back in one buffer
// and the list keeps only where each starts and how long it is: a list made
// from a text (or a file) holds no copy of the lines at all, and appending a
// line costs no allocation of its own. A copy of a list shares both the text
// and the list of lines until either list changes, so the window, its undo
// and its text area hold one big playlist once. Each list has one user at a
// time; copies may live on other threads.
class TStringList {
public:
    TStringList() = default;

    int Count() const { return static_cast<int>(m_lines.size()); }

    // Appends S unchanged; returns its index.
    int Add(QStringView s);
    // Appends one line made of the pieces, in order, without a temporary.
    int Add(std::initializer_list<QStringView> pieces);

    // The line at Index; EStringListError when Index is out of bounds.
    QString Strings(int index) const { return line(index).toString(); }
    // The line at Index without a copy; valid until the list next changes.
    QStringView line(int index) const;
    // Replaces the line at Index by S; EStringListError when out of bounds.
    void setStrings(int index, QStringView s);
    void setStrings(int index, std::initializer_list<QStringView> pieces);

    // A list of the lines in the given ranges (first line, number of lines),
    // in the order given. It shares this list's text instead of copying it;
    // lines added to it or replaced in it later leave that text shared.
    TStringList linesIn(const std::vector<std::pair<int, int>>& ranges) const;

    // Removes every line and gives back the memory.
    void Clear();

    // Every line followed by CR LF, the last one too.
    QString Text() const;
    // Every line followed by `lineBreak`, as a target ends its lines.
    QString Text(QStringView lineBreak) const;
    // Replaces all lines by those of S. A line ends at CR, LF or CR LF; the
    // text ends at its first U+0000.
    void setText(QStringView s);
    // As setText, but adopts S as the buffer the lines are kept in.
    void setText(QString&& s);
    // The same for a text whose first U+0000 (or end) the caller has found
    // at `end` already: a search of hundreds of megabytes the less.
    void setText(QString&& s, qsizetype end);

    // Replaces all lines by the lines of the file, read and decoded in one
    // piece. EFOpenError when the file cannot be read; the lines stay then.
    void LoadFromFile(const QString& fileName, const TEncoding& encoding);

    // Total length of Text(), without building it.
    qsizetype textLength() const;

    // Makes room for `more` characters of lines beyond those held, growing
    // as appending would, so that appending that much moves nothing: the
    // move, and the first touch of the memory it moves into, can then be
    // done where it costs least.
    void reserveText(qsizetype more);
    // The characters appended so far, replaced lines' old text included.
    qsizetype textAppended() const { return m_buffer.size() + m_more.size(); }

private:
    struct Span {
        qsizetype offset; // in m_buffer, or with kInMore in m_more
        qsizetype length;
    };
    static constexpr qsizetype kInMore = qsizetype(1) << 62;

    const char16_t* textOf(const Span& s) const {
        const QString& buffer = s.offset & kInMore ? m_more : m_buffer;
        return reinterpret_cast<const char16_t*>(buffer.constData()) + (s.offset & ~kInMore);
    }
    void checkIndex(int index) const;
    Span append(std::initializer_list<QStringView> pieces);

    QString m_buffer;
    // Lines added while m_buffer is shared with another list (linesIn): a
    // chosen playlist with a few lines renamed must not copy the whole text.
    QString m_more;
    // Copy-on-write: copies of a list share it until one of them changes.
    QList<Span> m_lines;

    // Text with another break; BreakLength > 0 has its length compiled in.
    template <qsizetype BreakLength> QString joinedText(QStringView lineBreak) const;
};

} // namespace dorvane
