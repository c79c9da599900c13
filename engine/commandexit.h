#pragma once

// The exit codes the tool's commands share (the command line's `commission`, the window program's
// `--export-journal`), so that a script reads them the same way from either.
namespace CommandExit {
constexpr int kSuccess = 0;
// The command ran but did not get what was asked: a node failed, nothing matched, a record could not be kept.
constexpr int kFailed = 1;
// The arguments cannot be used (a usage line or the reason is printed), or a named port cannot be opened.
constexpr int kUsage = 2;
} // namespace CommandExit
