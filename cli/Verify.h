#pragma once
// `dravinex-cli verify`: the store check (catalogue/Store_check.h) from the command line.

#include "cli/Store.h"

#include <iosfwd>

namespace CLI {
class App;
}

namespace dravinex_cli {

struct VerifyOptions {
    StoreOptions store;
    bool repair = false;
};

CLI::App* add_verify_command(CLI::App& app, VerifyOptions& options);
// 0 when nothing was found, 1 when anything was (repaired or not), 2 on a wrong command line.
int run_verify(const VerifyOptions& options, std::ostream& out, std::ostream& err);

} // namespace dravinex_cli
