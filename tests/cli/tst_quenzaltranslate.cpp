// quenzal-translate as a user runs it: a real process, DeepSeek's stand-in behind http_proxy.
#include "endlesshttpserver.h"
#include "testhome.h"
#include "testhttpserver.h"

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
    QString out, err;
};

const QStringList enDe{"--from", "en", "--to", "de"};

} // namespace

class TestQuenzalTranslate : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home.reset();
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<TestHttpServer>();
    }

    // Only the answer goes to stdout; a refusal is one message on stderr with its status.
    void runs_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");    // 4: DeepSeek answers with an error
        QTest::addColumn<QString>("shown"); // standard output, or how standard error starts
        QTest::addColumn<QString>("sent");  // system prompt | text
        const QString plain = "Translate from en to de. Reply with translation only. | ";
        const QString tooLong = "Text is too long. Maximum 5000 characters";
        const QString badKey = "An API key is one line of at most 1024 visible ASCII characters";
        const auto row = [](const char *name, QStringList arguments, QByteArray input, int status,
                            QString shown, QString sent = {}) {
            QTest::newRow(name) << arguments << input << status << shown << sent;
        };
        row("words, languages given", enDe + QStringList{"Hello,", "world"}, {}, 0, "Hallo\n",
            plain + "Hello, world");
        row("standard input, language detected", {"--style", "formal"},
            "Bonjour à tous, comment allez-vous ?\n", 0, "Hallo\n",
            u"Translate from fr to en in formal, professional style. Reply with translation "
            "only. | Bonjour à tous, comment allez-vous ?"_s);
        row("5000 characters", enDe, QString(4999, QChar(0xe9)).toUtf8() + "\n", 0, "Hallo\n",
            plain + QString(4999, QChar(0xe9)));
        row("detection only", {"--detect"}, "Dette er en setning på norsk, skrevet i dag.", 0,
            "no\n");
        row("auto target", {"--to", "auto", "Hi"}, {}, 2, "Unknown target language");
        row("nothing to detect", {"12345 67890"}, {}, 3, "Could not detect language");
        row("server error", {"--from", "de", "--to", "en", "Hallo"}, {}, 4, "Network request",
            "Translate from de to en. Reply with translation only. | Hallo");
        row("5001 characters", enDe, QByteArray(5001, 'a'), 2, tooLong);
        row("10 MB key", {"--set-api-key"}, QByteArray(10 << 20, 'k'), 2, badKey);
        row("control character in the key", {"--set-api-key"}, "sk-bad\x01key\n", 2, badKey);
    }
    void runs()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, shown);
        QFETCH(QString, sent);
        if (status == 4) {
            m_server->setDefaultReply({.status = 500});
        }
        const Run run = translate(arguments, input);
        QCOMPARE(run.status, status);
        QCOMPARE(run.out, status == 0 ? shown : QString());
        QVERIFY2(status == 0 ? run.err.isEmpty()
                             : run.err.startsWith("quenzal-translate: " + shown),
                 qPrintable(run.err));
        QStringList requests;
        for (const TestHttpServer::Request &request : m_server->requests()) {
            QCOMPARE(request.target, "http://deepseek.test/chat/completions");
            const QJsonDocument body = QJsonDocument::fromJson(request.body);
            requests.append(body["messages"][0]["content"].toString() + " | " +
                            body["messages"][1]["content"].toString());
        }
        QCOMPARE(requests.join('\n'), sent);
    }

    // Fresh or cached, a translation cannot drive the terminal; a pipe gets it as it is.
    void terminalGetsNoControlSequences()
    {
        const QString hostile = QStringLiteral("Hallo\x1b]52;c;cm0gLXJmIH4=\x07\x1b[2J\r"
                                               "Welt\u202e\x9b"
                                               "31m\tEnde\r\n");
        m_server->setDefaultReply({.body = TestHttpServer::completion(hostile)});
        for (const QString &text : {QStringLiteral("Hi"), QStringLiteral("  Hi ")}) {
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

    void endlessReplyIsGivenUp()
    {
        EndlessHttpServer endless;
        const Run run = translate(enDe + QStringList{"Hi"}, {}, endless.url());
        QVERIFY(run.status == 4 && run.err.startsWith("quenzal-translate: Invalid response"));
        rusage usage{};
        QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
        const long limit = sanitized ? 512 * 1024 : 64 * 1024;
        QVERIFY2(usage.ru_maxrss < limit,
                 qPrintable(QStringLiteral("peak %1 KiB").arg(usage.ru_maxrss)));
    }

    void storesTheApiKeyInTheKeyring()
    {
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("run under scripts/with-keyring");
        }
        QCOMPARE(translate({"--set-api-key"}, "  sk-e2e-123\n").status, 0);
        QCOMPARE(translate(enDe + QStringList{"Hi"}).status, 0);
        QCOMPARE(m_server->requests().first().header("Authorization"), "Bearer sk-e2e-123");
    }

private:
    // On a terminal, stdout is a pseudo-terminal and `out` what it shows.
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
                qFatal("no pseudo-terminal");
            }
            process.setStandardOutputFile(QString::fromLocal8Bit(ptsname(terminal)));
        }
        process.start(QStringLiteral(QUENZAL_TRANSLATE), arguments);
        process.write(input);
        process.closeWriteChannel();
        QSignalSpy finished(&process, &QProcess::finished);
        finished.wait(60000);
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
