#include "GuiHost.h"

#include <QCoreApplication>

#include "Main.h"

namespace qf {

void GuiHost::logAppended(const std::string&) {
    window_.showNewLogLines();
}

void GuiHost::statusChanged(int panel, const std::string& text) {
    window_.showStatus(panel, QString::fromStdString(text));
}

void GuiHost::processEvents() {
    window_.syncFromModel();
    QCoreApplication::processEvents();
}

void GuiHost::repaint() {
    window_.syncFromModel();
    window_.repaint();
}

bool GuiHost::askYesNo(const std::string& question) {
    return window_.askYesNo(QString::fromStdString(question));
}

} // namespace qf
