#include "DesktopApplication.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace {

// The data folders in the order they are searched: the user's own first.
QStringList DataFolders()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QString others = qEnvironmentVariable("XDG_DATA_DIRS");
    if (others.isEmpty())
        others = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders{home};
    folders += others.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return folders;
}

// The Exec value of an entry's [Desktop Entry] group, or empty.
QString ExecOf(const QString& entryPath)
{
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QStringLiteral("[Desktop Entry]");
        else if (inEntry && line.startsWith(QStringLiteral("Exec")) &&
                 line.mid(4).trimmed().startsWith(QLatin1Char('=')))
            return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
    }
    return {};
}

QString FindEntry(const QString& id)
{
    // An id with dashes may also stand for a path below applications/ ("kde-foo.desktop").
    QString nested = QString(id).replace(QLatin1Char('-'), QLatin1Char('/'));
    for (const QString& folder : DataFolders()) {
        for (const QString& name : {id, nested}) {
            QString path = folder + QStringLiteral("/applications/") + name;
            if (QFile::exists(path))
                return path;
        }
    }
    return {};
}

} // namespace

std::optional<DesktopCommand> ExpandExecLine(const QString& exec, const QString& file)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        QChar c = exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                word += exec[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words << word;
    if (words.isEmpty())
        return std::nullopt;

    QStringList arguments;
    bool placed = false;
    for (const QString& each : words) {
        // A field code standing alone as a word takes or leaves a whole argument.
        if (each == QStringLiteral("%f") || each == QStringLiteral("%F") ||
            each == QStringLiteral("%u") || each == QStringLiteral("%U")) {
            arguments << file;
            placed = true;
            continue;
        }
        if (each == QStringLiteral("%i") || each == QStringLiteral("%c") ||
            each == QStringLiteral("%k"))
            continue;
        QString expanded;
        for (qsizetype i = 0; i < each.size(); ++i) {
            if (each[i] != QLatin1Char('%') || i + 1 == each.size()) {
                expanded += each[i];
                continue;
            }
            QChar code = each[++i];
            if (code == QLatin1Char('%')) {
                expanded += QLatin1Char('%');
            } else if (QStringLiteral("fFuU").contains(code)) {
                expanded += file;
                placed = true;
            }
        }
        arguments << expanded;
    }
    if (!placed)
        arguments << file;
    DesktopCommand command{arguments.takeFirst(), arguments};
    return command;
}

std::optional<DesktopCommand> DefaultApplicationCommand(const QString& mimeType,
                                                        const QString& file)
{
    QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return std::nullopt;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0)
        return std::nullopt;
    QString id = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (id.isEmpty())
        return std::nullopt;
    QString entry = FindEntry(id);
    if (entry.isEmpty())
        return std::nullopt;
    QString exec = ExecOf(entry);
    if (exec.isEmpty())
        return std::nullopt;
    return ExpandExecLine(exec, file);
}
