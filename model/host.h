#pragma once
// What the window model needs from a front end (the window, the command line, a test):
// the view of what changed, its turns during a pass, and its questions.
#include <string>

namespace qf {

class Host {
public:
    virtual ~Host() = default;
    // A log line was appended to the model (marked-up text, see markup.h).
    virtual void logAppended(const std::string& markedLine) = 0;
    // Status panel 0 (state) or 1 (progress) changed; text is without the leading blank.
    virtual void statusChanged(int panel, const std::string& text) = 0;
    // Called every 4 MiB of input during a pass run where the window is: handle pending
    // user events.
    virtual void processEvents() {}
    // Called every 64 MiB: bring the view in line with the model.
    virtual void repaint() {}
    // Yes/No question with No as the default answer.
    virtual bool askYesNo(const std::string& question) = 0;
};

// A host that ignores everything and answers No; useful as a default.
class NullHost : public Host {
public:
    void logAppended(const std::string&) override {}
    void statusChanged(int, const std::string&) override {}
    bool askYesNo(const std::string&) override { return false; }
};

} // namespace qf
