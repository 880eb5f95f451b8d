#include "namediconengine.h"

#include <QPainter>

NamedIconEngine::NamedIconEngine(QIcon pixmaps, QString name)
    : m_pixmaps(std::move(pixmaps))
    , m_name(std::move(name))
{}

void NamedIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
                            QIcon::State state)
{
    m_pixmaps.paint(painter, rect, Qt::AlignCenter, mode, state);
}

QPixmap NamedIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return m_pixmaps.pixmap(size, mode, state);
}

QSize NamedIconEngine::actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return m_pixmaps.actualSize(size, mode, state);
}

QList<QSize> NamedIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    return m_pixmaps.availableSizes(mode, state);
}

QPixmap NamedIconEngine::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                                      qreal scale)
{
    return m_pixmaps.pixmap(size, scale, mode, state);
}

QString NamedIconEngine::iconName()
{
    return m_name;
}

bool NamedIconEngine::isNull()
{
    return m_pixmaps.isNull();
}

QString NamedIconEngine::key() const
{
    return QStringLiteral("NamedIconEngine");
}

QIconEngine *NamedIconEngine::clone() const
{
    return new NamedIconEngine(m_pixmaps, m_name);
}
