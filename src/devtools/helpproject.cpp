#include "devtools/helpproject.h"

namespace kestrune {

namespace {

// The first of the folder's own files (in listing order) whose name is
// `preferred`, else the first whose name ends in `.ending` in any case.
QString findByStemOrEnding(const std::vector<File>& files, const QString& preferred, const QString& ending)
{
    for (const File& f : files) {
        if (f.Name() == preferred)
            return preferred;
    }
    const QString suffix = QLatin1Char('.') + ending;
    for (const File& f : files) {
        if (f.Name().endsWith(suffix, Qt::CaseInsensitive))
            return f.Name();
    }
    return QString();
}

bool holds(const std::vector<File>& files, const QString& name)
{
    for (const File& f : files) {
        if (f.Name() == name)
            return true;
    }
    return false;
}

}  // namespace

QString helpProjectPath(const QString& outputFolder, const QString& baseName)
{
    return joinPath(outputFolder, baseName + QStringLiteral(".hhp"));
}

QStringList helpProjectLines(const Folder& output, const QString& helpFileName)
{
    const QString stem = helpFileName.left(helpFileName.size() - 3);
    const std::vector<File> own = output.Files();

    QStringList lines{QStringLiteral("[OPTIONS]"), QStringLiteral("Compatibility=1.1 or later"), QString(),
                      QStringLiteral("Compiled file=") + helpFileName};
    const QString contents = findByStemOrEnding(own, stem + QStringLiteral("hhc"), QStringLiteral("hhc"));
    if (!contents.isEmpty())
        lines << QStringLiteral("Contents file=") + contents;

    // The page named after the help file is given by name; the two usual
    // start pages by their full path.
    const QString home = QStringLiteral("主页.htm");
    const QString index = QStringLiteral("index.htm");
    if (holds(own, stem + QStringLiteral("htm")))
        lines << QStringLiteral("Default topic=") + stem + QStringLiteral("htm");
    else if (holds(own, home))
        lines << QStringLiteral("Default topic=") + joinPath(output.Path(), home);
    else if (holds(own, index))
        lines << QStringLiteral("Default topic=") + joinPath(output.Path(), index);

    lines << QStringLiteral("Display compile progress=No");
    const QString indexFile = findByStemOrEnding(own, stem + QStringLiteral("hhk"), QStringLiteral("hhk"));
    if (!indexFile.isEmpty())
        lines << QStringLiteral("Index file=") + indexFile;
    lines << QStringLiteral("Language=0x804 中文(中国)") << QString() << QStringLiteral("[FILES]");
    walkFiles(output, true, [&lines](const File& f) { lines << f.Path(); });
    lines << QStringLiteral("[INFOTYPES]");
    return lines;
}

void writeHelpProject(const FileSystemObject& fso, const QString& outputFolder, const QString& baseName,
                      const QString& helpFileName)
{
    const QString path = helpProjectPath(fso.GetFolder(outputFolder).Path(), baseName);
    if (!fso.FileExists(path))
        fso.CreateTextFile(path).Close();
    // Listed afresh, now that the project file is there.
    const QStringList lines = helpProjectLines(fso.GetFolder(outputFolder), helpFileName);
    TextStream out = fso.CreateTextFile(path);
    for (const QString& line : lines)
        out.WriteLine(line);
    out.Close();
}

}  // namespace kestrune
