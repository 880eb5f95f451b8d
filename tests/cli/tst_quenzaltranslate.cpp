// quenzal-translate as a user runs it: a real process, DeepSeek's stand-in behind http_proxy.
#include "testhome.h"
#include "testhttpserver.h"

#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using Reply = TestHttpServer::Reply;

#if defined(__SANITIZE_ADDRESS__)
constexpr long peakLimitKiB = 512 * 1024;
#else
constexpr long peakLimitKiB = 64 * 1024;
#endif

const QStringList enDe{"--from", "en", "--to", "de"};

class TestQuenzalTranslate : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home.emplace();
        m_server.emplace();
        qputenv("http_proxy", m_server->url(QString()).toEncoded()); // for every child
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
    }

    // Only the answer goes to stdout; a refusal is one message on stderr with its status. Memory
    // stays small, also while a reply never ends.
    void runs_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown"); // standard output, or how standard error starts
        QTest::addColumn<QString>("sent");  // system prompt | text
        const QString plain = "Translate from en to de. Reply with translation only. | ";
        const auto row = [](const char *name, QStringList arguments, QByteArray input, int status,
                            QString shown, QString sent = {},
                            Reply reply = {.body = TestHttpServer::completion("Hallo")}) {
            QTest::newRow(name) << arguments << input << reply << status << shown << sent;
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
        row("endless reply", enDe + QStringList{"Hi"}, {}, 4, "Invalid response", plain + "Hi",
            {.endless = true});
        row("5001 characters", enDe, QByteArray(5001, 'a'), 2, "Text is too long. Maximum 5000");
        row("10 MB key", {"--set-api-key"}, QByteArray(10 << 20, 'k'), 2, "An API key is one line");
        row("control character in the key", {"--set-api-key"}, "sk-bad\x01key\n", 2, "An API key");
    }
    void runs()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(Reply, reply);
        QFETCH(int, status);
        QFETCH(QString, shown);
        QFETCH(QString, sent);
        m_server->setDefaultReply(reply);
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
        rusage usage{}; // of the largest child so far
        QCOMPARE(getrusage(RUSAGE_CHILDREN, &usage), 0);
        QVERIFY2(usage.ru_maxrss < peakLimitKiB, qPrintable(u"peak %1 KiB"_s.arg(usage.ru_maxrss)));
    }

    // Fresh or cached, a translation cannot drive the terminal; a pipe gets it as it is.
    void terminalGetsNoControlSequences()
    {
        const QString hostile = QStringLiteral("Hallo\x1b]52;c;cm0gLXJmIH4=\x07\x1b[2J\r"
                                               "Welt\u202e\x9b"
                                               "31m\tEnde\r\n");
        m_server->setDefaultReply({.body = TestHttpServer::completion(hostile)});
        for (const QString &text : {QStringLiteral("Hi"), QStringLiteral("  Hi ")}) {
            const Run run = translate(enDe + QStringList{text}, {}, true);
            QCOMPARE(run.out,
                     QStringLiteral("Hallo\ufffd]52;c;cm0gLXJmIH4=\ufffd\ufffd[2J\ufffdWelt"
                                    "\ufffd\ufffd31m\tEnde\r\n")); // the terminal's own \r
            m_server->close();
        }
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(translate(enDe + QStringList{"Hi"}).out, hostile.trimmed() + "\n");
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

    // Declared last: a transcription's peak memory is not the translator's, measured above.
    void transcribes_data()
    {
        const QString whisper = QStringLiteral(WHISPER_DIR);
        QTest::addColumn<QString>("wave");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error"); // how standard error starts
        QTest::newRow("speech, weightless model")
            << whisper + "/samples/jfk.wav" << whisper + "/models/for-tests-ggml-tiny.bin" << 0
            << QString();
        QTest::newRow("CD audio") << "cd.wav" << QString() << 2
                                  << "cd.wav is 44100 Hz stereo 16-bit PCM WAV; --transcribe "
                                     "needs 16 kHz mono 16-bit PCM WAV";
        QTest::newRow("not a WAV file")
            << whisper + "/models/for-tests-ggml-tiny.bin" << QString() << 2
            << whisper + "/models/for-tests-ggml-tiny.bin is not a WAV file";
        QTest::newRow("no model downloaded") << whisper + "/samples/jfk.wav" << QString() << 6
                                             << "The speech model is not installed";
    }
    void transcribes()
    {
        QFETCH(QString, wave);
        QFETCH(QString, model);
        QFETCH(int, status);
        QFETCH(QString, error);
        QFile cd(m_home->path() + "/cd.wav");
        QVERIFY(cd.open(QIODevice::WriteOnly));
        cd.write(QByteArray::fromHex("52494646 2c100000 57415645 666d7420 10000000 0100 0200"
                                     "44ac0000 10b10200 0400 1000 64617461 00100000") +
                 QByteArray(4096, '\0'));
        cd.close();
        QStringList arguments{"--from", "en", "--transcribe", wave};
        if (!model.isEmpty()) {
            arguments << "--model" << model;
        }
        QProcess process;
        process.setWorkingDirectory(m_home->path());
        process.start(QStringLiteral(QUENZAL_TRANSLATE), arguments);
        QVERIFY(process.waitForFinished(300000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(process.readAllStandardOutput(), QByteArray()); // the model recognises nothing
        QVERIFY2(status == 0 ? err.isEmpty() : err.startsWith("quenzal-translate: " + error),
                 qPrintable(err));
    }

private:
    struct Run
    {
        int status;
        QString out, err;
    };

    // On a terminal, stdout is a pseudo-terminal and `out` what it shows.
    Run translate(const QStringList &arguments, const QByteArray &input = {},
                  bool onTerminal = false)
    {
        QProcess process;
        QFile terminal;
        if (onTerminal) {
            const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
                !terminal.open(master, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
                qFatal("no pseudo-terminal");
            }
            process.setStandardOutputFile(QString::fromLocal8Bit(ptsname(master)));
        }
        process.start(QStringLiteral(QUENZAL_TRANSLATE), arguments);
        process.write(input);
        process.closeWriteChannel();
        QSignalSpy(&process, &QProcess::finished).wait(60000);
        return {process.exitCode(),
                QString::fromUtf8(onTerminal ? terminal.read(1 << 20)
                                             : process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    std::optional<TestHome> m_home;
    std::optional<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestQuenzalTranslate)
#include "tst_quenzaltranslate.moc"
