#pragma once

#include "playlist/Encoding.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

namespace dorvane {

// One of the Windows ANSI code pages. The tables are built from ICU's
// converter once, when the code page is first asked for; after that both
// directions are plain table look-ups and the object is read-only, so any
// number of threads may share it.
//
// Text to bytes never fails: a character the code page lacks becomes a
// best-fit substitute where there is one (a letter with diacritics becomes its
// base letter, a full-width form its ASCII form), otherwise "?"; a character
// outside the BMP becomes a single "?".
//
// Bytes to text never fails either: a byte a single-byte page leaves undefined
// becomes the character of the same value (for 80 to 9F the C1 control, as
// Windows reads them); in the double-byte pages an invalid or unassigned
// sequence becomes U+FFFD.
class TAnsiEncoding : public TMBCSEncoding {
public:
    TAnsiEncoding(int codePage, const char* icuName);
    ~TAnsiEncoding() override;

    QByteArray GetPreamble() const override { return {}; }
    QString GetString(QByteArrayView bytes) const override;
    void appendBytes(QStringView text, QByteArray& out) const override;
    qsizetype appendBytesCounting(QStringView text, QByteArray& out) const override;
    int maxBytesPerChar() const override { return m_doubleByte ? 2 : 1; }

    // Whether every ASCII character is its own byte (and the byte that
    // character), as in all the supported code pages.
    bool keepsAscii() const;

    // Well-formed UTF-8 in [begin, end) to this code page's bytes at `out`,
    // as appendBytes encodes the same text decoded; returns the end of what
    // it wrote, at most twice as many bytes as it read. The second form adds
    // to `replaced` the characters written as a substitute (see
    // appendBytesCounting).
    char* encodeUtf8(const char* begin, const char* end, char* out) const;
    char* encodeUtf8(const char* begin, const char* end, char* out, qsizetype& replaced) const;

    // Bytes in this code page to UTF-8 at `out`: the UTF-8 of the text
    // GetString decodes from them, so that code-page input can take the
    // converter's UTF-8 way. Returns the end of what it wrote; `out` needs
    // room for decodedUtf8Room(end - begin) bytes.
    char* decodeToUtf8(const char* begin, const char* end, char* out) const;
    static constexpr qsizetype decodedUtf8Room(qsizetype bytes) { return 3 * bytes + 4; }

private:
    struct Tables;

    // Counting is a template argument, so that the callers that do not count
    // run the loops they ran before.
    template <bool Count>
    void encodeText(QStringView text, QByteArray& out, qsizetype& replaced) const;
    template <bool Count>
    char* encodeUtf8Bytes(const char* begin, const char* end, char* out, qsizetype& replaced) const;

    // The tables, built on first use: from ICU's converter for every BMP
    // character, which takes longer than the whole start of the program, and
    // a run that reads and writes UTF-8 never needs them.
    const Tables& tables() const;
    std::unique_ptr<Tables> buildTables() const;

    const char* const m_icuName;
    const bool m_doubleByte;
    mutable std::once_flag m_built;
    mutable std::unique_ptr<Tables> m_tables;
};

// The encoding of a supported ANSI code page (isSupportedAnsiCodePage), or of
// one of the code pages a playlist may be read in (866, 20866 KOI8-R, 21866
// KOI8-U, 28595 ISO-8859-5), made on first use; nullptr for any other number.
const TEncoding* ansiCodePageEncoding(int codePage);

} // namespace dorvane
