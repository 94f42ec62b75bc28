#pragma once
// What the window model needs from a front end (the window, the command line, a test):
// the view of what changed (a job's events, once the model has taken them in), its turns
// during a pass run where the window is, and its questions.
#include <string>

#include "engine/events.h"

namespace qf {

class Host : public JobEvents {
public:
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
