// quenzal-translate as a user runs it: a real process, a local DeepSeek stand-in reached
// through http_proxy, the cache in a temporary home, the keyring when one is running.
#include "testhome.h"
#include "testhttpserver.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

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
    Run translate(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("http_proxy", m_server->url(QString()).toString());
        environment.remove("no_proxy");
        environment.remove("NO_PROXY");
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUENZAL_TRANSLATE), arguments);
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
