#pragma once
// The window's side of qf::Host: log lines and status texts go straight to the widgets,
// pending user events are handled during long passes, and questions become message boxes.
#include <string>

#include "model/host.h"

namespace qf {

class TfMain;

class GuiHost : public Host {
public:
    explicit GuiHost(TfMain& window) : window_(window) {}
    void logAppended(const std::string& markedLine) override;
    void statusChanged(int panel, const std::string& text) override;
    // Brings the widgets in line with the model, then lets Qt handle pending events
    // (a click on "Cancel", a ticked box) before the pass goes on.
    void processEvents() override;
    void repaint() override;
    // A Yes/No message box with No as the default button.
    bool askYesNo(const std::string& question) override;

private:
    TfMain& window_;
};

} // namespace qf
