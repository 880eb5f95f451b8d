#include "problemreport.h"

#include <QSysInfo>

namespace {

QString orUnknown(const QString &value)
{
    return value.isEmpty() ? QStringLiteral("?") : value;
}

} // namespace

QString ProblemReport::text(const QString &description, const QString &system,
                            const QString &version, const QString &build)
{
    const QString head = QStringLiteral("🐛 Bug Report — Parlora - Quenzal\n\n");
    const QString tail = QLatin1String("\n\n") + system + QLatin1String("\nApp: v") +
                         orUnknown(version) + QLatin1String(" (") + orUnknown(build) +
                         QLatin1Char(')');
    if (head.size() + description.size() + tail.size() <= maxLength) {
        return head + description + tail;
    }
    qsizetype kept =
        std::max<qsizetype>(0, maxLength - head.size() - tail.size() - cutMarker.size());
    // Never between the halves of a surrogate pair.
    if (kept > 0 && description.at(kept - 1).isHighSurrogate()) {
        --kept;
    }
    return head + description.left(kept) + cutMarker + tail;
}

QString ProblemReport::systemLine()
{
#if defined(Q_OS_MACOS)
    const QString platform = QStringLiteral("macOS");
#elif defined(Q_OS_WIN)
    const QString platform = QStringLiteral("Windows");
#elif defined(Q_OS_LINUX)
    const QString platform = QStringLiteral("Linux");
#else
    const QString platform = QSysInfo::kernelType();
#endif
    return platform + QLatin1String(": ") + orUnknown(QSysInfo::prettyProductName());
}
