// The X11 selection reader on the real X server of scripts/with-desktop, against xclip and against
// an owner of the test's own that refuses, answers in increments, late or never.
#include "waitfortask.h"
#include "x11desktop.h"
#include "x11display.h"
#include "x11selectionreader.h"

#include <optional>

using Source = SelectionReader::Source;
using Outcome = SelectionReader::Outcome;
using Content = SelectionReader::Content;

namespace {

using namespace std::chrono_literals;

// Past which a read would fail only on a machine too busy to run the test.
constexpr auto generous = 30s;
// Characters of one to four bytes in UTF-8.
const QString sample = QStringLiteral("Größe: Привет 💬 ");

const char *nameOf(Source source)
{
    return source == Source::selection ? "PRIMARY" : "CLIPBOARD";
}

// xclip holding the selection, in the foreground so that it ends with the test.
struct Xclip : QProcess
{
    Xclip(Source source, const QString &type, const QByteArray &bytes)
    {
        start("xclip", {"-quiet", "-selection", QString(nameOf(source)).toLower(), "-t", type});
        write(bytes);
        closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(X11Display::hasSelectionOwner(nameOf(source)), 30'000);
    }
    ~Xclip() override
    {
        kill();
        waitForFinished();
    }
};

} // namespace

class TestX11SelectionReader : public QObject
{
    Q_OBJECT

    xcb_connection_t *m_x = nullptr; // of our own owner

    // Once the server has answered it, it has carried out what was asked before.
    void roundTrip()
    {
        std::free(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
    }
    void own(Source source)
    {
        const xcb_window_t window = xcb_generate_id(m_x);
        xcb_create_window(m_x, 0, window, xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root,
                          0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, nullptr);
        xcb_set_selection_owner(m_x, window, X11Display::atom(m_x, nameOf(source)),
                                XCB_CURRENT_TIME);
        roundTrip();
        QVERIFY(X11Display::hasSelectionOwner(nameOf(source)));
    }
    // The next event of `type` to our owner; those before it are dropped.
    template <typename Event> std::optional<Event> next(std::uint8_t type)
    {
        std::optional<Event> found;
        const auto arrived = [&] {
            while (xcb_generic_event_t *event = found ? nullptr : xcb_poll_for_event(m_x)) {
                if ((event->response_type & 0x7f) == type) {
                    found = *reinterpret_cast<Event *>(event);
                }
                std::free(event);
            }
            return found.has_value();
        };
        return QTest::qWaitFor(arrived, 30'000) ? found : std::nullopt;
    }
    std::optional<xcb_selection_request_event_t> nextRequest()
    {
        return next<xcb_selection_request_event_t>(XCB_SELECTION_REQUEST);
    }
    // With `bytes` of the kind asked for, or a refusal; in increments of `increment` bytes if
    // given, each once the reader has taken the one before, the last one empty if `ended`.
    void answer(const xcb_selection_request_event_t &request,
                const std::optional<QByteArray> &bytes, qsizetype increment = 0, bool ended = true)
    {
        const auto put = [&](xcb_atom_t type, std::uint8_t format, qsizetype size,
                             const void *data) {
            xcb_change_property(m_x, XCB_PROP_MODE_REPLACE, request.requestor, request.property,
                                type, format, std::uint32_t(size), data);
            xcb_flush(m_x);
        };
        const std::uint32_t propertyChanges = XCB_EVENT_MASK_PROPERTY_CHANGE;
        if (increment) {
            xcb_change_window_attributes(m_x, request.requestor, XCB_CW_EVENT_MASK,
                                         &propertyChanges);
            put(X11Display::atom(m_x, "INCR"), 32, 1, &propertyChanges);
        } else if (bytes) {
            put(request.target, 8, bytes->size(), bytes->constData());
        }
        const xcb_atom_t property = bytes ? request.property : xcb_atom_t(XCB_ATOM_NONE);
        const xcb_selection_notify_event_t notify{
            XCB_SELECTION_NOTIFY, 0,       0, request.time, request.requestor, request.selection,
            request.target,       property};
        xcb_send_event(m_x, 0, request.requestor, 0, reinterpret_cast<const char *>(&notify));
        xcb_flush(m_x);
        for (qsizetype at = 0; increment && at < bytes->size() + (ended ? increment : 0);
             at += increment) {
            std::optional<xcb_property_notify_event_t> taken;
            do {
                taken = next<xcb_property_notify_event_t>(XCB_PROPERTY_NOTIFY);
            } while (taken && taken->state != XCB_PROPERTY_DELETE);
            QVERIFY(taken);
            const QByteArray piece = bytes->mid(at, increment);
            put(request.target, 8, piece.size(), piece.constData());
        }
    }

private slots:
    void initTestCase()
    {
        QUENZAL_REQUIRE_DESKTOP();
        m_x = xcb_connect(nullptr, nullptr);
    }
    void cleanupTestCase() { xcb_disconnect(m_x); }
    void cleanup()
    {
        for (const Source source : {Source::selection, Source::clipboard}) {
            xcb_set_selection_owner(m_x, XCB_NONE, X11Display::atom(m_x, nameOf(source)),
                                    XCB_CURRENT_TIME);
            roundTrip();
            QVERIFY(!X11Display::hasSelectionOwner(nameOf(source)));
        }
    }

    void read_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("type"); // offered by xclip; none: nobody holds the selection
        QTest::addColumn<QByteArray>("offered");
        QTest::addColumn<Content>("expected");
        const auto text = [](const QString &text) { return Content{Outcome::text, text}; };
        // One property, read in pieces whose edges fall inside characters.
        const QString large = sample.repeated(11'000);
        QTest::newRow("clipboard")
            << Source::clipboard << "UTF8_STRING" << sample.toUtf8() << text(sample);
        QTest::newRow("C string") << Source::clipboard << "UTF8_STRING"
                                  << QByteArray(" two lines\n\0", 12) << text(" two lines\n");
        QTest::newRow("large") << Source::clipboard << "UTF8_STRING" << large.toUtf8()
                               << text(large);
        QTest::newRow("empty") << Source::selection << "UTF8_STRING" << QByteArray() << Content{};
        QTest::newRow("image") << Source::clipboard << "image/png" << QByteArray("\x89PNG\r\n")
                               << Content{};
        QTest::newRow("nobody's") << Source::selection << QString() << QByteArray() << Content{};
    }
    void read()
    {
        QFETCH(Source, source);
        QFETCH(QString, type);
        QFETCH(QByteArray, offered);
        std::optional<Xclip> xclip;
        if (!type.isEmpty()) {
            xclip.emplace(source, type, offered);
        }
        X11SelectionReader reader(nullptr, generous);
        QTEST(waitForTask(reader.read(source)), "expected");
    }

    // Sent in increments and not read to its end, yet too long for the caller to take.
    void huge()
    {
        QString huge;
        for (int i = 0; huge.size() < 3 << 20; ++i) {
            huge += QString::number(i) + ' ';
        }
        Xclip xclip(Source::clipboard, "UTF8_STRING", huge.toUtf8());
        X11SelectionReader reader(nullptr, generous);
        const Content read = waitForTask(reader.read(Source::clipboard));
        QCOMPARE(read.outcome, Outcome::text);
        QVERIFY(read.text.size() > 5000 && read.text.size() < huge.size());
        QVERIFY(huge.startsWith(read.text.chopped(1)));
    }

    void ownedByUs_data()
    {
        QTest::addColumn<bool>("refuse"); // the first conversion, asking for UTF-8
        QTest::addColumn<QByteArray>("offered");
        QTest::addColumn<int>("increment");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<Content>("expected");
        const QByteArray utf8 = sample.repeated(2000).toUtf8();
        QTest::newRow("Latin-1") << true << QByteArray("caf\xe9") << 0 << true
                                 << Content{Outcome::text, QStringLiteral("café")};
        QTest::newRow("increments")
            << false << utf8 << 4093 << true << Content{Outcome::text, sample.repeated(2000)};
        QTest::newRow("increments stop")
            << false << utf8 << 4093 << false << Content{Outcome::unanswered};
    }
    void ownedByUs()
    {
        QFETCH(bool, refuse);
        QFETCH(QByteArray, offered);
        QFETCH(int, increment);
        QFETCH(bool, ended);
        own(Source::clipboard);
        X11SelectionReader reader(nullptr, 3s);
        QCoro::Task<Content> read = reader.read(Source::clipboard);
        auto request = nextRequest();
        if (refuse) {
            QVERIFY(request);
            answer(*request, std::nullopt);
            request = nextRequest();
        }
        QVERIFY(request);
        answer(*request, offered, increment, ended);
        QTEST(waitForTask(std::move(read)), "expected");
    }

    // An owner that does not answer in time, then does: its late answer is not taken for a later
    // read's, nor are the answers to overlapping reads taken for each other's.
    void slowOwner()
    {
        own(Source::selection);
        Xclip xclip(Source::clipboard, "UTF8_STRING", "copied");
        X11SelectionReader reader(nullptr, 5s);
        QCOMPARE(waitForTask(reader.read(Source::selection)), Content{Outcome::unanswered});
        QCoro::Task<Content> first = reader.read(Source::selection);
        QCoro::Task<Content> second = reader.read(Source::selection);
        QCOMPARE(waitForTask(reader.read(Source::clipboard)), (Content{Outcome::text, "copied"}));
        const auto late = nextRequest(), one = nextRequest(), two = nextRequest();
        QVERIFY(late && one && two);
        answer(*late, "late");
        answer(*two, "two");
        answer(*one, "one");
        QCOMPARE(waitForTask(std::move(first)), (Content{Outcome::text, "one"}));
        QCOMPARE(waitForTask(std::move(second)), (Content{Outcome::text, "two"}));
    }

    void destroyedWhileReading()
    {
        own(Source::clipboard);
        auto reader = std::make_unique<X11SelectionReader>(nullptr, std::chrono::hours(1));
        QCoro::Task<Content> pending = reader->read(Source::clipboard);
        QVERIFY(nextRequest());
        reader.reset();
        QCOMPARE(waitForTask(std::move(pending)), Content{Outcome::unanswered});
    }
};

int main(int argc, char **argv)
{
    return X11Desktop::run<TestX11SelectionReader>(argc, argv);
}

#include "tst_x11selectionreader.moc"
