// What PMPack needs of the system it runs on; the build chooses hostPosix.cpp
// or hostWin32.cpp.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pm::pmpack {

// True in the Windows build: its own programs are the Windows ones.
bool builtForWindows();

// The program's arguments as UTF-8 text (on Windows read from the wide
// command line, so that any file name comes through).
std::vector<std::string> programArguments(int argc, char** argv);

// The folder of the running PMPack (where the tools it ships lie beside it).
std::filesystem::path ownFolder();

// Runs `program` with `args` (each passed as one argument, whatever it holds)
// in the working folder `folder`, its standard output discarded, and waits.
// Returns the exit code, or -1 with `error` set when it could not be started.
int runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& folder, std::string& error);

// Sets a variable of PMPack's environment, which the programs it runs inherit.
void setEnvironment(const char* name, const std::string& value);

}  // namespace pm::pmpack
