#include "app/Guard.h"

#include "app/MessageBox.h"
#include "playlist/Errors.h"

#include <QApplication>

#include <exception>
#include <new>

namespace dorvane {

void guarded(const std::function<void()>& handler) noexcept {
    try {
        try {
            handler();
        } catch (const Exception& e) {
            showErrorBox(e.Message());
        } catch (const std::bad_alloc&) {
            showErrorBox(QStringLiteral("Out of memory"));
        } catch (const std::exception& e) {
            showErrorBox(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            showErrorBox(QStringLiteral("Unknown error"));
        }
    } catch (...) {
        // Not even the box could be shown; the window must still go on.
    }
}

void showErrorBox(const QString& message) {
    MessageBox::show(QApplication::activeWindow(), QMessageBox::Critical, applicationTitle(),
                     errorBoxText(message), QMessageBox::Ok, QMessageBox::Ok);
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

} // namespace dorvane
