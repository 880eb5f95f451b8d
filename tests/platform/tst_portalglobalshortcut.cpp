// The portal's global shortcut against a stand-in portal on a private session bus: our side of
// the conversation.
#include "portalglobalshortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QKeyCombination altSpace(Qt::AltModifier | Qt::Key_Space);
const QString toggle = QStringLiteral("toggle");

// Just enough of the portal's GlobalShortcuts, under its name on a connection of its own, with
// a chosen answer for one method.
class FakePortal : public QDBusVirtualObject
{
public:
    FakePortal()
    {
        QVERIFY(m_bus.isConnected());
        QVERIFY(m_bus.registerVirtualObject(portalPath, this, QDBusConnection::SubPath));
        QVERIFY(m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    }
    ~FakePortal() override { QDBusConnection::disconnectFromBus(m_bus.name()); }

    QString refusedMethod;
    uint refusal = 0;
    bool offersShortcuts = true;
    QStringList sessions;
    QStringList triggers;
    QStringList closedSessions;

    void activate(const QString &session, const QString &shortcutId)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(portalPath, shortcutsInterface, QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcutId << qulonglong(0)
               << QVariantMap();
        m_bus.send(signal);
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        const QString member = message.member();
        if (message.interface() == QLatin1String("org.freedesktop.portal.Session") &&
            member == QLatin1String("Close")) {
            closedSessions << message.path();
            return m_bus.send(message.createReply());
        }
        // What the portal's introspection data gives; anything else it turns away.
        const QString signature = message.signature();
        if (!offersShortcuts || message.interface() != shortcutsInterface ||
            !((member == QLatin1String("CreateSession") && signature == "a{sv}") ||
              (member == QLatin1String("BindShortcuts") && signature == "oa(sa{sv})sa{sv}"))) {
            return false;
        }
        const QVariantList arguments = message.arguments();
        const QVariantMap options = qdbus_cast<QVariantMap>(arguments.last());
        const auto handle = [&](const QString &kind, const QString &token) {
            return QStringLiteral("%1/%2/%3/%4")
                .arg(portalPath, kind, message.service().mid(1).replace('.', '_'),
                     options.value(token).toString());
        };
        const QString request = handle("request", "handle_token");
        QVariantMap results;
        if (member == QLatin1String("CreateSession")) {
            sessions << handle("session", "session_handle_token");
            results.insert(QStringLiteral("session_handle"), sessions.last());
        } else {
            const QDBusArgument shortcuts = arguments.at(1).value<QDBusArgument>();
            shortcuts.beginArray();
            while (!shortcuts.atEnd()) {
                QString id;
                QVariantMap properties;
                shortcuts.beginStructure();
                shortcuts >> id >> properties;
                shortcuts.endStructure();
                if (id == toggle) {
                    triggers << properties.value(QStringLiteral("preferred_trigger")).toString();
                }
            }
            shortcuts.endArray();
        }
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << (member == refusedMethod ? refusal : 0u) << results;
        return m_bus.send(response);
    }

private:
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
        // Only on a bus of our own: the stand-in takes the real portal's name.
        if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP") &&
            !qEnvironmentVariableIsSet("QUENZAL_TEST_KEYRING")) {
            QSKIP("needs a private session bus: run under scripts/with-desktop or with-keyring");
        }
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "a private session bus was promised");
    }
    void cleanup() { m_portal.reset(); }
    void registersActivatesAndReplaces()
    {
        m_portal = std::make_unique<FakePortal>();
        PortalGlobalShortcut shortcut;
        QSignalSpy registered(&shortcut, &GlobalShortcut::registered);
        QSignalSpy failed(&shortcut, &GlobalShortcut::failed);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        shortcut.setShortcut(altSpace);
        QVERIFY(registered.wait());
        QVERIFY(shortcut.isRegistered());

        // Only our shortcut in our session counts; signals arrive in order.
        m_portal->activate(portalPath + QStringLiteral("/session/someone/else"), toggle);
        m_portal->activate(m_portal->sessions.first(), QStringLiteral("other"));
        m_portal->activate(m_portal->sessions.first(), toggle);
        QVERIFY(activated.wait());
        QCOMPARE(activated.count(), 1);

        // A new combination takes a new session; the old one is closed and counts no more.
        shortcut.setShortcut(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier |
                             Qt::MetaModifier | Qt::Key_T);
        QVERIFY(!shortcut.isRegistered());
        QVERIFY(registered.wait());
        QCOMPARE(m_portal->triggers, (QStringList{"ALT+space", "CTRL+ALT+SHIFT+LOGO+t"}));
        QCOMPARE(m_portal->sessions.count(), 2);
        QCOMPARE(m_portal->closedSessions, QStringList{m_portal->sessions.first()});
        m_portal->activate(m_portal->sessions.first(), toggle);
        m_portal->activate(m_portal->sessions.last(), toggle);
        QVERIFY(activated.wait());
        QCOMPARE(activated.count(), 2);

        // An empty sequence gives the shortcut back and asks for nothing.
        shortcut.setShortcut(QKeyCombination::fromCombined(0));
        QVERIFY(!shortcut.isRegistered());
        QTRY_COMPARE_WITH_TIMEOUT(m_portal->closedSessions, m_portal->sessions, 10'000);
        QCOMPARE(failed.count(), 0);
    }
    void failuresAreReported_data()
    {
        QTest::addColumn<QString>("refusedMethod"); // null: no portal; empty: no global shortcuts
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
    }
    void failuresAreReported()
    {
        QFETCH(QString, refusedMethod);
        QFETCH(uint, refusal);
        QFETCH(QString, reason);
        if (!refusedMethod.isNull()) {
            m_portal = std::make_unique<FakePortal>();
            m_portal->offersShortcuts = !refusedMethod.isEmpty();
            m_portal->refusedMethod = refusedMethod;
            m_portal->refusal = refusal;
        }
        PortalGlobalShortcut shortcut;
        QSignalSpy registered(&shortcut, &GlobalShortcut::registered);
        QSignalSpy failed(&shortcut, &GlobalShortcut::failed);
        shortcut.setShortcut(altSpace);
        QVERIFY(failed.wait());
        QCOMPARE(failed.first().at(0).toString(), reason);
        QCOMPARE(registered.count(), 0);
        QVERIFY(!shortcut.isRegistered());
    }

private:
    std::unique_ptr<FakePortal> m_portal;
};

QTEST_MAIN(TestPortalGlobalShortcut)

#include "tst_portalglobalshortcut.moc"
