#pragma once

#include <QWidget>

class Dictation;
class ModelRow;
class QLabel;
class QProgressBar;
class QPushButton;

// The dictation settings: one row per speech model of the catalogue, with its listed size, the
// one dictation uses checked (a click chooses another), and under them where the chosen model
// stands: not downloaded (Download; a saved part is named, and the download resumes from it),
// downloading (progress, Cancel), ready with its size on disk (Remove), or why its last
// download failed (Download again). A saved part can be removed as a whole model can.
//
// Follows `dictation` and its model store as they change, downloads started from the popover
// included. `dictation` must outlive the section.
class DictationSection : public QWidget
{
    Q_OBJECT

public:
    static constexpr int horizontalPadding = 16;
    static constexpr int verticalPadding = 12;
    static constexpr int statusSize = 13;
    static constexpr int messageSize = 11;
    static constexpr int progressHeight = 4;

    explicit DictationSection(Dictation &dictation, QWidget *parent = nullptr);

    const QList<ModelRow *> &modelRows() const { return m_rows; }
    // Where the chosen model stands, as shown.
    QString status() const;
    // Why its last download failed, empty when that is not shown.
    QString message() const;
    QProgressBar *progressBar() const { return m_progress; }
    QPushButton *downloadButton() const { return m_download; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *removeButton() const { return m_remove; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void restyle();
    QWidget *makeStatusRow();

    Dictation &m_dictation;
    QList<ModelRow *> m_rows;
    QLabel *m_status = nullptr;
    QLabel *m_message = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_download = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_remove = nullptr;
};
