#pragma once
// map27dump as a function of its arguments and streams, so that tests and the fuzzer run the whole
// program without starting a process.
#include <istream>
#include <ostream>
#include <string>
#include <vector>

// arguments: the command line without the program's name. Returns the exit status.
int RunMap27Dump(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
                 std::ostream& err);
