#include "CommandLine.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

CommandLine::CommandLine(const QStringList& arguments) {
    parser_.setApplicationDescription(u"A photo viewer for the memory card of a Zorva camera."_s);
    const QCommandLineOption help = parser_.addHelpOption();
    const QCommandLineOption version = parser_.addVersionOption();
    parser_.addPositionalArgument(u"folder"_s, u"The folder to open instead of the camera card."_s,
                                  u"[folder]"_s);
    // Unknown options are collected rather than fatal: the viewer still starts.
    if (!parser_.parse(arguments))
        errorText_ = parser_.errorText();
    // The help option also brings --help-all, which adds the GUI's own options.
    helpAll_ = parser_.isSet(u"help-all"_s);
    if (parser_.isSet(help) || helpAll_)
        run_ = Run::help;
    else if (parser_.isSet(version))
        run_ = Run::version;
    const QStringList positional = parser_.positionalArguments();
    if (!positional.isEmpty())
        folder_ = positional.first();
}

void CommandLine::showHelp() {
    // Only the parser's own handling of --help-all prints the GUI's options.
    if (helpAll_)
        parser_.process(QStringList{QCoreApplication::arguments().value(0), u"--help-all"_s});
    parser_.showHelp(0);
}

void CommandLine::showVersion() {
    parser_.showVersion();
}
