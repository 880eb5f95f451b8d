// The dictation section of the settings over dictation with stand-ins, its models served by a
// local model host into a private home.
#include "dictationsection.h"
#include "fakedictationbackend.h"
#include "fakeloginitem.h"
#include "modelrow.h"
#include "settingsview.h"
#include "testtranslator.h"

#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Reply = TestHttpServer::Reply;
using State = ModelStore::State;

namespace {

// The settings panel as the program opens it, over a model host of its own, with `installed`
// on disk and what an earlier download of "base" saved.
struct Panel
{
    explicit Panel(const QStringList &installed = {}, const QByteArray &saved = {})
        : dictation(translator.preferences, *translator.viewModel,
                    translator.home.dataHome() + u"/models"_s, host.url(u""_s), installed)
    {
        if (!saved.isNull()) {
            QFile part(dictation.models.path(u"base"_s) + u".part"_s);
            if (!part.open(QIODevice::WriteOnly) || part.write(saved) != saved.size()) {
                qFatal("cannot write %s", qPrintable(part.fileName()));
            }
        }
        view = std::make_unique<SettingsView>(*translator.viewModel, loginItem, nullptr,
                                              SettingsView::Shortcuts{}, translator.preferences,
                                              &dictation.dictation, std::function<void()>());
        section = view->dictationSection();
    }
    ~Panel()
    {
        // A download still waiting on the host would outlive the store.
        for (const ModelCatalogue::Model &model : dictation.models.catalogue().models()) {
            if (dictation.models.status(model.name).state == State::downloading) {
                QSignalSpy ended(&dictation.dictation, &Dictation::downloadEnded);
                dictation.dictation.cancelDownload(model.name);
                QTRY_VERIFY(!ended.isEmpty());
            }
        }
    }

    // The controls the section shows now.
    QStringList shown() const
    {
        QStringList names;
        for (QWidget *widget : QList<QWidget *>{section->downloadButton(), section->cancelButton(),
                                                section->removeButton(), section->progressBar()}) {
            if (!widget->isHidden()) {
                names.append(widget == section->progressBar()
                                 ? u"progress"_s
                                 : static_cast<QPushButton *>(widget)->text());
            }
        }
        if (!section->message().isEmpty()) {
            names.append(u"message"_s);
        }
        return names;
    }

    QStringList selected() const
    {
        QStringList names;
        for (ModelRow *row : section->modelRows()) {
            if (row->isSelected()) {
                names.append(row->modelName());
            }
        }
        return names;
    }

    TestTranslator translator;
    TestHttpServer host;
    TestDictation dictation;
    FakeLoginItem loginItem;
    std::unique_ptr<SettingsView> view;
    DictationSection *section = nullptr;
};

QString size(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes);
}

const QStringList downloading{u"Cancel"_s, u"progress"_s};

} // namespace

class TestDictationSection : public QObject
{
    Q_OBJECT

private slots:
    // Download from the section, as far as the host lets it go; then Remove where offered.
    void downloads_data()
    {
        QTest::addColumn<QByteArray>("saved"); // a part left by an earlier download
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("cancel"); // once the host has the request
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<qint64>("kept"); // on disk, the model or its part
        const QStringList partial{u"Download"_s, u"Remove"_s};
        QTest::newRow("whole model") << QByteArray() << Reply{.body = "base!"} << false
                                     << QStringList{u"Remove"_s} << qint64(5);
        QTest::newRow("resumed") << QByteArray("ba") << Reply{.body = "base!", .ranges = true}
                                 << false << QStringList{u"Remove"_s} << qint64(5);
        QTest::newRow("server error") << QByteArray() << Reply{.status = 500} << false
                                      << QStringList{u"Download"_s, u"message"_s} << qint64(0);
        QTest::newRow("server error after a part")
            << QByteArray("ba") << Reply{.status = 404} << false
            << partial + QStringList{u"message"_s} << qint64(2);
        QTest::newRow("damaged model") << QByteArray() << Reply{.body = "base?"} << false
                                       << QStringList{u"Download"_s, u"message"_s} << qint64(0);
        QTest::newRow("canceled while the host stalls")
            << QByteArray("bas") << Reply{.stall = true} << true << partial << qint64(3);
    }
    void downloads()
    {
        QFETCH(QByteArray, saved);
        QFETCH(Reply, reply);
        QFETCH(bool, cancel);
        QFETCH(QStringList, shown);
        QFETCH(qint64, kept);
        Panel panel({}, saved);
        DictationSection *section = panel.section;
        QCOMPARE(panel.selected(), QStringList{u"base"_s});
        const QStringList offered =
            saved.isNull() ? QStringList{u"Download"_s} : QStringList{u"Download"_s, u"Remove"_s};
        QCOMPARE(panel.shown(), offered);
        QVERIFY(saved.isNull() || section->status().contains(size(saved.size())));

        panel.host.enqueue(reply);
        int progress = -1; // the bar as the last data came, -2 if the bytes were not shown
        connect(&panel.dictation.dictation, &Dictation::downloadProgress, section,
                [&](const QString &, qint64 received) {
                    const bool bytes = section->status().contains(size(received));
                    progress = panel.shown() == downloading && bytes
                                   ? section->progressBar()->value()
                                   : -2;
                });
        QSignalSpy ended(&panel.dictation.dictation, &Dictation::downloadEnded);
        section->downloadButton()->click();
        QCOMPARE(panel.shown(), downloading);
        // What was saved counts from the start.
        QVERIFY2(section->status().contains(size(saved.size())), qPrintable(section->status()));
        if (cancel) {
            QTRY_COMPARE(panel.host.requests().size(), 1);
            section->cancelButton()->click();
        }
        QTRY_VERIFY(!ended.isEmpty()); // a cancel may end it at once
        QCOMPARE(panel.shown(), shown);
        QCOMPARE(section->message(), panel.dictation.dictation.downloadError(u"base"_s));
        const ModelStore::Status status = panel.dictation.models.status(u"base"_s);
        QCOMPARE(status.bytes, kept);
        if (kept > 0) {
            QVERIFY2(section->status().contains(size(kept)), qPrintable(section->status()));
        }
        if (status.state == State::ready) {
            QCOMPARE(progress, section->progressBar()->maximum());
        }

        if (shown.contains(u"Remove"_s)) {
            section->removeButton()->click();
            QCOMPARE(panel.dictation.models.status(u"base"_s).state, State::notDownloaded);
            QCOMPARE(panel.shown(), QStringList{u"Download"_s});
        }
    }

    // A click on a row chooses its model, kept in the preferences; below the rows, that model's
    // state, not the one chosen before.
    void choosing_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<bool>("downloadBase"); // the default, before the clicks
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("a model on disk") << QStringList{u"tiny"_s} << false
                                         << QStringList{u"tiny"_s} << QStringList{u"Remove"_s};
        QTest::newRow("a model not on disk")
            << QStringList{u"base"_s} << false << QStringList{u"tiny"_s}
            << QStringList{u"Download"_s};
        QTest::newRow("away from a download")
            << QStringList() << true << QStringList{u"tiny"_s} << QStringList{u"Download"_s};
        QTest::newRow("back to a download")
            << QStringList() << true << QStringList{u"tiny"_s, u"base"_s} << downloading;
    }
    void choosing()
    {
        QFETCH(QStringList, installed);
        QFETCH(bool, downloadBase);
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, shown);
        Panel panel(installed);
        if (downloadBase) {
            panel.host.enqueue({.stall = true});
            panel.section->downloadButton()->click();
        }
        for (const QString &name : clicks) {
            for (ModelRow *row : panel.section->modelRows()) {
                if (row->modelName() == name) {
                    row->click();
                }
            }
        }
        QCOMPARE(panel.translator.preferences.dictationModel(), clicks.constLast());
        QCOMPARE(panel.selected(), QStringList{clicks.constLast()});
        QCOMPARE(panel.shown(), shown);
    }
};

QTEST_MAIN(TestDictationSection)
#include "tst_dictationsection.moc"
