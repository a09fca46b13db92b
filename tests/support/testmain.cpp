#include "support/scriptedplatform.h"
#include "support/tempdir.h"

#include "gui/common/batchprogress.h"
#include "core/fs/programfolder.h"
#include "gui/common/qtplatform.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace kestrune::test {

namespace {
std::unique_ptr<ScriptedPlatform> g_scripted;

// Every test starts with a fresh scripted platform and the program folder
// back at its default.
class FreshPlatform : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        g_scripted = std::make_unique<ScriptedPlatform>();
        setPlatform(g_scripted.get());
        setProgramFolder(QString());
        setFolderWritableCheck({});
        BatchProgress::setTestHook({});
        BatchProgress::setShowDelay(500);
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        QApplication::processEvents();
        // A test that quit the program (退出) leaves the application's quit
        // standing with no event loop to end, and every event loop of a later
        // test in this process would return at once: a short run of the
        // application's own loop clears it.
        QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
        QApplication::exec();
        setPlatform(nullptr);
        g_scripted.reset();
    }
};
}  // namespace

ScriptedPlatform& scripted()
{
    return *g_scripted;
}

}  // namespace kestrune::test

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kestrune::setDefaultPlatform(&kestrune::qtPlatform());
    // The user's data folder of the tests is their own, never the real one
    // (removed by its bytes: its trash holds names that are not UTF-8).
    kestrune::test::TempDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new kestrune::test::FreshPlatform);
    return RUN_ALL_TESTS();
}
