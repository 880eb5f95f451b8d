#pragma once

#include <QWidget>

class PopoverContentView;

// The popover's own top-level window: frameless, with rounded corners, kept out of the
// taskbar, the pager and the window switcher, above other windows, and never closed by the
// window manager. Translucent where a compositor runs, opaque with the same corners elsewhere.
// Hidden, it gives its native window and the image it paints into back (1.4 MB at the default
// size, four times that on a HiDPI screen); its widgets and their state stay.
class PopoverWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cornerRadius = 16;

    // `layered`: the window goes on the compositor's layer shell once shown (see LayerShell),
    // so the window manager is bypassed.
    PopoverWindow(PopoverContentView *content, bool translucent, bool layered = false,
                  QWidget *parent = nullptr);

    PopoverContentView *content() const { return m_content; }
    bool isTranslucent() const { return m_translucent; }

signals:
    void deactivated();
    // Escape reached the window: no control inside had a use for it.
    void dismissRequested();
    // After every paint, so the time to the popover's first frame can be measured.
    void painted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    PopoverContentView *m_content;
    bool m_translucent;
    bool m_clearCorners;
};
