#pragma once

#include "capsuleshadow.h"
#include "language.h"

#include <QWidget>

#include <optional>

class MoreLanguagesButton;
class PillButton;
class SpringAnimation;

// A bar of language pills with a "···" button for the rest, on a frosted capsule. It shows what
// it is given and decides nothing: a click on a pill or a choice from the menu is announced
// through languageChosen, and the owner answers with setLanguages and setSelected.
//
// One blue capsule marks the selected pill. When the answer to a click on a pill selects
// another pill, the capsule springs over to it; any other change of selection puts it there
// at once. An answer counts as one only while languageChosen is being emitted, so the owner
// connects directly. A selected language that is no pill has no capsule.
class LanguagePillsView : public QWidget
{
    Q_OBJECT

public:
    // The source bar shows the sparkle on its "auto" pill.
    explicit LanguagePillsView(bool isSource, QWidget *parent = nullptr);
    ~LanguagePillsView() override;

    bool isSource() const { return m_isSource; }
    // The "···" button is there only when `more` is not empty.
    void setLanguages(const QList<Language> &pills, const QList<Language> &more);
    // Pills are matched by id alone.
    void setSelected(const Language &language);
    Language selected() const { return m_selected; }

    QList<PillButton *> pills() const { return m_pills; }
    MoreLanguagesButton *moreButton() const { return m_more; }
    // Where the capsule is drawn now, in the bar's coordinates; none without a selected pill.
    std::optional<QRectF> capsule() const { return m_capsule; }
    SpringAnimation *capsuleAnimation() const { return m_spring; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void languageChosen(const Language &language);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void onPillClicked(const Language &language);
    void refresh();
    void layoutItems();
    void placeCapsule();
    void showCapsule(const std::optional<QRectF> &capsule);
    QRect dirtyRect(const QRectF &capsule) const;
    PillButton *selectedPill() const;

    bool m_isSource;
    QList<Language> m_pillLanguages;
    Language m_selected;
    QList<PillButton *> m_pills;
    MoreLanguagesButton *m_more;
    SpringAnimation *m_spring;
    std::optional<QRectF> m_capsule;
    QString m_capsuleLanguageId; // the pill the capsule is on or bound for
    CapsuleShadow m_shadow;
    // Set while a pill's click is being announced: the answer to it slides the capsule.
    bool m_answeringClick = false;
};
