#include "AnchorPanel.h"

#include <algorithm>

namespace qf {

AnchorPanel::AnchorPanel(QSize layoutSize, QWidget* parent)
    : QWidget(parent), layoutSize_(layoutSize) {
    resize(layoutSize);
}

void AnchorPanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int dw = width() - layoutSize_.width(), dh = height() - layoutSize_.height();
    for (const Item& it : items_) {
        QRect r = it.rect;
        const bool l = it.anchors & kLeft, t = it.anchors & kTop, rt = it.anchors & kRight,
                   b = it.anchors & kBottom;
        if (l && rt)
            r.setWidth(std::max(0, r.width() + dw));
        else if (rt)
            r.moveLeft(r.left() + dw);
        else if (!l)
            r.moveLeft(r.left() + dw / 2);
        if (t && b)
            r.setHeight(std::max(0, r.height() + dh));
        else if (b)
            r.moveTop(r.top() + dh);
        else if (!t)
            r.moveTop(r.top() + dh / 2);
        it.widget->setGeometry(r);
    }
    if (onResized) onResized();
}

} // namespace qf
