#include "languagepillsview.h"

#include "apptheme.h"
#include "morelanguagesbutton.h"
#include "pillbutton.h"
#include "springanimation.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int padding = 5;
constexpr int spacing = 4;

QColor selectionBlue(qreal opacity)
{
    return QColor::fromRgbF(0, 0.48f, 1.0f, float(opacity));
}

void paintCapsule(QPainter &painter, const QRectF &rect)
{
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    painter.drawRoundedRect(rect, radius, radius);
}

} // namespace

LanguagePillsView::LanguagePillsView(bool isSource, QWidget *parent)
    : QWidget(parent)
    , m_isSource(isSource)
    , m_more(new MoreLanguagesButton(this))
    , m_spring(new SpringAnimation(this))
    , m_shadow(selectionBlue(0.5), 6, QPointF(0, 2))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_more->hide();
    connect(m_more, &MoreLanguagesButton::languageChosen, this, &LanguagePillsView::languageChosen);
    connect(m_spring, &SpringAnimation::valueChanged, this,
            [this](const QRectF &value) { showCapsule(value); });
}

LanguagePillsView::~LanguagePillsView() = default;

void LanguagePillsView::setLanguages(const QList<Language> &pills, const QList<Language> &more)
{
    if (pills != m_pillLanguages) {
        m_pillLanguages = pills;
        // Deleted later: the answer to a pill's click may replace that very pill.
        for (PillButton *pill : std::as_const(m_pills)) {
            pill->hide();
            pill->deleteLater();
        }
        m_pills.clear();
        for (const Language &language : pills) {
            auto *pill = new PillButton(language, m_isSource && language.isAuto(), this);
            connect(pill, &QAbstractButton::clicked, this,
                    [this, language] { onPillClicked(language); });
            pill->show();
            m_pills.append(pill);
        }
    }
    m_more->setLanguages(more);
    m_more->setVisible(!more.isEmpty());
    refresh();
}

void LanguagePillsView::setSelected(const Language &language)
{
    m_selected = language;
    refresh();
}

void LanguagePillsView::onPillClicked(const Language &language)
{
    m_answeringClick = true;
    emit languageChosen(language);
    m_answeringClick = false;
}

void LanguagePillsView::refresh()
{
    for (PillButton *pill : std::as_const(m_pills)) {
        pill->setSelected(pill->language().id == m_selected.id);
    }
    layoutItems();
    placeCapsule();
}

QSize LanguagePillsView::sizeHint() const
{
    int width = 0;
    int height = 0;
    int items = 0;
    for (const PillButton *pill : m_pills) {
        const QSize size = pill->sizeHint();
        width += size.width();
        height = std::max(height, size.height());
        ++items;
    }
    if (!m_more->isHidden()) {
        width += m_more->sizeHint().width();
        height = std::max(height, m_more->sizeHint().height());
        ++items;
    }
    return {width + std::max(0, items - 1) * spacing + 2 * padding, height + 2 * padding};
}

void LanguagePillsView::layoutItems()
{
    int x = padding;
    const auto place = [&](QWidget *item) {
        const QSize size = item->sizeHint();
        item->setGeometry(x, (height() - size.height()) / 2, size.width(), size.height());
        x += size.width() + spacing;
    };
    for (PillButton *pill : std::as_const(m_pills)) {
        place(pill);
    }
    if (!m_more->isHidden()) {
        place(m_more);
    }
    updateGeometry();
}

PillButton *LanguagePillsView::selectedPill() const
{
    for (PillButton *pill : m_pills) {
        if (pill->isSelected()) {
            return pill;
        }
    }
    return nullptr;
}

void LanguagePillsView::placeCapsule()
{
    const PillButton *pill = selectedPill();
    if (pill == nullptr) {
        m_spring->stop();
        m_capsuleLanguageId.clear();
        showCapsule(std::nullopt);
        return;
    }
    const QRectF target = pill->geometry();
    const bool samePill = pill->language().id == m_capsuleLanguageId;
    const bool sliding = m_spring->state() != QAbstractAnimation::Stopped;
    m_capsuleLanguageId = pill->language().id;
    // The answer to a click slides from wherever the capsule is, and a slide carries on to
    // where a new layout put its pill; any other change lands at once.
    if (m_capsule && (m_answeringClick || (sliding && samePill))) {
        if (!sliding || m_spring->target() != target) {
            m_spring->setTarget(target);
        }
    } else {
        m_spring->setValue(target);
    }
}

void LanguagePillsView::showCapsule(const std::optional<QRectF> &capsule)
{
    if (capsule == m_capsule) {
        return;
    }
    if (m_capsule) {
        update(dirtyRect(*m_capsule));
    }
    m_capsule = capsule;
    if (m_capsule) {
        update(dirtyRect(*m_capsule));
    }
}

QRect LanguagePillsView::dirtyRect(const QRectF &capsule) const
{
    return m_shadow.bounds(capsule).united(capsule).toAlignedRect();
}

void LanguagePillsView::paintEvent(QPaintEvent *)
{
    const bool dark = AppTheme::current() == AppTheme::Scheme::dark;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF bounds = rect();
    QLinearGradient fill(bounds.topLeft(), bounds.bottomRight());
    fill.setColorAt(0, QColor::fromRgbF(1, 1, 1, dark ? 0.12f : 0.75f));
    fill.setColorAt(1, QColor::fromRgbF(1, 1, 1, dark ? 0.05f : 0.35f));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    paintCapsule(painter, bounds);
    // The edge lies inside the border: a 1-point line centred half a point in.
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, dark ? 0.15f : 0.6f), 1));
    painter.setBrush(Qt::NoBrush);
    paintCapsule(painter, bounds.adjusted(0.5, 0.5, -0.5, -0.5));

    if (m_capsule) {
        m_shadow.paint(painter, *m_capsule);
        painter.setPen(Qt::NoPen);
        painter.setBrush(selectionBlue(1));
        paintCapsule(painter, *m_capsule);
    }
}

void LanguagePillsView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutItems();
    placeCapsule();
}

void LanguagePillsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        refresh();
    }
}
