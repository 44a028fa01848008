// Runs the tool's argument handling in-process with captured output, for the command tests.
#pragma once
#include <cstdio>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"

namespace tvd::test {

struct ToolRun {
    int status;
    std::string out, err;
};

inline ToolRun RunTool(std::vector<std::string> args) {
    args.insert(args.begin(), "tarvikdorn");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ToolRun r{cli::RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err), {}, {}};
    for (auto [f, s] : {std::pair{out, &r.out}, std::pair{err, &r.err}}) {
        std::rewind(f);
        for (int c; (c = std::fgetc(f)) != EOF;)
            s->push_back(static_cast<char>(c));
        std::fclose(f);
    }
    return r;
}

// The JSON on one line: line breaks and the indentation after them dropped.
inline std::string Flat(const std::string& json) {
    return std::regex_replace(json, std::regex("\n *"), "");
}

} // namespace tvd::test
