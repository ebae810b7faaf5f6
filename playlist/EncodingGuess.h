#pragma once

#include <QByteArrayView>

namespace dorvane {

struct InputEncoding;

// The encoding a charset detector takes the bytes for, among those a
// playlist may be read in; nullptr when it names none of them or is unsure.
// Only a hint for the user: which code page is used is decided by the
// rules of decodeFileBytes, which a guess would break (it takes Ukrainian
// in Windows-1251 for Windows-1252).
const InputEncoding* guessedEncoding(QByteArrayView bytes);

} // namespace dorvane
