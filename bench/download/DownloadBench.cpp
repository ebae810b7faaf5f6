// A download into a file, as `curl -o FILE URL` makes one, for
// bench/run-download: the body handed to a sink that writes each piece as
// it comes. Usage: dorvane-download-bench URL FILE
#include "playlist/BodySink.h"
#include "playlist/Download.h"
#include "playlist/Errors.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

class FileBody final : public dorvane::BodySink {
public:
    explicit FileBody(QFile& file) : m_file(file) {}
    void begin(qint64) override {}
    void write(QByteArrayView piece) override {
        if (m_file.write(piece.data(), piece.size()) != piece.size())
            throw dorvane::EWriteError(m_file.errorString());
    }

private:
    QFile& m_file;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: dorvane-download-bench URL FILE\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "%s\n", qPrintable(file.errorString()));
        return 1;
    }
    FileBody body(file);
    try {
        dorvane::downloadInto(QUrl(QString::fromLocal8Bit(argv[1])), {}, body);
    } catch (const dorvane::Exception& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Message()));
        return 1;
    }
    return file.flush() ? 0 : 1;
}
