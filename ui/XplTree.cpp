#include "XplTree.h"

#include <algorithm>

#include <QStyle>
#include <QTreeWidgetItemIterator>

namespace qf {

namespace {

void addNodes(QTreeWidgetItem* parent, QTreeWidget* tree, const std::vector<TreeNode>& nodes) {
    for (const TreeNode& n : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, QString::fromStdString(n.text));
        addNodes(item, tree, n.children);
        item->setExpanded(n.expanded);
    }
}

} // namespace

XplTree::XplTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("tvXPL"));
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setToolTip(QStringLiteral("Infos from your XPL file"));
    setMinimumWidth(50);
    setIndentation(14); // narrower steps than the default, so entries need less width
}

bool XplTree::showNodes(const std::vector<TreeNode>& nodes) {
    if (nodes == shown_) return false;
    shown_ = nodes;
    clear();
    addNodes(nullptr, this, shown_);
    return true;
}

int XplTree::neededWidth() const {
    // The widest shown entry where it stands, the frame, and room for the vertical scroll
    // bar that a listed title usually needs.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    int widest = 0;
    for (QTreeWidgetItemIterator it(const_cast<XplTree*>(this)); *it; ++it) {
        const QRect place = visualItemRect(*it);
        if (place.isEmpty()) continue; // under a closed node
        const int width = itemDelegate()->sizeHint(option, indexFromItem(*it)).width();
        widest = std::max(widest, place.left() + horizontalOffset() + width);
    }
    return widest + 2 * frameWidth() +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

} // namespace qf
