#include "app/WebLinks.h"

#include <QDesktopServices>

namespace dorvane::WebLinks {

namespace {
Opener& opener() {
    static Opener o;
    return o;
}
} // namespace

void open(const char* address) {
    const QUrl url(QString::fromLatin1(address));
    if (opener())
        opener()(url);
    else
        QDesktopServices::openUrl(url); // its result is of no interest
}

void setOpener(Opener o) {
    opener() = std::move(o);
}

} // namespace dorvane::WebLinks
