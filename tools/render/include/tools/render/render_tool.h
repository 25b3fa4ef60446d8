// drifton-render: the command line, from arguments to files. main() is a thin
// wrapper so that tests can run the whole tool in-process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace render {

// Runs the tool with `args` (without the program name). Normal output goes to
// `out`, errors (one line each) and progress to `err`. Returns the exit status.
int runRenderTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string helpText();

}  // namespace render
