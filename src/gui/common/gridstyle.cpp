#include "gui/common/gridstyle.h"

#include <QProxyStyle>
#include <QTableView>

namespace kestrune {

namespace {

class CompactCellStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        // The item view pads a cell's text by this margin plus one on each side.
        if (metric == PM_FocusFrameHMargin)
            return 1;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

void useCompactCells(QTableView* grid)
{
    auto* style = new CompactCellStyle;
    style->setParent(grid);
    grid->setStyle(style);
}

}  // namespace kestrune
