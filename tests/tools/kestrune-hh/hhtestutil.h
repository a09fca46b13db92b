#pragma once

// Small helpers shared by the decompiler tests (no Qt here).

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrune::hh::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed afterwards.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

// Every regular file below `root`, by relative path, with its bytes.
std::map<std::string, std::string> snapshot(const std::string& root);

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs a program with arguments (no shell) and collects its output.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args);

std::string dataFile(const std::string& name);
std::string hhProgram();

}  // namespace kestrune::hh::test
