#pragma once

// The duplicate finder's window in tests: shared by its test files.

#include "gui/duplicates/frmdlg.h"
#include "core/fs/fsnames.h"
#include "support/scriptedplatform.h"

#include <QApplication>
#include <QDir>
#include <QListView>
#include <QMouseEvent>
#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace kestrune::test {

inline QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A left click on one entry of a list, as the user makes it.
inline void clickEntry(QListView* view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    const QPoint p = view->visualRect(index).center();
    const QPoint global = view->viewport()->mapToGlobal(p);
    QMouseEvent press(QEvent::MouseButtonPress, p, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &release);
}

inline void select(QListView* view, int row)
{
    view->setCurrentIndex(view->model()->index(row, 0));
}

inline std::vector<bool> marks(PathListModel& m)
{
    std::vector<bool> out;
    for (int i = 0; i < m.count(); ++i)
        out.push_back(m.isMarked(i));
    return out;
}

// The one message shown since the last look names exactly `paths` (each
// with a reason) under the delete heading; the record is cleared.
inline void expectNotDeleted(const QStringList& paths)
{
    const QStringList shown = scripted().messages();
    scripted().clear();
    ASSERT_EQ(shown.size(), 1);
    const QStringList lines = shown[0].split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), paths.size() + 2) << shown[0].toStdString();
    EXPECT_EQ(lines.first(), QStringLiteral("以下文件未能删除:"));
    for (qsizetype i = 0; i < paths.size(); ++i)
        EXPECT_TRUE(lines[i + 1].startsWith(displayFileNameInLine(paths[i]) + QStringLiteral("：")))
            << lines[i + 1].toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("共 %1 个文件").arg(paths.size()));
}

// A window with shown controls, as the menu opens it.
struct Shown {
    FrmDlg w;
    Shown()
    {
        w.show();
        QApplication::processEvents();
    }
};

}  // namespace kestrune::test
