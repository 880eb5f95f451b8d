#pragma once

#include "language.h"

#include <QFrame>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

// The pull-down of the "···" button: a search field over the languages that are not pills, in
// the order given. Typing keeps the languages whose name or id contains the text, ignoring
// case; Return takes the highlighted one, else the first match; Escape or a press outside closes
// without a choice.
class LanguageMenu : public QFrame
{
    Q_OBJECT

public:
    explicit LanguageMenu(QWidget *parent = nullptr);

    void setLanguages(const QList<Language> &languages);
    QList<Language> languages() const { return m_languages; }
    // The languages the search leaves, in order.
    QList<Language> matches() const;
    QLineEdit *searchField() const { return m_search; }
    QListWidget *list() const { return m_list; }

    // Opens with an empty search under `anchor` (global coordinates), kept on its screen.
    void popup(const QRect &anchor);

signals:
    void languageChosen(const Language &language);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void filter(const QString &text);
    QListWidgetItem *firstMatch() const;
    void choose(QListWidgetItem *item);
    void moveHighlight(int steps);

    QList<Language> m_languages;
    QLineEdit *m_search;
    QListWidget *m_list;
};
