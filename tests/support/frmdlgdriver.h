#pragma once

// Driving the duplicate finder's window as its user does: clicks on list
// entries, the current entry, the marks, and the window shown.

#include "gui/duplicates/frmdlg.h"

#include <QApplication>
#include <QDir>
#include <QListView>
#include <QMouseEvent>

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
