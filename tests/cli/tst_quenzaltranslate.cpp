// quenzal-translate as a user runs it: a real process, a local DeepSeek stand-in reached
// through http_proxy, the cache in a temporary home, the keyring when one is running.
#include "endlesshttpserver.h"
#include "testhome.h"
#include "testhttpserver.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

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

QString userContent(const TestHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body)["messages"][1]["content"].toString();
}

QString systemPrompt(const TestHttpServer::Request &request)
{
    return QJsonDocument::fromJson(request.body)["messages"][0]["content"].toString();
}

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

    void translatesArgumentsAndPrintsOnlyTheTranslation()
    {
        const Run run = translate({"--from", "en", "--to", "de", "Hello,", "world"});
        QCOMPARE(run.err, "");
        QCOMPARE(run.out, "Hallo\n");
        QCOMPARE(run.status, 0);
        QCOMPARE(m_server->requests().size(), 1);
        const TestHttpServer::Request &request = m_server->requests().first();
        QCOMPARE(request.target, "http://deepseek.test/chat/completions");
        QCOMPARE(userContent(request), "Hello, world");
        QCOMPARE(systemPrompt(request), "Translate from en to de. Reply with translation only.");
    }

    void detectsTheLanguageOfStandardInput()
    {
        m_server->enqueue({.body = TestHttpServer::completion("Good morning everybody")});
        const Run run = translate({"--style", "formal"}, "Bonjour à tous, comment allez-vous ?\n");
        QCOMPARE(run.out, "Good morning everybody\n");
        QCOMPARE(run.status, 0);
        QCOMPARE(systemPrompt(m_server->requests().first()),
                 "Translate from fr to en in formal, professional style. Reply with translation "
                 "only.");
    }

    void answersFromTheCacheWithTheServerGone()
    {
        QCOMPARE(translate({"--from", "en", "--to", "de", "Hello"}).out, "Hallo\n");
        QVERIFY(QFileInfo::exists(m_home->dataHome() + "/Quenzal/translations.json"));
        m_server->close();
        const Run run = translate({"--from", "en", "--to", "de", "  Hello "});
        QCOMPARE(run.out, "Hallo\n");
        QCOMPARE(run.err, "");
        QCOMPARE(run.status, 0);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("replyStatus");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("auto target")
            << QStringList{"--to", "auto", "Hi"} << 200 << 2 << "Unknown target language \"auto\"";
        QTest::newRow("unknown source") << QStringList{"--from", "klingon", "Hi"} << 200 << 2
                                        << "Unknown source language \"klingon\"";
        QTest::newRow("unknown style")
            << QStringList{"--style", "Formal", "Hi"} << 200 << 2 << "Unknown style \"Formal\"";
        QTest::newRow("unknown option")
            << QStringList{"--frobnicate"} << 200 << 2 << "Unknown option 'frobnicate'.";
        QTest::newRow("nothing to detect") << QStringList{"12345 67890"} << 200 << 3
                                           << "Could not detect language. Please type more "
                                              "text or select a source language.";
        QTest::newRow("same language")
            << QStringList{"--from", "en", "--to", "en", "Hi"} << 200 << 4
            << "API error: Source and target languages must be "
               "different";
        QTest::newRow("server error") << QStringList{"--from", "de", "Hallo"} << 500 << 4
                                      << "Network request to DeepSeek failed";
        QTest::newRow("5001 characters")
            << QStringList{"--from", "en", "--to", "de", QString(5001, 'a')} << 200 << 2
            << "Text is too long. Maximum 5000 characters";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, replyStatus);
        QFETCH(int, status);
        QFETCH(QString, message);
        m_server->setDefaultReply({.status = replyStatus});
        const Run run = translate(arguments);
        QCOMPARE(run.out, "");
        QVERIFY2(run.err.startsWith("quenzal-translate: " + message), qPrintable(run.err));
        QCOMPARE(run.status, status);
    }

    // Nothing that long is read whole, let alone sent.
    void refusesTooMuchInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("message");
        const QString tooLong = "Text is too long. Maximum 5000 characters allowed.";
        const QString badKey = "An API key is one line of at most 1024 visible ASCII characters";
        QTest::newRow("10 MB of text")
            << QStringList{"--to", "de"} << QByteArray(10 << 20, 'a') << tooLong;
        QTest::newRow("5001 characters")
            << QStringList{"--from", "en", "--to", "de"} << QByteArray(5001, 'a') << tooLong;
        QTest::newRow("5001 characters to detect")
            << QStringList{"--detect"} << QByteArray(5001, 'a') << tooLong;
        // Twenty characters, each a letter under 4000 accents.
        QTest::newRow("combining marks")
            << QStringList{"--to", "de"}
            << QString(QString("a") + QString(4000, QChar(0x301))).repeated(20).toUtf8() << tooLong;
        QTest::newRow("10 MB key")
            << QStringList{"--set-api-key"} << QByteArray(10 << 20, 'k') << badKey;
        QTest::newRow("1025 character key")
            << QStringList{"--set-api-key"} << QByteArray(1025, 'k') << badKey;
    }
    void refusesTooMuchInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, message);
        const Run run = translate(arguments, input);
        QVERIFY2(run.err.startsWith("quenzal-translate: " + message), qPrintable(run.err));
        QCOMPARE(run.status, 2);
        QCOMPARE(run.out, "");
        QVERIFY(m_server->requests().isEmpty());
    }

    void fiveThousandCharactersAreTranslated()
    {
        const Run run =
            translate({"--from", "en", "--to", "de"}, QString(4999, QChar(0xe9)).toUtf8() + "\n");
        QCOMPARE(run.status, 0);
        QCOMPARE(m_server->requests().size(), 1);
    }

    // A translation cannot drive the terminal it is printed on, neither when it arrives nor when
    // it comes back from the cache; into a pipe or a file it goes as it is.
    void terminalGetsNoControlSequences()
    {
        const QString hostile = QStringLiteral("Hallo\x1b]52;c;cm0gLXJmIH4=\x07\x1b[2J\r"
                                               "Welt\u202e\x9b"
                                               "31m\tEnde\r\n");
        m_server->setDefaultReply({.body = TestHttpServer::completion(hostile)});
        for (int i = 0; i < 2; ++i) {
            const QByteArray shown = translateOnTerminal({"--from", "en", "--to", "de", "Hi"});
            QCOMPARE(QString::fromUtf8(shown),
                     QStringLiteral("Hallo\ufffd]52;c;cm0gLXJmIH4=\ufffd\ufffd[2J\ufffdWelt"
                                    "\ufffd\ufffd31m\tEnde\r\n")); // the terminal's own \r
        }
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(translate({"--from", "en", "--to", "de", "Hi"}).out, hostile.trimmed() + "\n");
    }

    // An answer that never ends is given up at the size cap, and so is the memory it took.
    void endlessReplyIsGivenUp()
    {
        EndlessHttpServer endless;
        const Run run = translate({"--from", "en", "--to", "de", "Hi"}, {}, endless.url());
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

    void listsTheCatalogue()
    {
        const Run run = translate({"--list-languages"});
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 74);
        QCOMPARE(lines.first(), "en\tEnglish");
    }

    void detectsWithoutTranslating()
    {
        const Run run = translate({"--detect"}, "Dette er en setning på norsk, skrevet i dag.");
        QCOMPARE(run.out, "no\n");
        QCOMPARE(run.status, 0);
        QVERIFY(m_server->requests().isEmpty());
    }

    void storesTheApiKeyInTheKeyring()
    {
        QCOMPARE(translate({"--set-api-key"}, "sk-bad\x01key\n").status, 2);
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("needs a Secret Service: run the tests under scripts/with-keyring");
        }
        const Run stored = translate({"--set-api-key"}, "  sk-e2e-123\n");
        QCOMPARE(stored.out, "");
        QCOMPARE(stored.status, 0);
        QCOMPARE(translate({"--from", "en", "--to", "de", "Hi"}).status, 0);
        QCOMPARE(m_server->requests().first().header("Authorization"), "Bearer sk-e2e-123");
    }

private:
    // The start of a run; standard output goes to `output` when one is given.
    void start(QProcess &process, const QStringList &arguments, const QString &output = {},
               const QUrl &proxy = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("http_proxy",
                           (proxy.isEmpty() ? m_server->url(QString()) : proxy).toString());
        environment.remove("no_proxy");
        environment.remove("NO_PROXY");
        process.setProcessEnvironment(environment);
        if (!output.isEmpty()) {
            process.setStandardOutputFile(output);
        }
        process.start(QStringLiteral(QUENZAL_TRANSLATE), arguments);
    }

    // What a run shows on a terminal: its standard output is a pseudo-terminal.
    QByteArray translateOnTerminal(const QStringList &arguments)
    {
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
            qWarning("no pseudo-terminal");
            return {};
        }
        QProcess process;
        start(process, arguments, QString::fromLocal8Bit(ptsname(terminal)));
        process.closeWriteChannel();
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(60000)) {
            qWarning("quenzal-translate did not finish");
        }
        QByteArray shown;
        pollfd ready{terminal, POLLIN, 0};
        char buffer[4096];
        while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            shown.append(buffer, n);
        }
        close(terminal);
        return shown;
    }

    Run translate(const QStringList &arguments, const QByteArray &input = {},
                  const QUrl &proxy = {})
    {
        QProcess process;
        start(process, arguments, {}, proxy);
        process.write(input);
        process.closeWriteChannel();
        // The event loop keeps running while we wait, so the server in this process answers.
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(60000)) {
            qWarning("quenzal-translate did not finish");
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestQuenzalTranslate)
#include "tst_quenzaltranslate.moc"
