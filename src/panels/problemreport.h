#pragma once

#include <QString>

// The chat message a problem report becomes:
//
//     🐛 Bug Report — Parlora - Quenzal
//
//     <the description as typed>
//
//     Linux: Debian GNU/Linux 12 (bookworm)
//     App: v0.1.0 (1)
//
// An empty version or build reads "?". The Bot API refuses messages longer than maxLength; a
// longer description is cut to fit, the cut marked, so that the report still arrives with the
// system and version lines that make it useful.
class ProblemReport
{
public:
    static constexpr qsizetype maxLength = 4096; // UTF-16 units, never fewer than characters
    static inline const QString cutMarker = QStringLiteral("\n[…]");

    static QString text(const QString &description, const QString &system, const QString &version,
                        const QString &build);

    // The running system as the report names it: "Linux: " and the distribution's name.
    static QString systemLine();
};
