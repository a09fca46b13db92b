#include "gui/filemanager/frmmove.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace kestrune;

namespace {

// Saves a picture of the window when KESTRUNE_SCREENSHOTS names a folder.
void keepPicture(QWidget* window, const QString& name)
{
    const QString folder = qEnvironmentVariable("KESTRUNE_SCREENSHOTS");
    if (!folder.isEmpty())
        window->grab().save(QDir(folder).filePath(name));
}

}  // namespace

TEST(frmmoveLayout, CaptionsFitAndControlsDoNotOverlap)
{
    frmmove w;
    w.show();
    keepPicture(&w, QStringLiteral("frmmove.png"));

    const QList<QWidget*> controls = w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_GE(controls.size(), 21);
    for (QWidget* c : controls) {
        const QString name = c->objectName() + QLatin1Char(' ') + c->property("Index").toString();
        EXPECT_TRUE(w.rect().contains(c->geometry())) << name.toStdString();
        auto* label = qobject_cast<QLabel*>(c);
        if (label && label->wordWrap()) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height()) << name.toStdString();
        } else if (qobject_cast<QAbstractButton*>(c) || label) {
            EXPECT_LE(c->sizeHint().width(), c->width()) << name.toStdString();
            EXPECT_LE(c->fontMetrics().height(), c->height()) << name.toStdString();
        } else if (auto* edit = qobject_cast<QLineEdit*>(c)) {
            EXPECT_GE(edit->height(), edit->fontMetrics().height() + 4) << name.toStdString();
        }
        for (QWidget* other : controls) {
            if (other == c)
                continue;
            EXPECT_FALSE(c->geometry().intersects(other->geometry()))
                << name.toStdString() << " overlaps " << other->objectName().toStdString();
        }
    }
    // The combo box shows its longest design item whole.
    const QFontMetrics fm = w.Combo1->fontMetrics();
    EXPECT_LE(fm.horizontalAdvance(QStringLiteral("*.rar")), w.Combo1->lineEdit()->width());

    // With the delete options chosen the window still looks whole.
    w.Option1[3]->click();
    keepPicture(&w, QStringLiteral("frmmove-delete.png"));
}
