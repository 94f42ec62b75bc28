// quillfen-cli: the jobs of the window, for scripts and batch use.
#include <string>
#include <vector>

#include "cli/commands.h"

int main(int argc, char** argv) {
    return qf::cli::run(std::vector<std::string>(argv + 1, argv + argc));
}
