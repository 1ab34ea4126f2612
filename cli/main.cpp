#include "cli/Cli.h"
#include "platform/Process.h"

#include <iostream>

int main(int argc, char** argv)
{
    // Unsynchronised streams buffer on their own, so a dump of a large file reaches the
    // pipe in blocks instead of one write per line.
    std::ios_base::sync_with_stdio(false);
    return dravinex_cli::run_cli(argc, argv, std::cout, std::cerr, platform::error_output_is_terminal());
}
