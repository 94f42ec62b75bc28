#include "StatusLine.h"

#include <QFontMetrics>
#include <QLabel>

namespace qf {

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < 2; ++i) {
        panels_[i] = new QLabel;
        panels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        addWidget(panels_[i], i); // panel 1 stretches
    }
    // A long detail text is cut rather than widening the window.
    panels_[1]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

int StatusLine::textWidth(const QString& text) const {
    return QFontMetrics(font()).horizontalAdvance(text);
}

void StatusLine::setPanel(int panel, const QString& text) {
    panel = panel == 0 ? 0 : 1;
    shown_[panel] = text;
    QLabel* label = panels_[panel];
    label->setText(QStringLiteral(" ") + text);
    if (panel == 0)
        label->setFixedWidth(textWidth(label->text() + u'a')); // one letter of margin
    else
        setToolTip(text);
    label->repaint();
}

int StatusLine::widthFor(const QString& state, const QString& detail) const {
    // Margins, spacing and the size grip: what the shown bar gives neither panel, since
    // panel 1 takes all the width that is left.
    const int rest = width() - panels_[0]->width() - panels_[1]->width();
    return textWidth(QStringLiteral(" ") + state + u'a') + textWidth(QStringLiteral(" ") + detail) +
           rest;
}

} // namespace qf
