#pragma once
// The status bar: panel 0 shows the state ("Ready", "Reading FEATURE_1.EVO"), as wide as
// its text and one more letter; panel 1 the detail or progress of the running job, in
// the width panel 0 leaves. The bar's hint repeats panel 1, in case it is cut off.
#include <array>

#include <QStatusBar>
#include <QString>

class QLabel;

namespace qf {

class StatusLine : public QStatusBar {
public:
    explicit StatusLine(QWidget* parent = nullptr);
    // The text of a panel, given without its leading blank; repainted at once, so that it
    // shows while a job keeps the window busy.
    void setPanel(int panel, const QString& text);
    QString panelText(int panel) const { return shown_.at(panel ? 1 : 0); }
    // The bar's width at which both panel texts are shown whole; measured on the shown bar.
    int widthFor(const QString& state, const QString& detail) const;

private:
    int textWidth(const QString& text) const;
    std::array<QLabel*, 2> panels_{};
    std::array<QString, 2> shown_;
};

} // namespace qf
