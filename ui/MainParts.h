#pragma once
// What the files of TfMain share: the measures the layout is drawn to, which the view
// also needs when it sizes the playlist tree, and the text conversion.
#include <string>

#include <QSize>
#include <QString>

namespace qf {

// The smallest client size; the window starts at least this big, and wider when the
// status bar needs more room in the font at hand.
inline constexpr int kClientWidth = 362;
inline constexpr int kClientHeight = 358;
// The layout is measured with a 19-pixel status bar and 338 x 203 pages; the
// anchors keep each control's distances to the edges it is tied to from there.
inline constexpr int kLayoutStatusHeight = 19;
inline constexpr QSize kPageSize(338, 203);
inline constexpr int kPageControlWidth = 346;

inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace qf
