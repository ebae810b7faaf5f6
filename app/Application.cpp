#include "Application.h"

#include <QApplication>

namespace dorvane {
int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}
} // namespace dorvane
