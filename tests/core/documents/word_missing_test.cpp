// Creating the instance without the office or without the helper fails with
// a description the window can show.

#include "support/word_support.h"

#include <gtest/gtest.h>

using namespace kestrune;
using namespace kestrune::test;

TEST(WordEngineMissing, WrongOfficeFolderFailsCreationWithItsReason)
{
    TempDir dir;
    try {
        createWordApplication(nullptr, WordEngineLocation{wordHelperPath(), dir.file(QStringLiteral("no-office"))});
        FAIL() << "created an instance without an office";
    } catch (const WordError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("LibreOffice"))) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QStringLiteral("找不到"))) << e.description().toStdString();
    }
}

TEST(WordEngineMissing, MissingHelperFailsCreation)
{
    TempDir dir;
    try {
        createWordApplication(nullptr, WordEngineLocation{dir.file(QStringLiteral("kestrune-word")), QString()});
        FAIL() << "created an instance without its helper";
    } catch (const WordError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("找不到文档引擎"))) << e.description().toStdString();
        // The Word helper comes in a package of its own: the message names it.
        EXPECT_TRUE(e.description().contains(QStringLiteral("请安装 kestrune-word 软件包")))
            << e.description().toStdString();
    }
}

TEST(WordEngineMissing, HelperThatCannotLoadTheOfficeLibrariesIsReportedAsMissingOffice)
{
    // A stand-in helper that fails the way the real one does when the
    // office's libraries are not installed.
    TempDir dir;
    const QString fake = dir.write(QStringLiteral("kestrune-word"),
                                   "#!/bin/sh\necho 'kestrune-word: error while loading shared libraries: "
                                   "libuno_sal.so.3: cannot open shared object file' >&2\nexit 127\n");
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    try {
        createWordApplication(nullptr, WordEngineLocation{fake, QString()});
        FAIL() << "created an instance from a helper that cannot run";
    } catch (const WordError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("没有安装 LibreOffice"))) << e.description().toStdString();
    }
}

TEST(WordEngineMissing, HelperThatDiesMidwayEndsTheInstance)
{
    // Ready, then gone on the first request: the open fails and Quit is raised.
    TempDir dir;
    const QString fake = dir.write(QStringLiteral("kestrune-word"),
                                   "#!/bin/sh\necho '{\"ready\":true,\"startSeconds\":0}'\nread line\nexit 3\n");
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto app = createWordApplication(nullptr, WordEngineLocation{fake, QString()});
    int quits = 0;
    QObject::connect(app.get(), &WordApplication::Quit, [&] { ++quits; });
    EXPECT_THROW(app->openDocument(dir.file(QStringLiteral("a.doc")), false), WordError);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(app->isRunning());
}
