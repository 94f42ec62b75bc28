#pragma once
// A panel whose children keep their distance to the edges they are anchored to when the
// panel is resized; a child anchored to neither edge of a direction keeps its place
// about the middle.
#include <functional>
#include <vector>

#include <QRect>
#include <QSize>
#include <QWidget>

namespace qf {

enum Anchor { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kAll = 15 };

class AnchorPanel : public QWidget {
public:
    // `layoutSize` is the size the children's places are given for.
    explicit AnchorPanel(QSize layoutSize, QWidget* parent = nullptr);

    template <class W> W* place(W* w, QRect r, int anchors = kLeft | kTop) {
        w->setParent(this);
        w->setGeometry(r);
        items_.push_back({w, r, anchors});
        return w;
    }
    std::function<void()> onResized;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    struct Item {
        QWidget* widget;
        QRect rect;
        int anchors;
    };
    QSize layoutSize_;
    std::vector<Item> items_;
};

} // namespace qf
