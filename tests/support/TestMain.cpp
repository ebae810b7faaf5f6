// GoogleTest entry point for tests that need a Qt application object: the
// window tests get a QApplication, the others a QCoreApplication.
#include <gtest/gtest.h>

#ifdef DORVANE_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
