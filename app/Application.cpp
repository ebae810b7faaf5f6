#include "app/Application.h"

#include "app/Form8.h"
#include "app/QtClipboardPort.h"

#include <QApplication>

namespace dorvane {
int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QtClipboardPort clipboard;
    setClipboardPort(&clipboard);

    int result = 0;
    {
        TForm8 form;
        form.show();
        result = app.exec();
    }
    setClipboardPort(nullptr);
    return result;
}
} // namespace dorvane
