#include "aboutview.h"

#include "apptheme.h"
#include "closebutton.h"
#include "cursormodifier.h"
#include "deployment.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QScopedValueRollback>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {

constexpr int padding = 24;
constexpr int spacing = 16;
constexpr int headerSize = 20;
constexpr int titleSize = 26;
constexpr int subheadlineSize = 13;
constexpr int bodySize = 15;
constexpr qreal ringWidth = 2.5;
constexpr qreal shadowBlur = 8;
constexpr QPointF shadowOffset{0, 2};

// The image at `path` drawn to fit a `side` square, or a null image when there is none.
QImage loadLogo(const QString &path, int side, qreal ratio)
{
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return {};
    }
    const QSize pixels = (QSizeF(side, side) * ratio).toSize();
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) && renderer.load(path) &&
        renderer.isValid()) {
        renderer.setAspectRatioMode(Qt::KeepAspectRatio);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(), QSizeF(pixels)));
    } else {
        QImageReader reader(path);
        const QImage raster = reader.read();
        if (raster.isNull()) {
            return {};
        }
        const QImage scaled = raster.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter painter(&image);
        painter.drawImage(QPointF((pixels.width() - scaled.width()) / 2.0,
                                  (pixels.height() - scaled.height()) / 2.0),
                          scaled);
    }
    image.setDevicePixelRatio(ratio);
    return image;
}

// The logo, clipped to a circle under a thin ring of light, brighter at the top left.
class LogoView : public QWidget
{
public:
    LogoView(QString path, QImage image, QWidget *parent)
        : QWidget(parent)
        , m_path(std::move(path))
        , m_image(std::move(image))
    {
        setFixedSize(AboutView::logoSize, AboutView::logoSize);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF frame(rect());
        // Drawn again for a screen of another pixel density, so a vector logo stays sharp.
        const qreal ratio = painter.device()->devicePixelRatioF();
        if (!qFuzzyCompare(m_image.devicePixelRatio(), ratio)) {
            const QImage sharper = loadLogo(m_path, AboutView::logoSize, ratio);
            if (!sharper.isNull()) {
                m_image = sharper;
            }
        }
        QPainterPath circle;
        circle.addEllipse(frame);
        painter.save();
        painter.setClipPath(circle);
        painter.drawImage(frame, m_image);
        painter.restore();

        // Inside the frame, so none of the ring is cut off at the widget's edge.
        QLinearGradient light(frame.topLeft(), frame.bottomRight());
        light.setColorAt(0.0, QColor::fromRgbF(1, 1, 1, 0.85f));
        light.setColorAt(0.5, QColor::fromRgbF(1, 1, 1, 0.4f));
        light.setColorAt(1.0, QColor::fromRgbF(1, 1, 1, 0.15f));
        painter.setPen(QPen(QBrush(light), ringWidth));
        painter.setBrush(Qt::NoBrush);
        const qreal inset = ringWidth / 2;
        painter.drawEllipse(frame.adjusted(inset, inset, -inset, -inset));
    }

private:
    QString m_path;
    QImage m_image;
};

// The website's host name as a link: opens the address in the user's browser on a click, or
// on Return or Space once reached with Tab.
class WebsiteLink : public QLabel
{
public:
    WebsiteLink(const QString &text, QUrl url, QWidget *parent)
        : QLabel(text, parent)
        , m_url(std::move(url))
    {
        setFocusPolicy(Qt::TabFocus);
        setAttribute(Qt::WA_Hover);
        setAccessibleDescription(m_url.toString());
        setToolTip(m_url.toDisplayString());
        new CursorModifier(this, Qt::PointingHandCursor);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        m_pressed = event->button() == Qt::LeftButton;
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        // A press that wanders off the link before it is let go is no click.
        if (std::exchange(m_pressed, false) && event->button() == Qt::LeftButton &&
            rect().contains(event->position().toPoint())) {
            open();
        }
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
            event->key() == Qt::Key_Space) {
            open();
            return;
        }
        QLabel::keyPressEvent(event);
    }

    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave ||
            event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            QFont underlined = font();
            underlined.setUnderline(underMouse() || hasFocus());
            setFont(underlined);
        }
        return QLabel::event(event);
    }

private:
    void open() { QDesktopServices::openUrl(m_url); }

    QUrl m_url;
    bool m_pressed = false;
};

} // namespace

AboutView::Details AboutView::deploymentDetails()
{
    return {Deployment::version(), Deployment::buildNumber(), Deployment::websiteUrl(),
            defaultLogoPath};
}

AboutView::AboutView(std::function<void()> onClose, QWidget *parent)
    : AboutView(deploymentDetails(), std::move(onClose), parent)
{}

AboutView::AboutView(Details details, std::function<void()> onClose, QWidget *parent)
    : QWidget(parent)
    , m_onClose(std::move(onClose))
    , m_header(new QLabel(QStringLiteral("About"), this))
    , m_closeButton(new CloseButton(CloseButton::Look::filledCircle, headerSize, this))
    , m_title(new QLabel(QStringLiteral("Parlora - Quenzal"), this))
    , m_version(new QLabel(versionLine(details.version, details.build), this))
    , m_tagline(new QLabel(QStringLiteral("AI-powered translator"), this))
{
    m_header->setObjectName(QStringLiteral("header"));
    m_closeButton->setObjectName(QStringLiteral("close"));
    m_title->setObjectName(QStringLiteral("title"));
    m_version->setObjectName(QStringLiteral("version"));
    m_tagline->setObjectName(QStringLiteral("tagline"));

    m_header->setFont(AppTheme::font(font(), headerSize, QFont::Bold));
    m_title->setFont(AppTheme::font(font(), titleSize, QFont::Bold));
    m_version->setFont(AppTheme::font(font(), subheadlineSize, QFont::Normal));
    m_tagline->setFont(AppTheme::font(font(), bodySize, QFont::Normal));
    for (QLabel *label : {m_title, m_version, m_tagline}) {
        label->setAlignment(Qt::AlignHCenter);
    }

    const QImage logo = loadLogo(details.logoPath, logoSize, devicePixelRatioF());
    if (!logo.isNull()) {
        m_logo = new LogoView(details.logoPath, logo, this);
        m_logo->setObjectName(QStringLiteral("logo"));
    }
    const QString linkText = websiteText(details.website);
    if (!linkText.isEmpty()) {
        m_link = new WebsiteLink(linkText, details.website, this);
        m_link->setObjectName(QStringLiteral("website"));
        m_link->setFont(AppTheme::font(font(), bodySize, QFont::Normal));
    }

    auto *header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(m_header, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_closeButton, 0, Qt::AlignVCenter);

    // Spacers take no spacing of their own: the 4 extra points below the header and above the
    // tagline add to the column's 16.
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    column->addStretch(1);
    column->addLayout(header);
    column->addSpacing(4);
    if (m_logo) {
        column->addWidget(m_logo, 0, Qt::AlignHCenter);
    }
    column->addWidget(m_title, 0, Qt::AlignHCenter);
    column->addWidget(m_version, 0, Qt::AlignHCenter);
    column->addSpacing(4);
    column->addWidget(m_tagline, 0, Qt::AlignHCenter);
    if (m_link) {
        column->addWidget(m_link, 0, Qt::AlignHCenter);
    }
    column->addStretch(1);

    // Queued: a host that deletes the panel in onClose must not pull the button from under
    // its own click.
    connect(
        m_closeButton, &QAbstractButton::clicked, this,
        [this] {
            if (m_onClose) {
                m_onClose();
            }
        },
        Qt::QueuedConnection);
    applyColors();
}

AboutView::~AboutView() = default;

QString AboutView::versionLine(const QString &version, const QString &build)
{
    return tr("Version %1 (%2)")
        .arg(version.isEmpty() ? QStringLiteral("1.0") : version,
             build.isEmpty() ? QStringLiteral("1") : build);
}

QString AboutView::websiteText(const QUrl &website)
{
    const QString scheme = website.scheme();
    if (!website.isValid() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return {};
    }
    return website.host();
}

void AboutView::paintEvent(QPaintEvent *)
{
    if (!m_logo) {
        return;
    }
    // The logo's glow, drawn here because it reaches beyond the logo's own frame.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(m_logo->geometry()).translated(shadowOffset);
    const qreal radius = frame.width() / 2 + shadowBlur;
    QRadialGradient glow(frame.center(), radius);
    const qreal edge = frame.width() / 2 / radius;
    const qreal blur = shadowBlur / radius;
    glow.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.25f));
    glow.setColorAt(edge - blur, QColor::fromRgbF(1, 1, 1, 0.25f));
    glow.setColorAt(edge, QColor::fromRgbF(1, 1, 1, 0.125f));
    glow.setColorAt(edge + blur / 2, QColor::fromRgbF(1, 1, 1, 0.03f));
    glow.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(frame.center(), radius, radius);
}

void AboutView::applyColors()
{
    const QScopedValueRollback guard(m_applyingColors, true);
    const AppTheme::Colors &colors = AppTheme::colors();
    AppTheme::setTextColor(m_header, colors.label);
    AppTheme::setTextColor(m_title, colors.label);
    AppTheme::setTextColor(m_version, colors.secondaryLabel);
    AppTheme::setTextColor(m_tagline, colors.secondaryLabel);
    if (m_link) {
        AppTheme::setTextColor(m_link, colors.accent);
    }
}

void AboutView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (AppTheme::isSchemeChange(event) && !m_applyingColors) {
        applyColors();
    }
}
