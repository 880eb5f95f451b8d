// Speech model downloads against a real HTTP server on 127.0.0.1, into a private data folder.
#include "modeldownloaderror.h"
#include "modelstore.h"
#include "testhome.h"
#include "testhttpserver.h"
#include "waitfortask.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Reply = TestHttpServer::Reply;
using State = ModelStore::State;

namespace {

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

const QByteArray model = noise(1 << 20, 1);
constexpr qsizetype cut = 100000;

ModelCatalogue catalogue()
{
    const QByteArray sha1 = QCryptographicHash::hash(model, QCryptographicHash::Sha1).toHex();
    return ModelCatalogue({{u"t"_s, model.size(), sha1}}, u"t"_s);
}

QString partPath(const ModelStore &store)
{
    return store.path(u"t"_s) + u".part"_s;
}

// -1 for a verified model, else the failure's code; its description in `text`.
int download(ModelStore &store, QString *text = nullptr)
{
    try {
        const QString path = waitForTask(store.download(u"t"_s));
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll() == model ? -1 : -2;
    } catch (const ModelDownloadError &error) {
        if (text) {
            *text = error.description();
        }
        return error.code();
    }
}

QByteArrayList ranges(const TestHttpServer &server)
{
    QByteArrayList sent;
    for (const TestHttpServer::Request &request : server.requests()) {
        sent.append(request.header("Range"));
    }
    return sent;
}

} // namespace

class TestModelStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<TestHttpServer>();
    }
    void cleanup() { m_home.reset(); } // before the next one: it puts back what it found

    // What a download does with what an earlier one left and what the server answers; what
    // stays on disk for the next attempt.
    void downloads_data()
    {
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QList<Reply>>("replies"); // none: the server is gone
        QTest::addColumn<QByteArrayList>("ranges");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("named"); // in the failure's description
        QTest::addColumn<qint64>("kept");
        const QByteArray from = "bytes=" + QByteArray::number(cut) + '-';
        const QByteArray head = model.left(cut);
        const Reply whole{.body = model};
        const Reply ranged{.body = model, .ranges = true};
        const auto row = [](const char *name, const QByteArray &saved, const QList<Reply> &replies,
                            const QByteArrayList &ranges, int outcome, qint64 kept = 0,
                            const QString &named = {}) {
            QTest::newRow(name) << saved << replies << ranges << outcome << named << kept;
        };
        using E = ModelDownloadError;
        row("range ignored: from the start", head, {whole}, {from}, -1);
        row("saved part damaged", noise(cut, 2), {ranged}, {from}, E::checksumMismatch);
        row("saved part far beyond the size", model + model, {ranged}, {""}, -1);
        row("saved part beyond the server's file: 416, anew", model + "x", {ranged, ranged},
            {"bytes=" + QByteArray::number(model.size() + 1) + '-', ""}, -1);
        row("saved in full before a quit", model, {ranged},
            {"bytes=" + QByteArray::number(model.size()) + '-'}, -1);
        row("far larger than listed", {}, {{.body = model.repeated(2)}}, {""}, E::tooLarge);
        row("endless body of no stated length", {}, {{.endless = true}}, {""}, E::tooLarge);
        row("404", head, {{.status = 404, .body = "Entry not found"}}, {from}, E::serverStatus, cut,
            "404");
        row("stalled", head, {{.stall = true}}, {from}, E::stalled, cut);
        row("host unreachable", head, {}, {}, E::unreachable, cut);
    }
    void downloads()
    {
        QFETCH(QByteArray, saved);
        QFETCH(QList<Reply>, replies);
        QFETCH(int, outcome);
        QFETCH(qint64, kept);
        QFETCH(QByteArrayList, ranges);
        QFETCH(QString, named);
        ModelStore store(catalogue(), m_server->url(u""_s));
        store.setIdleLimit(outcome == ModelDownloadError::stalled ? 300ms : 30s);
        if (!saved.isNull()) {
            QDir().mkpath(ModelStore::defaultDirectory());
            QFile part(partPath(store));
            QVERIFY(part.open(QIODevice::WriteOnly) && part.write(saved) == saved.size());
        }
        for (const Reply &reply : replies) {
            m_server->enqueue(reply);
        }
        if (replies.isEmpty()) {
            m_server->close();
        }
        QSignalSpy progress(&store, &ModelStore::progress);

        QString text;
        QCOMPARE(download(store, &text), outcome);
        QVERIFY2(text.contains(named), qPrintable(text));
        QCOMPARE(::ranges(*m_server), ranges);
        for (const TestHttpServer::Request &request : m_server->requests()) {
            QCOMPARE(request.target, "/ggml-t.bin");
        }
        for (qsizetype i = 1; i < progress.size(); ++i) {
            QVERIFY(progress[i][1].toLongLong() > progress[i - 1][1].toLongLong());
        }
        const ModelStore::Status status = store.status(u"t"_s);
        QCOMPARE(QFileInfo(partPath(store)).size(), kept);
        if (outcome == -1) {
            if (!progress.isEmpty()) { // none when nothing was left to fetch
                QCOMPARE(progress.constLast().mid(1), (QVariantList{model.size(), model.size()}));
            }
            QCOMPARE(status.state, State::ready);
            QCOMPARE(status.bytes, model.size());
        } else {
            QVERIFY(!QFile::exists(store.path(u"t"_s)));
            QCOMPARE(status.state, kept > 0 ? State::partial : State::notDownloaded);
        }
    }

    // A download that ended early is offered as resumable by the next program run, continues
    // with a Range request, and the model is found there by the run after.
    void interruptedThenResumed_data()
    {
        QTest::addColumn<Reply>("first");
        QTest::addColumn<int>("ended");
        QTest::newRow("connection dropped")
            << Reply{.body = model, .dropAfter = cut} << int(ModelDownloadError::connectionLost);
        QTest::newRow("canceled") << Reply{.body = model} << int(ModelDownloadError::canceled);
        QTest::newRow("disk full") << Reply{.body = model} << int(ModelDownloadError::writeFailed);
    }
    void interruptedThenResumed()
    {
        QFETCH(Reply, first);
        QFETCH(int, ended);
        m_server->enqueue(first);
        // Also for the request Qt may send again by itself after a connection dropped.
        m_server->setDefaultReply({.body = model, .ranges = true});
        {
            ModelStore store(catalogue(), m_server->url(u""_s));
            QSignalSpy changes(&store, &ModelStore::statusChanged);
            connect(&store, &ModelStore::progress, &store, [&] {
                QCOMPARE(store.status(u"t"_s).state, State::downloading);
                if (ended == ModelDownloadError::canceled) {
                    store.cancel(u"t"_s);
                }
            });
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            if (ended == ModelDownloadError::writeFailed) {
                std::signal(SIGXFSZ, SIG_IGN); // a failed write instead of the end of the test
                const rlimit small{cut, limit.rlim_max};
                setrlimit(RLIMIT_FSIZE, &small);
            }
            QString text;
            const int outcome = download(store, &text);
            setrlimit(RLIMIT_FSIZE, &limit);
            QCOMPARE(outcome, ended);
            if (ended == ModelDownloadError::writeFailed) { // the system's reason is given
                QVERIFY2(text.contains(QString::fromLocal8Bit(strerror(EFBIG))), qPrintable(text));
            }
            QVERIFY(!changes.isEmpty());
            QCOMPARE(store.status(u"t"_s).state, State::partial);
        }

        ModelStore restarted(catalogue(), m_server->url(u""_s));
        const ModelStore::Status resumable = restarted.status(u"t"_s);
        QCOMPARE(resumable.state, State::partial);
        QVERIFY(resumable.bytes > 0 && resumable.bytes < model.size());
        QCOMPARE(download(restarted), -1);
        QCOMPARE(ranges(*m_server).constLast(),
                 "bytes=" + QByteArray::number(resumable.bytes) + '-');

        ModelStore again(catalogue(), m_server->url(u""_s));
        QCOMPARE(again.status(u"t"_s).state, State::ready);
        const qsizetype requests = m_server->requests().size();
        QCOMPARE(download(again), -1);
        QCOMPARE(m_server->requests().size(), requests); // a ready model is not fetched again
        again.remove(u"t"_s);
        QCOMPARE(again.status(u"t"_s).state, State::notDownloaded);
    }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<TestHttpServer> m_server;
};

QTEST_GUILESS_MAIN(TestModelStore)
#include "tst_modelstore.moc"
