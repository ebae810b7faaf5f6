#include "app/SkinManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QResource>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QWidget>

#include <atomic>
#include <optional>

namespace dorvane {

namespace {

const QString kOptionsFile = QStringLiteral("Options.dat");

// The section a control is drawn with when it names none itself. More
// specific classes come before the classes they derive from.
QString standardSection(const QWidget* widget) {
    struct Kind {
        const char* className;
        const char* section;
    };
    static const Kind kinds[] = {
        {"QRadioButton", "RADIOBUTTON"}, {"QCheckBox", "CHECKBOX"}, {"QPushButton", "BUTTON"},
        {"QPlainTextEdit", "EDIT"},      {"QTextEdit", "EDIT"},     {"QLineEdit", "EDIT"},
        {"QStatusBar", "STATUSBAR"},     {"QMenuBar", "MENUBAR"},   {"QMenu", "MENU"},
        {"QScrollBar", "SCROLLBAR"},     {"QGroupBox", "GROUPBOX"}, {"QLabel", "LABEL"},
    };
    for (const Kind& kind : kinds) {
        if (widget->inherits(kind.className)) {
            return QString::fromLatin1(kind.section);
        }
    }
    return {};
}

void assignStandardSections(QWidget* window) {
    const auto assign = [](QWidget* widget, const QString& section) {
        if (!section.isEmpty() && !widget->property(kSkinSectionProperty).isValid()) {
            widget->setProperty(kSkinSectionProperty, section);
        }
    };
    assign(window, QStringLiteral("FORM"));
    const QList<QWidget*> children = window->findChildren<QWidget*>();
    for (QWidget* child : children) {
        assign(child, standardSection(child));
    }
}

// Blanks out comments, keeping line breaks so that line numbers stay right,
// and checks that strings end and braces pair up. Returns the blanked text,
// or nothing and the line of the first fault.
std::optional<QString> withoutComments(const QString& sheet, int* faultLine) {
    QString out = sheet;
    int depth = 0;
    int rules = 0;
    int line = 1;
    int openedAt = 0;
    QChar quote;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c == u'\n') {
            ++line;
        }
        if (!quote.isNull()) {
            if (c == u'\\') {
                ++i;
            } else if (c == quote) {
                quote = QChar();
            } else if (c == u'\n') {
                *faultLine = line - 1;
                return std::nullopt; // a string may not run over a line end
            }
            continue;
        }
        if (c == u'/' && i + 1 < out.size() && out.at(i + 1) == u'*') {
            const qsizetype end = out.indexOf(QStringLiteral("*/"), i + 2);
            if (end < 0) {
                *faultLine = line;
                return std::nullopt;
            }
            for (qsizetype j = i; j < end + 2; ++j) {
                if (out.at(j) == u'\n') {
                    ++line;
                } else {
                    out[j] = u' ';
                }
            }
            i = end + 1;
            continue;
        }
        if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'{') {
            if (depth++ == 0) {
                ++rules;
                openedAt = line;
            }
        } else if (c == u'}') {
            if (--depth < 0) {
                *faultLine = line;
                return std::nullopt;
            }
        }
    }
    if (!quote.isNull() || depth != 0) {
        *faultLine = depth != 0 ? openedAt : line;
        return std::nullopt;
    }
    if (rules == 0) {
        *faultLine = 0;
        return std::nullopt;
    }
    return out;
}

bool isAbsoluteReference(const QString& reference) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return reference.startsWith(u'/') || reference.startsWith(u':') ||
           scheme.match(reference).hasMatch();
}

std::atomic<int> packedSkinCount{0};

} // namespace

QFont TsMenuSupport::defaultExtraLineFont() {
    // Qt fonts carry no character set: glyphs come from whichever installed
    // font has them, which is what the default character set asks for.
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    return font;
}

TsSkinManager::TsSkinManager(QObject* parent)
    : QObject(parent), m_skinDirectory(defaultSkinDirectory()) {
    setObjectName(QStringLiteral("sSkinManager1"));
}

TsSkinManager::~TsSkinManager() {
    releasePackedSkin();
}

QString TsSkinManager::defaultSkinDirectory() {
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\Skins");
#else
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/Skins");
#endif
}

TsSkinManager::Result TsSkinManager::load(QWidget* window) {
    releasePackedSkin();
    m_errorMessage.clear();
    m_loadedFrom.clear();

    const QDir directory(m_skinDirectory);
    const QString packed = directory.filePath(m_skinName + QStringLiteral(".asz"));
    const QString folder = directory.filePath(m_skinName);
    QString source;
    QString root;
    if (QFileInfo(packed).isFile()) {
        source = packed;
        const QString mapRoot = QStringLiteral("/dorvane-skin/%1").arg(++packedSkinCount);
        if (!QResource::registerResource(packed, mapRoot)) {
            return broken(source, QStringLiteral("The file is not a packed skin"));
        }
        m_packedFile = packed;
        m_packedRoot = mapRoot;
        root = QLatin1Char(':') + mapRoot;
        if (!QFileInfo(root + u'/' + kOptionsFile).isFile()) {
            return broken(source, QStringLiteral("The packed skin holds no %1").arg(kOptionsFile));
        }
    } else if (QFileInfo(folder + u'/' + kOptionsFile).isFile()) {
        source = folder;
        root = folder;
    } else {
        m_active = false;
        return Result::Missing;
    }

    QFile options(root + u'/' + kOptionsFile);
    if (!options.open(QIODevice::ReadOnly)) {
        return broken(
            source,
            QStringLiteral("%1 cannot be read: %2").arg(kOptionsFile, options.errorString()));
    }
    const QByteArray bytes = options.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString sheet = decoder.decode(bytes);
    if (decoder.hasError()) {
        return broken(source, QStringLiteral("%1 is not UTF-8 text").arg(kOptionsFile));
    }
    int faultLine = 0;
    const std::optional<QString> plain = withoutComments(sheet, &faultLine);
    if (!plain) {
        return broken(source, faultLine == 0
                                  ? QStringLiteral("%1 holds no skin section").arg(kOptionsFile)
                                  : QStringLiteral("%1 is not a style sheet (line %2)")
                                        .arg(kOptionsFile)
                                        .arg(faultLine));
    }

    // Qt would resolve relative picture references against the current
    // folder, so they are made absolute here, and every picture is tried
    // now: a picture that cannot be shown is a broken skin, not a blank spot.
    static const QRegularExpression urlPattern(
        QStringLiteral(R"re(url\(\s*(?:"([^"]*)"|'([^']*)'|([^)\s"']*))\s*\))re"),
        QRegularExpression::CaseInsensitiveOption);
    QString resolved;
    qsizetype copied = 0;
    for (auto it = urlPattern.globalMatch(*plain); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString reference = match.captured(1) + match.captured(2) + match.captured(3);
        const QString path =
            isAbsoluteReference(reference) ? reference : QDir::cleanPath(root + u'/' + reference);
        if (!QFileInfo(path).isFile()) {
            return broken(source, QStringLiteral("The picture \"%1\" is missing").arg(reference));
        }
        if (!QImageReader(path).canRead()) {
            return broken(source,
                          QStringLiteral("The picture \"%1\" cannot be read").arg(reference));
        }
        resolved += QStringView(*plain).mid(copied, match.capturedStart() - copied);
        resolved += QStringLiteral("url(\"%1\")").arg(path);
        copied = match.capturedEnd();
    }
    resolved += QStringView(*plain).mid(copied);

    assignStandardSections(window);
    window->setStyleSheet(resolved);
    m_loadedFrom = source;
    m_active = true;
    return Result::Loaded;
}

TsSkinManager::Result TsSkinManager::broken(const QString& source, const QString& reason) {
    releasePackedSkin();
    m_active = false;
    m_errorMessage =
        QStringLiteral("Cannot load skin \"%1\". %2").arg(QDir::toNativeSeparators(source), reason);
    return Result::Broken;
}

void TsSkinManager::releasePackedSkin() {
    if (!m_packedFile.isEmpty()) {
        QResource::unregisterResource(m_packedFile, m_packedRoot);
        m_packedFile.clear();
        m_packedRoot.clear();
    }
}

} // namespace dorvane
