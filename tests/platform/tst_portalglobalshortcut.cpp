// The portal's global shortcut against a stand-in portal on a private session bus.
#include "portalglobalshortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTest>

#include <optional>

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QKeyCombination altSpace(Qt::AltModifier | Qt::Key_Space);
const QString toggle = QStringLiteral("toggle");

// Just enough of the portal's GlobalShortcuts; `refusedMethod` answers with `refusal`, and an
// empty one means no GlobalShortcuts at all.
class FakePortal : public QDBusVirtualObject
{
public:
    FakePortal(const QString &refusedMethod = "-", uint refusal = 0)
        : m_refusedMethod(refusedMethod)
        , m_refusal(refusal)
    {
        QVERIFY(m_bus.registerVirtualObject(portalPath, this, QDBusConnection::SubPath));
        QVERIFY(m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    }
    ~FakePortal() override { QDBusConnection::disconnectFromBus(m_bus.name()); }

    QStringList sessions;
    QStringList triggers;
    QStringList closedSessions;

    void close(const QString &session)
    {
        m_bus.send(QDBusMessage::createSignal(session, "org.freedesktop.portal.Session", "Closed")
                   << QVariantMap());
    }

    void activate(const QString &session, const QString &shortcutId)
    {
        m_bus.send(QDBusMessage::createSignal(portalPath, shortcutsInterface, "Activated")
                   << QVariant::fromValue(QDBusObjectPath(session)) << shortcutId << qulonglong(0)
                   << QVariantMap());
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        const QString member =
            message.interface() + '.' + message.member() + ' ' + message.signature();
        if (member == "org.freedesktop.portal.Session.Close ") {
            closedSessions << message.path();
            return m_bus.send(message.createReply());
        }
        // Only what the portal's introspection data gives.
        if (m_refusedMethod.isEmpty() ||
            (member != shortcutsInterface + ".CreateSession a{sv}" &&
             member != shortcutsInterface + ".BindShortcuts oa(sa{sv})sa{sv}")) {
            return false;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(message.arguments().last());
        const auto handle = [&](const QString &kind, const QString &token) {
            return QStringLiteral("%1/%2/%3/%4")
                .arg(portalPath, kind, message.service().mid(1).replace('.', '_'),
                     options.value(token).toString());
        };
        const QString request = handle("request", "handle_token");
        QVariantMap results;
        if (message.member() == "CreateSession") {
            sessions << handle("session", "session_handle_token");
            results.insert(QStringLiteral("session_handle"), sessions.last());
        } else {
            const QDBusArgument shortcuts = message.arguments().at(1).value<QDBusArgument>();
            QString id;
            QVariantMap properties;
            shortcuts.beginArray();
            shortcuts.beginStructure();
            shortcuts >> id >> properties;
            shortcuts.endStructure(); // each begin holds a reader until its end
            shortcuts.endArray();
            triggers << id + ' ' + properties.value("preferred_trigger").toString();
        }
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        return m_bus.send(
            QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response")
            << (message.member() == m_refusedMethod ? m_refusal : 0u) << results);
    }

private:
    QString m_refusedMethod;
    uint m_refusal;
    QDBusConnection m_bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal"));
};

} // namespace

class TestPortalGlobalShortcut : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP") &&
            !qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("needs a private session bus: run under scripts/with-desktop or with-keyring");
        }
    }
    void registersActivatesAndReplaces()
    {
        FakePortal portal;
        PortalGlobalShortcut shortcut(toggle, QStringLiteral("Show or hide"));
        QSignalSpy registered(&shortcut, &GlobalShortcut::registered);
        QSignalSpy failed(&shortcut, &GlobalShortcut::failed);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        shortcut.setShortcut(altSpace);
        QVERIFY(registered.wait());
        QVERIFY(shortcut.isRegistered());
        // Only our shortcut in our session counts; signals arrive in order.
        portal.activate(portalPath + QStringLiteral("/session/someone/else"), toggle);
        portal.activate(portal.sessions.first(), QStringLiteral("other"));
        portal.activate(portal.sessions.first(), toggle);
        QVERIFY(activated.wait());
        QCOMPARE(activated.count(), 1);

        // A new combination takes a new session; the old one is closed and counts no more.
        shortcut.setShortcut(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier |
                             Qt::MetaModifier | Qt::Key_T);
        QVERIFY(!shortcut.isRegistered());
        QVERIFY(registered.wait());
        QCOMPARE(portal.triggers,
                 (QStringList{"toggle ALT+space", "toggle CTRL+ALT+SHIFT+LOGO+t"}));
        QCOMPARE(portal.closedSessions, QStringList{portal.sessions.first()});
        portal.activate(portal.sessions.first(), toggle);
        portal.activate(portal.sessions.last(), toggle);
        QVERIFY(activated.wait());
        QCOMPARE(activated.count(), 2);

        // An empty sequence gives the shortcut back and asks for nothing.
        shortcut.setShortcut(QKeyCombination::fromCombined(0));
        QVERIFY(!shortcut.isRegistered());
        QTRY_COMPARE_WITH_TIMEOUT(portal.closedSessions, portal.sessions, 10'000);
        QCOMPARE(portal.sessions.count(), 2);
        QCOMPARE(failed.count(), 0);
    }
    void failuresAreReported_data()
    {
        // Null: no portal; empty: no global shortcuts; "-": granted, then the desktop closes
        // the session.
        QTest::addColumn<QString>("refusedMethod");
        QTest::addColumn<uint>("refusal");
        QTest::addColumn<QString>("reason");
        const QString text = QStringLiteral("Alt+Space cannot be registered: ");
        QTest::newRow("none running") << QString() << 0u << text + "no desktop portal is running";
        QTest::newRow("without global shortcuts")
            << QStringLiteral("") << 0u << text + "the desktop portal offers no global shortcuts";
        QTest::newRow("session cancelled")
            << QStringLiteral("CreateSession") << 1u
            << QStringLiteral("Alt+Space was turned down on the desktop");
        QTest::newRow("binding failed")
            << QStringLiteral("BindShortcuts") << 2u << text + "the desktop portal failed";
        QTest::newRow("session closed later")
            << QStringLiteral("-") << 0u
            << QStringLiteral("Alt+Space no longer works: the desktop closed the portal session");
    }
    void failuresAreReported()
    {
        QFETCH(QString, refusedMethod);
        QFETCH(uint, refusal);
        QFETCH(QString, reason);
        std::optional<FakePortal> portal;
        if (!refusedMethod.isNull()) {
            portal.emplace(refusedMethod, refusal);
        }
        // The bus lets go of an earlier test's portal when it has seen its connection close.
        QTRY_VERIFY_WITH_TIMEOUT(
            portal || !QDBusConnection::sessionBus().interface()->isServiceRegistered(
                          "org.freedesktop.portal.Desktop"),
            10'000);
        PortalGlobalShortcut shortcut(toggle, QStringLiteral("Show or hide"));
        QSignalSpy registered(&shortcut, &GlobalShortcut::registered);
        QSignalSpy failed(&shortcut, &GlobalShortcut::failed);
        shortcut.setShortcut(altSpace);
        const bool closedLater = refusedMethod == QLatin1String("-");
        if (closedLater) {
            QVERIFY(registered.wait());
            portal->close(portal->sessions.last());
        }
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 30'000);
        QCOMPARE(failed.first().at(0).toString(), reason);
        // A portal never says that another program holds the combination.
        QCOMPARE(failed.first().at(1).value<GlobalShortcut::Failure>(),
                 GlobalShortcut::Failure::unavailable);
        QCOMPARE(registered.count(), closedLater ? 1 : 0);
        QVERIFY(!shortcut.isRegistered());
        if (refusedMethod == QLatin1String("BindShortcuts")) { // its session is not left open
            QTRY_COMPARE(portal->closedSessions, portal->sessions);
        }
    }
};

QTEST_MAIN(TestPortalGlobalShortcut)

#include "tst_portalglobalshortcut.moc"
