// The commands of the tool, one unit each.
#pragma once
#include <cstdio>

#include "cli/commands.h"

namespace tvd::cli {

int CmdSystem(const Options& o, std::FILE* out, std::FILE* err);
int CmdList(const Options& o, std::FILE* out, std::FILE* err);
int CmdIdentify(const Options& o, std::FILE* out, std::FILE* err);
int CmdDump(const Options& o, std::FILE* out, std::FILE* err);
int CmdSmart(const Options& o, std::FILE* out, std::FILE* err);
int CmdInfo(const Options& o, std::FILE* out, std::FILE* err);
int CmdWatch(const Options& o, std::FILE* out, std::FILE* err);
int CmdScan(const Options& o, std::FILE* out, std::FILE* err);
int CmdErase(const Options& o, std::FILE* out, std::FILE* err);
int CmdClone(const Options& o, std::FILE* out, std::FILE* err);
int CmdBenchmark(const Options& o, std::FILE* out, std::FILE* err);
int CmdUpdateCheck(const Options& o, std::FILE* out, std::FILE* err);
int CmdReport(const Options& o, std::FILE* out, std::FILE* err);
int CmdOptimize(const Options& o, std::FILE* out, std::FILE* err);
int CmdTweaks(const Options& o, std::FILE* out, std::FILE* err);

} // namespace tvd::cli
