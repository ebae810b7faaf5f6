#include "receiver/Send.h"

#include "playlist/Errors.h"
#include "playlist/RemoteFiles.h"
#include "playlist/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace dorvane {

namespace {

const QString kPartSuffix = QStringLiteral(".part");

QString backupRootOf(const SendPlan& plan) {
    if (!plan.backupRoot.isEmpty())
        return plan.backupRoot;
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/dorvane/backups");
}

void saveCopy(const QString& folder, const QString& name, const QByteArray& bytes) {
    if (!QDir().mkpath(folder))
        throw EFCreateError(QStringLiteral("Cannot create folder \"%1\"").arg(folder));
    // A new file in a new folder: nothing to replace atomically, and no
    // flush to the disk, which took the better part of a second a file on a
    // busy machine.
    QFile file(folder + u'/' + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        file.write(bytes) != bytes.size() || !file.flush())
        throw EWriteError(
            QStringLiteral("Cannot write \"%1\": %2").arg(file.fileName(), file.errorString()));
}

// Our temporary file of a bouquet or of the index.
QString partName(const QString& file, const QString& prefix) {
    return file == kBouquetIndex ? file + u'.' + prefix + kPartSuffix : file + kPartSuffix;
}

// A temporary file of ours: a part, or an old file moved aside while a part
// took its name (RemoteFolder::rename over SFTP).
bool isOurPart(QString file, const QString& prefix) {
    if (file.endsWith(u"-old"))
        file.chop(4);
    if (!file.endsWith(kPartSuffix))
        return false;
    const QString whole = file.chopped(kPartSuffix.size());
    return whole == kBouquetIndex + u'.' + prefix || isOurBouquetFile(whole, prefix);
}

// The reply of the web interface's reload: <e2state>True</e2state>.
bool reloadSucceeded(const QByteArray& body) {
    static const QRegularExpression state(QStringLiteral("<e2state>\\s*(\\w+)\\s*</e2state>"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = state.match(QString::fromUtf8(body));
    return match.hasMatch() && match.captured(1).compare(u"true", Qt::CaseInsensitive) == 0;
}

QString reloadProblem(const SendPlan& plan) {
    const QUrl url = plan.reloadUrl.isEmpty() ? reloadAddress(plan.folder) : plan.reloadUrl;
    const QString address = url.toString(QUrl::RemoveUserInfo);
    HttpAnswer answer;
    try {
        answer = httpGet(url, plan.folder.userName(), plan.password, plan.timeout, plan.cancel);
    } catch (const Exception& error) {
        return error.Message();
    }
    if (answer.status == 401)
        return QStringLiteral("%1 refused the user name or password (HTTP 401)").arg(address);
    if (answer.status != 200)
        return QStringLiteral("%1 answered HTTP %2").arg(address).arg(answer.status);
    if (!reloadSucceeded(answer.body))
        return QStringLiteral("%1 did not confirm the reload").arg(address);
    return {};
}

} // namespace

SendReport sendBouquets(const std::vector<Bouquet>& bouquets, const SendPlan& plan) {
    const auto tell = [&](SendStep step, const QString& file = {}) {
        if (plan.progress)
            plan.progress(step, file);
    };
    // Before the index is in place nothing the receiver reads has changed.
    SendStep step = SendStep::Connecting;
    const auto notSent = [&](const Exception& error) {
        return QStringLiteral("%1 failed: %2. The receiver keeps its old lists")
            .arg(stepText(step), error.Message());
    };

    SendReport report;
    RemoteLogin login;
    login.folder = plan.folder;
    login.password = plan.password;
    login.acceptNewHostKey = plan.acceptNewHostKey;
    login.timeout = plan.timeout;
    login.cancel = plan.cancel;
    RemoteFolder folder(login);
    try {
        tell(step);
        const QStringList names = folder.list();
        // Asked for even when the listing does not show it: a server that
        // hides it must not have it replaced by a new one.
        const std::optional<QByteArray> index = folder.get(kBouquetIndex);

        step = SendStep::BackingUp;
        QStringList ours;
        for (const QString& name : names)
            if (isOurBouquetFile(name, plan.prefix))
                ours.append(name);
        if (index || !ours.isEmpty()) {
            // A folder of its own, even for two sends in one second.
            const QString first =
                backupRootOf(plan) + u'/' + plan.folder.host() + u'/' +
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
            report.backupFolder = first;
            for (int n = 2; QFileInfo::exists(report.backupFolder); ++n)
                report.backupFolder = first + u'_' + QString::number(n);
            if (index) {
                tell(step, kBouquetIndex);
                saveCopy(report.backupFolder, kBouquetIndex, *index);
            }
            for (const QString& name : ours) {
                tell(step, name);
                if (const std::optional<QByteArray> bytes = folder.get(name))
                    saveCopy(report.backupFolder, name, *bytes);
            }
        }

        // What an earlier send that failed left: gone first, so that no
        // name of this one's is taken.
        for (const QString& name : names) {
            if (!isOurPart(name, plan.prefix))
                continue;
            try {
                folder.remove(name);
            } catch (const Exception& error) {
                report.warnings.append(error.Message());
            }
        }

        step = SendStep::Uploading;
        QStringList files;
        // A file half written is taken away again, if the server still
        // answers; else the next send deletes it.
        const auto putInPlace = [&](const QString& file, const QByteArray& bytes) {
            const QString part = partName(file, plan.prefix);
            try {
                folder.put(part, bytes);
                folder.rename(part, file);
            } catch (const Exception&) {
                try {
                    folder.remove(part);
                } catch (const Exception&) {
                }
                throw;
            }
        };
        for (const Bouquet& bouquet : bouquets) {
            tell(step, bouquet.file);
            putInPlace(bouquet.file, bouquet.bytes);
            files.append(bouquet.file);
            ++report.files;
        }

        step = SendStep::WritingIndex;
        tell(step, kBouquetIndex);
        putInPlace(kBouquetIndex, mergedBouquetIndex(index, plan.prefix, files));

        step = SendStep::Deleting;
        for (const QString& name : staleBouquetFiles(names, plan.prefix, files)) {
            tell(step, name);
            try {
                folder.remove(name);
                report.deleted.append(name);
            } catch (const Exception& error) {
                report.warnings.append(error.Message());
            }
        }
    } catch (const EReadError& error) {
        throw EReadError(notSent(error));
    } catch (const Exception& error) {
        throw EWriteError(notSent(error));
    }

    if (plan.reload) {
        tell(SendStep::Reloading);
        report.reloadProblem = reloadProblem(plan);
        report.reloaded = report.reloadProblem.isEmpty();
    }
    return report;
}

} // namespace dorvane
