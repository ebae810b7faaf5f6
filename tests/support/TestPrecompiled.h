// Headers nearly every test includes, precompiled once for all of them.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#ifdef DORVANE_TEST_GUI
#include <QtTest/QtTest>
#include <QtWidgets/QtWidgets>
#endif
