// Linked into the program the desktop tests drive: writes on standard error what the dictation
// line under the source text shows whenever it is painted with something new, so that a test
// reads it as the user sees it, without looking into the program's objects.
#include "dictationbar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

namespace {

class DictationProbe : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const auto *label = qobject_cast<QLabel *>(watched);
            const auto *bar = label ? qobject_cast<DictationBar *>(label->parentWidget()) : nullptr;
            if (bar && bar->text() == label && label->text() != m_shown) {
                m_shown = label->text();
                qInfo("dictation bar: %s", qUtf8Printable(m_shown));
            }
        }
        return false;
    }

private:
    QString m_shown;
};

void installProbe()
{
    QCoreApplication::instance()->installEventFilter(
        new DictationProbe(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
