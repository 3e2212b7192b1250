#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The viewer's command line: the usual --help and --version, and an optional
// folder to open. The mount agent's "--on-mount" is told apart before this,
// on the exact argument. An unknown option is an error to report; it is never
// taken for a folder.
class CommandLine {
public:
    enum class Run { viewer, help, version };

    // `arguments` starts with the program, as QCoreApplication::arguments() does.
    explicit CommandLine(const QStringList& arguments);

    Run run() const { return run_; }
    // The first argument that is not an option, as written; empty when none.
    QString folder() const { return folder_; }
    // What was wrong with the options, for standard error; empty when nothing.
    QString errorText() const { return errorText_; }

    // Print their text to standard output and end the process with status 0.
    // They need a QCoreApplication, for the program's name and version.
    [[noreturn]] void showHelp();
    [[noreturn]] void showVersion();

private:
    QCommandLineParser parser_;
    Run run_ = Run::viewer;
    bool helpAll_ = false;
    QString folder_;
    QString errorText_;
};
