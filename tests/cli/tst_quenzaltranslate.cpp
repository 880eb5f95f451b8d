// quenzal-translate as a user runs it: a real process, a local DeepSeek stand-in reached
// through http_proxy, the cache in a temporary home, the keyring when one is running.
#include "endlesshttpserver.h"
#include "testhome.h"
#include "testhttpserver.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

const QStringList enDe{"--from", "en", "--to", "de"};

} // namespace

class TestQuenzalTranslate : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home.reset(); // the old home restores the environment first
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<TestHttpServer>();
    }

    // Only the answer goes to standard output; text over the popover's limit is refused.
    void answers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("sent"); // system prompt | text; empty: nothing sent
        const QString plain = "Translate from en to de. Reply with translation only. | ";
        QTest::newRow("words, languages given")
            << enDe + QStringList{"Hello,", "world"} << QByteArray() << u"Hallo\n"_s
            << plain + "Hello, world";
        QTest::newRow("standard input, language detected")
            << QStringList{"--style", "formal"}
            << QByteArray("Bonjour à tous, comment allez-vous ?\n") << u"Hallo\n"_s
            << u"Translate from fr to en in formal, professional style. Reply with translation "
               "only. | Bonjour à tous, comment allez-vous ?"_s;
        QTest::newRow("5000 characters") << enDe << QString(4999, QChar(0xe9)).toUtf8() + "\n"
                                         << u"Hallo\n"_s << plain + QString(4999, QChar(0xe9));
        QTest::newRow("detection only")
            << QStringList{"--detect"} << QByteArray("Dette er en setning på norsk, skrevet i dag.")
            << u"no\n"_s << QString();
    }
    void answers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, out);
        QFETCH(QString, sent);
        const Run run = translate(arguments, input);
        QCOMPARE(run.err, "");
        QCOMPARE(run.out, out);
        QCOMPARE(run.status, 0);
        QStringList requests;
        for (const TestHttpServer::Request &request : m_server->requests()) {
            QCOMPARE(request.target, "http://deepseek.test/chat/completions");
            const QJsonDocument body = QJsonDocument::fromJson(request.body);
            requests.append(body["messages"][0]["content"].toString() + " | " +
                            body["messages"][1]["content"].toString());
        }
        QCOMPARE(requests.join('\n'), sent);
    }

    // Refused with a message on standard error (its start is compared); nothing that long is
    // read whole, let alone sent. DeepSeek answers with an error here, should anything reach it.
    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString tooLong = "Text is too long. Maximum 5000 characters";
        const QString badKey = "An API key is one line of at most 1024 visible ASCII characters";
        const QStringList setKey{"--set-api-key"};
        const auto row = [](const char *name, QStringList arguments, QByteArray input, int status,
                            QString message) {
            QTest::newRow(name) << arguments << input << status << message;
        };
        row("auto target", {"--to", "auto", "Hi"}, {}, 2, "Unknown target language");
        row("unknown source", {"--from", "xx", "Hi"}, {}, 2, "Unknown source language");
        row("unknown style", {"--style", "Formal", "Hi"}, {}, 2, "Unknown style");
        row("unknown option", {"--frobnicate"}, {}, 2, "Unknown");
        row("nothing to detect", {"12345 67890"}, {}, 3, "Could not detect language");
        row("same language", {"--from", "en", "--to", "en", "Hi"}, {}, 4, "API error");
        row("server error", {"--from", "de", "Hallo"}, {}, 4, "Network request");
        row("5001 characters", enDe, QByteArray(5001, 'a'), 2, tooLong);
        row("10 MB of text", {}, QByteArray(10 << 20, 'a'), 2, tooLong);
        // Twenty characters, each a letter under 4000 accents.
        row("combining marks", {}, QString("a" + QString(4000, QChar(0x301))).repeated(20).toUtf8(),
            2, tooLong);
        row("10 MB key", setKey, QByteArray(10 << 20, 'k'), 2, badKey);
        row("1025 character key", setKey, QByteArray(1025, 'k'), 2, badKey);
        row("control character in the key", setKey, "sk-bad\x01key\n", 2, badKey);
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, message);
        m_server->setDefaultReply({.status = 500});
        const Run run = translate(arguments, input);
        QCOMPARE(run.out, "");
        QVERIFY2(run.err.startsWith("quenzal-translate: " + message), qPrintable(run.err));
        QCOMPARE(run.status, status);
        QCOMPARE(m_server->requests().size(), message == "Network request" ? 1 : 0);
    }

    // A translation cannot drive the terminal it is printed on, neither when it arrives nor when
    // it comes back from the cache (found under the trimmed text, with the server gone); into a
    // pipe or a file it goes as it is.
    void terminalGetsNoControlSequences()
    {
        const QString hostile = QStringLiteral("Hallo\x1b]52;c;cm0gLXJmIH4=\x07\x1b[2J\r"
                                               "Welt\u202e\x9b"
                                               "31m\tEnde\r\n");
        m_server->setDefaultReply({.body = TestHttpServer::completion(hostile)});
        for (const QString &text : {"Hi", "  Hi "}) {
            const Run run = translate(enDe + QStringList{text}, {}, {}, true);
            QCOMPARE(run.out,
                     QStringLiteral("Hallo\ufffd]52;c;cm0gLXJmIH4=\ufffd\ufffd[2J\ufffdWelt"
                                    "\ufffd\ufffd31m\tEnde\r\n")); // the terminal's own \r
            QCOMPARE(run.status, 0);
            m_server->close();
        }
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(translate(enDe + QStringList{"Hi"}).out, hostile.trimmed() + "\n");
    }

    // An answer that never ends is given up at the size cap, and so is the memory it took.
    void endlessReplyIsGivenUp()
    {
        EndlessHttpServer endless;
        const Run run = translate(enDe + QStringList{"Hi"}, {}, endless.url());
        QCOMPARE(run.status, 4);
        QVERIFY2(run.err.startsWith("quenzal-translate: Invalid response from DeepSeek"),
                 qPrintable(run.err));
        rusage usage{};
        QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
        // Less than the 4 MiB cap and the program itself need, in a build without sanitizers,
        // and far less than the gigabyte an unbounded buffer takes.
        const long limit = sanitized ? 512 * 1024 : 64 * 1024;
        QVERIFY2(usage.ru_maxrss < limit,
                 qPrintable(QStringLiteral("peak %1 KiB").arg(usage.ru_maxrss)));
    }

    void storesTheApiKeyInTheKeyring()
    {
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("needs a Secret Service: run the tests under scripts/with-keyring");
        }
        const Run stored = translate({"--set-api-key"}, "  sk-e2e-123\n");
        QCOMPARE(stored.out, "");
        QCOMPARE(stored.status, 0);
        QCOMPARE(translate(enDe + QStringList{"Hi"}).status, 0);
        QCOMPARE(m_server->requests().first().header("Authorization"), "Bearer sk-e2e-123");
    }

private:
    // A run to its end, with the event loop running so that the server in this process
    // answers. On a terminal, standard output is a pseudo-terminal, and `out` what it shows.
    Run translate(const QStringList &arguments, const QByteArray &input = {},
                  const QUrl &proxy = {}, bool onTerminal = false)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("http_proxy",
                           (proxy.isEmpty() ? m_server->url(QString()) : proxy).toString());
        environment.remove("no_proxy");
        environment.remove("NO_PROXY");
        process.setProcessEnvironment(environment);
        const int terminal = onTerminal ? posix_openpt(O_RDWR | O_NOCTTY) : -1;
        if (onTerminal) {
            if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
                qWarning("no pseudo-terminal");
                return {};
            }
            process.setStandardOutputFile(QString::fromLocal8Bit(ptsname(terminal)));
        }
        process.start(QStringLiteral(QUENZAL_TRANSLATE), arguments);
        process.write(input);
        process.closeWriteChannel();
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(60000)) {
            qWarning("quenzal-translate did not finish");
        }
        Run run{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
        if (onTerminal) {
            QByteArray shown;
            char buffer[4096];
            fcntl(terminal, F_SETFL, O_NONBLOCK);
            for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) {
                shown.append(buffer, n);
            }
            close(terminal);
            run.out = QString::fromUtf8(shown);
        }
        return run;
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestQuenzalTranslate)
#include "tst_quenzaltranslate.moc"
