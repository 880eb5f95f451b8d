#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class Dictation;
class QLabel;
class QProgressBar;
class QPushButton;

// The line under the source text that says what dictation is doing when the microphone
// button alone cannot: how long it has listened, that the words are being recognised, the
// offer to download the speech model (Download, Not Now), the download's progress (Cancel),
// and what went wrong ("No microphone found", "Nothing was heard"), which a click on the close
// control clears. Hidden when there is nothing to say. `dictation` must outlive the bar.
class DictationBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int textSize = 12;

    explicit DictationBar(Dictation &dictation, QWidget *parent = nullptr);

    QLabel *text() const { return m_text; }
    QProgressBar *progressBar() const { return m_progress; }
    QPushButton *primaryButton() const { return m_primary; }
    QPushButton *secondaryButton() const { return m_secondary; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void showElapsed();
    void restyle();

    Dictation &m_dictation;
    QLabel *m_text = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_primary = nullptr;
    QPushButton *m_secondary = nullptr;
    QElapsedTimer m_listening;
    QTimer m_clock;
};
