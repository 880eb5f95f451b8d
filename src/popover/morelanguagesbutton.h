#pragma once

#include "language.h"

#include <QAbstractButton>

class LanguageMenu;

// The "···" at the end of a pills bar: opens the searchable list of the languages that are not
// pills. A choice from it is announced as is; the menu marks no current language.
class MoreLanguagesButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit MoreLanguagesButton(QWidget *parent = nullptr);

    void setLanguages(const QList<Language> &languages);
    QList<Language> languages() const { return m_languages; }
    // Made at the first use: a list of every language is a lot to hold for a button that may
    // never be pressed.
    LanguageMenu *menu();
    bool isHovered() const { return m_hovered; }

    QSize sizeHint() const override { return {30, 28}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void languageChosen(const Language &language);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void openMenu();
    void setHovered(bool hovered);

    QList<Language> m_languages;
    LanguageMenu *m_menu = nullptr;
    bool m_hovered = false;
};
