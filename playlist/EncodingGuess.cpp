#include "playlist/EncodingGuess.h"

#include "playlist/TextFile.h"

#include <uchardet.h>

#include <QString>

#include <algorithm>
#include <memory>

namespace dorvane {

const InputEncoding* guessedEncoding(QByteArrayView bytes) {
    const std::unique_ptr<std::remove_pointer_t<uchardet_t>, void (*)(uchardet_t)> detector(
        uchardet_new(), uchardet_delete);
    if (!detector)
        return nullptr;
    // A few hundred kilobytes of names say as much as the whole list.
    constexpr qsizetype kEnough = 512 * 1024;
    const qsizetype size = std::min(bytes.size(), kEnough);
    if (uchardet_handle_data(detector.get(), bytes.data(), static_cast<size_t>(size)) != 0)
        return nullptr;
    uchardet_data_end(detector.get());
    QString name = QString::fromLatin1(uchardet_get_charset(detector.get()));
    if (name.startsWith(u"IBM", Qt::CaseInsensitive)) // "IBM866"
        name = name.sliced(3);
    return name.isEmpty() ? nullptr : inputEncodingByName(name);
}

} // namespace dorvane
