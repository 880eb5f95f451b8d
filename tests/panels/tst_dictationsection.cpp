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
        dictation.dictation.cancelDownload(u"base"_s);
        QTRY_VERIFY(dictation.models.status(u"base"_s).state != State::downloading);
    }

    // The controls the section shows now.
    QStringList shown() const
    {
        QStringList names;
        for (QPushButton *button :
             {section->downloadButton(), section->cancelButton(), section->removeButton()}) {
            if (!button->isHidden()) {
                names.append(button->text());
            }
        }
        if (!section->progressBar()->isHidden()) {
            names.append(u"progress"_s);
        }
        if (!section->message().isEmpty()) {
            names.append(u"message"_s);
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

// The controls named, in the order shown() gives them.
QStringList controls(const char *names)
{
    return QString::fromLatin1(names).split(u' ', Qt::SkipEmptyParts);
}

const QStringList downloading = controls("Cancel progress");

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
        const auto row = [](const char *name, const QByteArray &saved, const Reply &reply,
                            const char *shown, qint64 kept, bool cancel = false) {
            QTest::newRow(name) << saved << reply << cancel << controls(shown) << kept;
        };
        row("whole model", {}, {.body = "base!"}, "Remove", 5);
        row("resumed", "ba", {.body = "base!", .ranges = true}, "Remove", 5);
        row("server error", {}, {.status = 500}, "Download message", 0);
        row("server error after a part", "ba", {.status = 404}, "Download Remove message", 2);
        row("damaged model", {}, {.body = "base?"}, "Download message", 0);
        row("canceled while the host stalls", "bas", {.stall = true}, "Download Remove", 3, true);
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
            QCOMPARE(panel.shown(), controls("Download"));
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
        const auto row = [](const char *name, const QStringList &installed, bool downloadBase,
                            const QStringList &clicks, const char *shown) {
            QTest::newRow(name) << installed << downloadBase << clicks << controls(shown);
        };
        row("a model on disk", {u"tiny"_s}, false, {u"tiny"_s}, "Remove");
        row("a model not on disk", {u"base"_s}, false, {u"tiny"_s}, "Download");
        row("away from a download", {}, true, {u"tiny"_s}, "Download");
        row("back to a download", {}, true, {u"tiny"_s, u"base"_s}, "Cancel progress");
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
        const QList<ModelRow *> rows = panel.section->modelRows();
        for (const QString &name : clicks) {
            (*std::find_if(rows.begin(), rows.end(), [&](ModelRow *row) {
                return row->modelName() == name;
            }))->click();
        }
        QCOMPARE(panel.translator.preferences.dictationModel(), clicks.constLast());
        for (ModelRow *row : rows) {
            QCOMPARE(row->isSelected(), row->modelName() == clicks.constLast());
        }
        QCOMPARE(panel.shown(), shown);
    }
};

QTEST_MAIN(TestDictationSection)
#include "tst_dictationsection.moc"
