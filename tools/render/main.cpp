// drifton-render: renders audio through the plug-in offline. See --help.
#include <iostream>
#include <string>
#include <vector>

#include "tools/common/output_file.h"
#include "tools/render/render_tool.h"

int main(int argc, char** argv) {
    tools::installInterruptFlag();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return render::runRenderTool(args, std::cout, std::cerr);
}
