#pragma once

#include <QIcon>
#include <QIconEngine>

// Pixmaps drawn by the program under an icon-theme name: a tray that looks the icon up by name
// in its own theme (and recolours a symbolic one for its panel) gets the name; everything else
// draws the pixmaps.
class NamedIconEngine : public QIconEngine
{
public:
    NamedIconEngine(QIcon pixmaps, QString name);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QString iconName() override;
    bool isNull() override;
    QString key() const override;
    QIconEngine *clone() const override;

private:
    QIcon m_pixmaps;
    QString m_name;
};
