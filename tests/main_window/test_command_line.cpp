// The command-line arguments: what each asks for, and what the program says and exits with.

#include <QtTest>
#include <cstdio>
#include <memory>

#include "main_window/command_line.h"

using namespace numarika;
using Action = CommandLine::Action;

namespace {

// What answerCommandLine wrote to one stream.
QString readBack(std::FILE* file) {
    std::rewind(file);
    QByteArray bytes;
    char buffer[512];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file))
        bytes.append(buffer, n);
    return QString::fromUtf8(bytes);
}

struct Answer {
    std::optional<int> exitCode;
    QString out;
    QString err;
};

Answer answer(const QStringList& arguments) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
    Answer a;
    if (!out || !err) return a;
    a.exitCode = answerCommandLine(parseCommandLine(arguments), out.get(), err.get());
    a.out = readBack(out.get());
    a.err = readBack(err.get());
    return a;
}

}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
  private slots:
    void actions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("badArgument");
        QTest::newRow("none") << QStringList{} << Action::Run << QString();
        QTest::newRow("scan") << QStringList{"--scan"} << Action::Scan << QString();
        QTest::newRow("scan twice") << QStringList{"--scan", "--scan"} << Action::Scan << QString();
        QTest::newRow("help") << QStringList{"--help"} << Action::Help << QString();
        QTest::newRow("-h") << QStringList{"-h"} << Action::Help << QString();
        QTest::newRow("version") << QStringList{"--version"} << Action::Version << QString();
        QTest::newRow("scan, help") << QStringList{"--scan", "--help"} << Action::Help << QString();
        QTest::newRow("version first")
            << QStringList{"--version", "--bad"} << Action::Version << QString();
        QTest::newRow("wrong first") << QStringList{"--bad", "--help"} << Action::Error << "--bad";
        QTest::newRow("after scan") << QStringList{"--scan", "-x"} << Action::Error << "-x";
        QTest::newRow("single dash") << QStringList{"-scan"} << Action::Error << "-scan";
        QTest::newRow("a file") << QStringList{"picture.jpg"} << Action::Error << "picture.jpg";
        QTest::newRow("empty") << QStringList{""} << Action::Error << "";
        QTest::newRow("end of options") << QStringList{"--"} << Action::Error << "--";
        QTest::newRow("Qt's own") << QStringList{"-platform", "xcb"} << Action::Error
                                  << "-platform";
    }
    void actions() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QString, badArgument);
        const CommandLine command = parseCommandLine(arguments);
        QCOMPARE(command.action, action);
        QCOMPARE(command.badArgument, badArgument);
    }

    void argvSkipsTheProgramName() {
        char name[] = "numarika";
        char scan[] = "--scan";
        char* argv[] = {name, scan, nullptr};
        QCOMPARE(parseCommandLine(1, argv).action, Action::Run);
        QCOMPARE(parseCommandLine(2, argv).action, Action::Scan);
    }

    void startingIsLeftToTheProgram() {
        for (const QStringList& arguments : {QStringList{}, QStringList{"--scan"}}) {
            const Answer a = answer(arguments);
            QVERIFY(!a.exitCode.has_value());
            QVERIFY(a.out.isEmpty() && a.err.isEmpty());
        }
    }

    void help() {
        const Answer a = answer({"--help"});
        QCOMPARE(a.exitCode.value_or(-1), 0);
        QVERIFY(a.err.isEmpty());
        QVERIFY(a.out.startsWith(QStringLiteral("使い方: numarika [--scan]\n")));
        const qsizetype english = a.out.indexOf(QLatin1String("\nUsage: numarika [--scan]\n"));
        QVERIFY(english > 0);
        // Every option explained in both languages.
        for (const char* option : {"\n  --scan ", "\n  -h, --help ", "\n  --version "}) {
            QVERIFY2(a.out.left(english).contains(QLatin1String(option)), option);
            QVERIFY2(a.out.mid(english).contains(QLatin1String(option)), option);
        }
        QVERIFY(a.out.endsWith('\n'));
    }

    void version() {
        const Answer a = answer({"--version"});
        QCOMPARE(a.exitCode.value_or(-1), 0);
        QCOMPARE(a.out, QStringLiteral("numarika 1.00\n"));
        QVERIFY(a.err.isEmpty());
    }

    void wrongArgument() {
        const Answer a = answer({"--scna"});
        QCOMPARE(a.exitCode.value_or(-1), 2);
        QVERIFY(a.out.isEmpty());
        const QStringList lines = a.err.split('\n');
        QCOMPARE(lines.size(), 3);  // Japanese, English, and the final newline
        QVERIFY(lines[0].startsWith(QStringLiteral("numarika: 引数 --scna は使えません。")));
        QCOMPARE(lines[1],
                 QStringLiteral("numarika: unknown argument --scna (numarika --help shows the "
                                "usage)."));
        QVERIFY(lines[2].isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
