#!/usr/bin/env bash
# Stands in for dravinex-cli: its help with one subcommand that no manual page describes,
# as after a subcommand was added and its page forgotten.
cat <<'HELP'
Dravinex without windows: the data files and the data store from the command line.
Usage: dravinex-cli [OPTIONS] SUBCOMMAND

Options:
  -h,--help                   Print this help message and exit
  --version                   Display program version information and exit

Subcommands:
  extract                     Unpack new packages into the data store, or one named package
  tree                        Show the data store: areas, wells and each well's files
  frobnicate                  A subcommand without a manual page section
HELP
