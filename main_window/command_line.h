#pragma once
// The program's few command-line arguments, read before anything else starts so that --help
// and --version answer without a display and a wrong argument is never silently ignored.

#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace numarika {

// What the program is asked to do.
struct CommandLine {
    enum class Action {
        Run,      // no arguments: start normally
        Scan,     // --scan: scan the desktop, in the running copy if there is one
        Help,     // --help, -h
        Version,  // --version
        Error,    // anything else
    };
    Action action = Action::Run;
    QString badArgument;  // the argument not understood (Error only)
};

// The version the program shows (the title bar's Ver1.00).
inline constexpr char kVersion[] = "1.00";

// Reads the arguments after the program's name, left to right: --help, --version or a wrong
// argument decides at once, as with most command-line tools. Needs no application object.
CommandLine parseCommandLine(const QStringList& arguments);
CommandLine parseCommandLine(int argc, char* argv[]);

// The usage (Japanese, then English), the version line and the refusal of a wrong argument.
QString usageText();
QString versionText();
QString errorText(const QString& badArgument);

// Answers --help and --version on `out` and a wrong argument on `err`. Returns the exit code to
// end with, or nothing when the program should go on and start.
std::optional<int> answerCommandLine(const CommandLine& command, std::FILE* out = stdout,
                                     std::FILE* err = stderr);

}  // namespace numarika
