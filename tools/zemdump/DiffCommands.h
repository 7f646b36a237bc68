// zemdump's commands that compare two snapshots and export to speedscope.
#pragma once
#include <string>

namespace zemdump {

bool readWhole(const char* path, std::string& out);

// "--diff ..." and "--speedscope ...": argv[1] is the command. Exit code.
int runDiff(int argc, char** argv);
int runSpeedscope(int argc, char** argv);

extern const char* const kDiffUsage;

}  // namespace zemdump
