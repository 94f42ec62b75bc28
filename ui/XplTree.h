#pragma once
// tvXPL: the playlist's titles, streams and chapters as the reader lists them.
#include <vector>

#include <QTreeWidget>

#include "model/window_model.h"

namespace qf {

class XplTree : public QTreeWidget {
public:
    explicit XplTree(QWidget* parent = nullptr);
    // Shows `nodes`, expanded as they say; false when they are already shown.
    bool showNodes(const std::vector<TreeNode>& nodes);
    // The width at which every shown entry fits whole.
    int neededWidth() const;

private:
    std::vector<TreeNode> shown_;
};

} // namespace qf
