#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace dorvane {

// A way of turning bytes into text and text into bytes. The objects are
// stateless, made once on first use and shared by all threads.
class TEncoding {
public:
    virtual ~TEncoding() = default;

    // 65001 for UTF-8, the Windows code page number otherwise.
    virtual int CodePage() const = 0;
    // The bytes written in front of a file: EF BB BF for UTF-8, none otherwise.
    virtual QByteArray GetPreamble() const = 0;
    // Bytes to text. UTF-8 is strict: any ill-formed sequence gives the empty
    // text (see decodeUtf8Strict for telling that apart from empty input).
    // A code page decodes every byte.
    virtual QString GetString(QByteArrayView bytes) const = 0;
    // Text to bytes, appended to out. Never fails: UTF-8 writes U+FFFD for an
    // unpaired surrogate; a code page writes a best-fit substitute or "?" for a
    // character it lacks, and one "?" for a character outside the BMP.
    virtual void appendBytes(QStringView text, QByteArray& out) const = 0;
    // As appendBytes, and returns how many characters were written as a
    // substitute ("?" or a best fit) because the encoding has no bytes of
    // their own for them. A surrogate pair counts once. UTF-8 has bytes for
    // every character and returns 0.
    virtual qsizetype appendBytesCounting(QStringView text, QByteArray& out) const {
        appendBytes(text, out);
        return 0;
    }
    // The most bytes one UTF-16 code unit can become, for sizing buffers.
    virtual int maxBytesPerChar() const = 0;

    QByteArray GetBytes(QStringView text) const {
        QByteArray out;
        out.reserve(text.size());
        appendBytes(text, out);
        return out;
    }

    static const TEncoding& UTF8();
    // The system's ANSI code page (systemAnsiCodePage()).
    static const TEncoding& Default();
    // The encoding of one of the supported ANSI code pages (see
    // isSupportedAnsiCodePage, and those read only: see ansiCodePageEncoding);
    // nullptr for any other number.
    static const TEncoding* ansi(int codePage);
};

class TMBCSEncoding : public TEncoding {
public:
    int CodePage() const override { return m_codePage; }

protected:
    explicit TMBCSEncoding(int codePage) : m_codePage(codePage) {}

private:
    int m_codePage;
};

class TUTF8Encoding : public TMBCSEncoding {
public:
    TUTF8Encoding() : TMBCSEncoding(65001) {}
    QByteArray GetPreamble() const override;
    QString GetString(QByteArrayView bytes) const override;
    void appendBytes(QStringView text, QByteArray& out) const override;
    int maxBytesPerChar() const override { return 3; }
};

// Strict RFC 3629 decoding. On ill-formed input returns the empty text and
// sets *ok to false; a U+0000 is decoded like any other character.
QString decodeUtf8Strict(QByteArrayView bytes, bool* ok = nullptr);

// The same into `out`, which has room for bytes.size() code units (UTF-8
// never gives more units than it has bytes): the number of units written, or
// -1 when the bytes are not well-formed (what `out` holds is then undefined).
qsizetype decodeUtf8Into(QByteArrayView bytes, char16_t* out);

// True when the bytes are wholly well-formed UTF-8, as decodeUtf8Strict
// takes them.
bool isWellFormedUtf8(QByteArrayView bytes);
// Whether bytes that are not wholly well-formed UTF-8 are still read as
// UTF-8: a cut download or two files joined leave a few broken bytes in a
// UTF-8 playlist, and reading all of it in the code page would garble every
// non-Latin name. The bytes are tallied into well-formed multi-byte sequences
// and ill-formed parts, each a maximal subpart (the longest start of a
// well-formed sequence, or else one byte), as the Unicode standard
// recommends. Bytes may be added in any number of pieces as long as no piece
// ends inside a sequence (after an ASCII byte, for instance).
struct Utf8Tally {
    qint64 multiByte = 0;
    qint64 illFormed = 0;

    void add(QByteArrayView bytes);
    // Well-formed, or at least ten times as many good sequences as broken parts.
    bool readsAsUtf8() const { return illFormed == 0 || multiByte >= 10 * illFormed; }
};

// The length of the well-formed UTF-8 sequence that `bytes` (not empty)
// begin with; or else the length of the maximal subpart there, negated.
int utf8SequenceAt(QByteArrayView bytes);
// The character that `bytes` (not empty) begin with, and in *length how many
// bytes it takes: the sequence utf8SequenceAt finds, or for an ill-formed
// part U+FFFD and the part's length.
char32_t utf8CharacterAt(QByteArrayView bytes, int* length);

// The UTF-8 bytes with each ill-formed part replaced by U+FFFD (EF BF BD),
// appended to `out`: well-formed UTF-8 that decodes as decodeUtf8Lenient does.
void repairUtf8(QByteArrayView bytes, QByteArray& out);
// Decoding that never fails: each ill-formed part becomes one U+FFFD.
QString decodeUtf8Lenient(QByteArrayView bytes);

// 1250-1258, 874, 932, 936, 949, 950.
bool isSupportedAnsiCodePage(int codePage);

// The Windows code page Windows gives the language of a POSIX locale name
// ("ru_RU.UTF-8" -> 1251, "zh_TW" -> 950, "C" -> 1252).
int ansiCodePageForLocale(QStringView localeName);

// The stand-in for the system's ANSI code page: that of the locale named by
// the first non-empty of LC_ALL, LC_CTYPE and LANG. Read once.
int systemAnsiCodePage();

} // namespace dorvane
