#include "app/startup.h"

#include "core/system/appicon.h"
#include "gui/common/qtplatform.h"
#include "version.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kestrune {

void prepareApplication(QApplication& app)
{
    QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    QApplication::setWindowIcon(appIcon());
    // Questions and messages are the windows' from here on.
    setDefaultPlatform(&qtPlatform());
    // The program's texts are Chinese; Qt's standard buttons follow them.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_zh_CN", "qt_zh_CN"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QString::fromLatin1(name), dir))
            QApplication::installTranslator(translator);
        else
            delete translator;
    }
}

}  // namespace kestrune
