#include "StatusLine.h"

#include <QCursor>
#include <QFontMetrics>
#include <QLabel>
#include <QToolTip>

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

QString StatusLine::detailShown(const QString& state, const QString& detail) {
    const QString repeated = state.trimmed() + u' ';
    if (repeated.size() > 1 && detail.startsWith(repeated) && detail.size() > repeated.size())
        return detail.mid(repeated.size());
    return detail;
}

void StatusLine::showDetail() {
    panels_[1]->setText(QStringLiteral(" ") + detailShown(shown_[0], shown_[1]));
    panels_[1]->repaint();
}

void StatusLine::setPanel(int panel, const QString& text) {
    panel = panel == 0 ? 0 : 1;
    shown_[panel] = text;
    if (panel == 0) {
        QLabel* label = panels_[0];
        label->setText(QStringLiteral(" ") + text);
        label->setFixedWidth(textWidth(label->text() + u'a')); // one letter of margin
        label->repaint();
    } else {
        setHint(text);
    }
    showDetail();
}

void StatusLine::setHint(const QString& hint) {
    if (toolTip() == hint) return;
    const QString before = toolTip();
    setToolTip(hint);
    // A hint on the screen is a snapshot: put the new text in its place.
    if (QToolTip::isVisible() && QToolTip::text() == before && !before.isEmpty())
        QToolTip::showText(QCursor::pos(), hint, this);
}

int StatusLine::widthFor(const QString& state, const QString& detail) const {
    // Margins, spacing and the size grip: what the shown bar gives neither panel, since
    // panel 1 takes all the width that is left.
    const int rest = width() - panels_[0]->width() - panels_[1]->width();
    return textWidth(QStringLiteral(" ") + state + u'a') +
           textWidth(QStringLiteral(" ") + detailShown(state, detail)) + rest;
}

} // namespace qf
