#pragma once
// A host for tests: records log lines (marked up and plain), status texts and questions.
#include <functional>
#include <string>
#include <vector>

#include "engine/markup.h"
#include "jobs/runner.h"
#include "model/session.h"

namespace qf::test {

class RecordingHost : public Host {
public:
    std::vector<std::string> lines; // marked-up, as logged
    std::vector<std::string> status0, status1;
    std::vector<std::string> questions;
    bool answer = false; // what askYesNo returns
    int pumps = 0;
    // Runs at every processEvents call (e.g. to press Cancel mid-pass).
    std::function<void()> onPump;
    // Runs at every log line (e.g. to change the source while a block is parsed).
    std::function<void(const std::string&)> onLine;

    void logAppended(const std::string& l) override {
        lines.push_back(l);
        if (onLine) onLine(l);
    }
    void statusChanged(int panel, const std::string& t) override {
        (panel == 0 ? status0 : status1).push_back(t);
    }
    void processEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    bool askYesNo(const std::string& q) override {
        questions.push_back(q);
        return answer;
    }
    // The log as plain text, one line per entry, each ending in "\n".
    std::string plainLog() const {
        std::string s;
        for (auto& l : lines) s += plainText(l) + "\n";
        return s;
    }
};

} // namespace qf::test
