// Headless sway: clicks through wlpointer's virtual pointer, keys through wtype's virtual
// keyboard, windows from its tree (swaymsg), pictures from grim. Layer surfaces are not in the
// tree: a surface over the test's backdrop that the tree does not hold is found on a screenshot.
#pragma once

#include "waylanddesktop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Wayland {

class SwayDesktop : public Desktop
{
public:
    // A seat offers its clients a keyboard and a pointer only while it has them, and a client
    // learns of one a moment after it comes: one of each is kept plugged in, so that the clicks
    // and keys of the short-lived ones wlpointer and wtype add reach whoever they are meant for.
    SwayDesktop()
    {
        m_pointer.start(QStringLiteral(QUENZAL_WLPOINTER), {"hold"});
        m_keyboard.start("wtype", {"-M", "shift", "-m", "shift", "-s", "2000000000"});
        const auto plugged = [] {
            QStringList types;
            for (const QJsonValue device : ask("get_seats")[0]["devices"].toArray()) {
                types << device["type"].toString();
            }
            return types.contains("keyboard") && types.contains("pointer");
        };
        m_ready = pointer({"move", "0", "0"}) && QTest::qWaitFor(plugged, patience);
    }
    ~SwayDesktop() override
    {
        for (QProcess *holder : {&m_pointer, &m_keyboard}) {
            holder->kill();
            holder->waitForFinished();
        }
    }

    QList<Surface> surfaces() override
    {
        QList<Surface> found;
        const auto walk = [&](const auto &self, const QJsonValue &node, bool floating) -> void {
            if (const qint64 pid = node["pid"].toInteger(); pid > 0) {
                found.append({node["name"].toString(), rect(node["rect"]),
                              node["border"].toString() != "none", !floating, true, pid});
            }
            for (const QJsonValue child : node["nodes"].toArray()) {
                self(self, child, floating);
            }
            for (const QJsonValue child : node["floating_nodes"].toArray()) {
                self(self, child, true);
            }
        };
        walk(walk, ask("get_tree").object(), false);
        return found;
    }

    QRect workArea() override
    {
        for (const QJsonValue workspace : ask("get_workspaces").array()) {
            if (workspace["visible"].toBool()) { // "focused" only while no window is
                return rect(workspace["rect"]);
            }
        }
        return {};
    }

    QImage screenshot() override
    {
        QByteArray png;
        return execute("grim", {"-"}, &png) ? QImage::fromData(png, "PNG") : QImage();
    }

    bool activateIcon() override
    {
        const std::optional<QPoint> at = icon();
        return at && click(*at);
    }

    // Without sway's frame around it, the window of that title shows nothing but itself.
    bool dropFrame(const QString &title)
    {
        return execute("swaymsg", {QStringLiteral("[title=\"%1\"]").arg(title), "border", "none"});
    }

    // A click into the window, away from where the popover goes.
    bool activate(const QString &title) override
    {
        for (const Surface &surface : surfaces()) {
            if (surface.title == title) {
                return click(surface.frame.bottomLeft() + QPoint(20, -20));
            }
        }
        return false;
    }

    bool clickAt(QPoint at) { return click(at); }

    bool canType() const override { return true; }
    bool type(const QString &text) override { return execute("wtype", {text}); }

    // The bounds of what covers the test's backdrop (of colour `backdrop`) in the work area.
    QRect overBackdrop(QRgb backdrop)
    {
        const QImage shot = screenshot();
        const QRect area = workArea() & shot.rect();
        QRect bounds;
        for (int y = area.top(); y <= area.bottom(); y += 2) {
            for (int x = area.left(); x <= area.right(); x += 2) {
                bounds |= shot.pixel(x, y) != backdrop ? QRect(x, y, 2, 2) : QRect();
            }
        }
        return bounds;
    }

private:
    static QJsonDocument ask(const char *what)
    {
        QByteArray reply;
        return execute("swaymsg", {"-r", "-t", what}, &reply) ? QJsonDocument::fromJson(reply)
                                                              : QJsonDocument();
    }
    static bool pointer(const QStringList &arguments)
    {
        return execute(QStringLiteral(QUENZAL_WLPOINTER), arguments);
    }
    // Then the pointer goes to the bar's far left, out of the screenshots' way (sway draws it).
    static bool click(QPoint at)
    {
        return pointer({"click", QString::number(at.x()), QString::number(at.y())}) &&
               pointer({"move", "0", "0"});
    }

    // The centre of what stands out from the bar's own colour in its right half, once drawn; the
    // tray is all it holds.
    std::optional<QPoint> icon()
    {
        return waitToFind([this]() -> std::optional<QPoint> {
            const QImage shot = screenshot();
            const int bar = workArea().top();
            if (shot.isNull() || bar < 8) {
                return std::nullopt;
            }
            const int panel = qGray(shot.pixel(shot.width() / 2, bar / 2));
            QRect bounds;
            for (int y = 0; y < bar; ++y) {
                for (int x = shot.width() / 2; x < shot.width(); ++x) {
                    bounds |= std::abs(qGray(shot.pixel(x, y)) - panel) > 40 ? QRect(x, y, 1, 1)
                                                                             : QRect();
                }
            }
            return bounds.width() >= 4 ? std::optional(bounds.center()) : std::nullopt;
        });
    }

    QProcess m_pointer;
    QProcess m_keyboard;
};

} // namespace Wayland
