// Fills the manual page and the shell completion of quillfen-cli from the program's own
// lists of commands and options, so that neither can fall behind the program.
//   quillfen-docgen TEMPLATE OUTPUT
// replaces each line that ends in "quillfen-docgen: commands" or "... options" (roff
// entries for the manual page), "... completion-commands" or "... completion-options"
// (bash for the completion); a comment of the template's own language carries it.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/options.h"

using namespace qf::cli;

namespace {

// Text as roff reads it: backslashes kept, a leading dot or quote not taken as a request,
// and the dashes of option names as the minus signs a terminal can type.
std::string roff(const std::string& text) {
    std::string out;
    bool wordStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && (wordStart || (i > 0 && text[i - 1] == '-')))
            out += "\\-";
        else
            out += c;
        wordStart = c == ' ' || c == '(' || c == '"' || c == '/';
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string commandsRoff() {
    std::string s;
    for (const CommandInfo& c : commandList())
        s += ".TP\n.BI " + c.word + " \" " + c.argument + "\"\n" + roff(c.help) + "\n";
    return s;
}

std::string optionsRoff() {
    std::string s;
    for (const OptionInfo& o : optionList()) {
        s += ".TP\n";
        for (size_t k = 0; k < o.names.size(); ++k)
            s += (k ? ", " : "") + std::string("\\fB") + roff(o.names[k]) + "\\fR";
        if (!o.value.empty()) s += " \\fI" + o.value + "\\fR";
        s += "\n" + roff(o.help) + "\n";
    }
    return s;
}

std::string completionCommands() {
    std::string words;
    for (const CommandInfo& c : commandList()) words += c.word + " ";
    return "    local commands=\"" + words + "help\"\n";
}

// One case branch per command with its options, and the options that take a value.
std::string completionOptions() {
    std::string s = "    case $command in\n";
    std::string valued;
    for (const CommandInfo& c : commandList()) {
        std::string names;
        for (const OptionInfo& o : optionList()) {
            bool mine = false;
            for (const std::string& w : o.commands) mine = mine || w == c.word;
            if (!mine) continue;
            for (const std::string& n : o.names) names += (names.empty() ? "" : " ") + n;
        }
        s += "        " + c.word + ") options=\"" + names + "\" ;;\n";
    }
    s += "    esac\n";
    for (const OptionInfo& o : optionList())
        if (!o.value.empty())
            for (const std::string& n : o.names) valued += (valued.empty() ? "" : "|") + n;
    return s + "    local valued=\"" + valued + "\"\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: quillfen-docgen TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::ostringstream out;
    auto marks = [](const std::string& line, const std::string& what) {
        const std::string mark = "quillfen-docgen: " + what;
        return line.size() >= mark.size() &&
               line.compare(line.size() - mark.size(), mark.size(), mark) == 0;
    };
    for (std::string line; std::getline(in, line);) {
        if (marks(line, "commands"))
            out << commandsRoff();
        else if (marks(line, "options"))
            out << optionsRoff();
        else if (marks(line, "completion-commands"))
            out << completionCommands();
        else if (marks(line, "completion-options"))
            out << completionOptions();
        else
            out << line << "\n";
    }
    if (!in.eof()) {
        std::cerr << "quillfen-docgen: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ofstream(argv[2]) << out.str();
    return 0;
}
