#pragma once
// The status bar: panel 0 shows the state ("Ready", "Reading FEATURE_1.EVO"), as wide as
// its text and one more letter; panel 1 the detail or progress of the running job, in
// the width panel 0 leaves. The bar's hint repeats panel 1, in case it is cut off, and
// follows it while shown.
#include <array>

#include <QStatusBar>
#include <QString>

class QLabel;

namespace qf {

class StatusLine : public QStatusBar {
public:
    explicit StatusLine(QWidget* parent = nullptr);
    // The text of a panel, given without its leading blank; repainted at once, so that it
    // shows while a job keeps the window busy. Panel 1's text also becomes the hint.
    void setPanel(int panel, const QString& text);
    QString panelText(int panel) const { return shown_.at(panel ? 1 : 0); }
    // The bar's hint; a hint on the screen changes with it.
    void setHint(const QString& hint);
    // The bar's width at which both panel texts are shown whole; measured on the shown bar.
    int widthFor(const QString& state, const QString& detail) const;

private:
    int textWidth(const QString& text) const;
    // What panel 1 shows of a detail text: a detail that repeats the state before its
    // progress (Rebuild's "Rebuilding FEATURE_1.EVO 512/4096 Mbytes...") shows only the
    // rest, so that the remaining time has room; the hint keeps the whole text.
    static QString detailShown(const QString& state, const QString& detail);
    void showDetail();
    std::array<QLabel*, 2> panels_{};
    std::array<QString, 2> shown_;
};

} // namespace qf
