#include "main_window/command_line.h"

namespace numarika {

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine result;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--scan")) {
            result.action = CommandLine::Action::Scan;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return {CommandLine::Action::Help, {}};
        } else if (argument == QLatin1String("--version")) {
            return {CommandLine::Action::Version, {}};
        } else {
            return {CommandLine::Action::Error, argument};
        }
    }
    return result;
}

CommandLine parseCommandLine(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return parseCommandLine(arguments);
}

QString usageText() {
    return QStringLiteral(
        "使い方: numarika [--scan]\n"
        "        numarika --help | --version\n"
        "画面を取り込み、範囲を指定して保存・コピー・印刷する画面キャプチャツールです。\n"
        "  --scan       画面をスキャンします（起動中のヌマリカがあればそちらで）\n"
        "  -h, --help   この使い方を表示して終了します\n"
        "  --version    バージョンを表示して終了します\n"
        "\n"
        "Usage: numarika [--scan]\n"
        "       numarika --help | --version\n"
        "A screen-capture tool: scan the desktop, pick a range, save, copy or print it.\n"
        "  --scan       scan the desktop (in the copy already running, if there is one)\n"
        "  -h, --help   show this usage and exit\n"
        "  --version    show the version and exit\n");
}

QString versionText() { return QStringLiteral("numarika %1\n").arg(QLatin1String(kVersion)); }

QString errorText(const QString& badArgument) {
    return QStringLiteral(
               "numarika: 引数 %1 は使えません。使い方は numarika --help で表示されます。\n"
               "numarika: unknown argument %1 (numarika --help shows the usage).\n")
        .arg(badArgument);
}

std::optional<int> answerCommandLine(const CommandLine& command, std::FILE* out, std::FILE* err) {
    switch (command.action) {
        case CommandLine::Action::Run:
        case CommandLine::Action::Scan:
            return std::nullopt;
        case CommandLine::Action::Help:
            std::fputs(usageText().toLocal8Bit().constData(), out);
            return 0;
        case CommandLine::Action::Version:
            std::fputs(versionText().toLocal8Bit().constData(), out);
            return 0;
        case CommandLine::Action::Error:
            std::fputs(errorText(command.badArgument).toLocal8Bit().constData(), err);
            return 2;
    }
    return 2;
}

}  // namespace numarika
