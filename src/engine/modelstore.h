#pragma once

#include "modelcatalogue.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QObject>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

// The speech models on disk, and their downloads from the model host (<base>/ggml-<name>.bin).
// A model is ready only as <directory>/ggml-<name>.bin, which is put there by renaming a
// complete download whose SHA-1 matched; until then the data grows in ggml-<name>.bin.part
// beside it. A later download resumes that file with a Range request, so a dropped connection,
// a cancel or a quit costs nothing already saved. Data is written and hashed as it arrives.
class ModelStore : public QObject
{
    Q_OBJECT

public:
    enum class State { notDownloaded, partial, downloading, ready };
    struct Status
    {
        State state = State::notDownloaded;
        // ready: the file's size; partial: what a download resumes from; downloading: so far,
        // the saved part included from the start.
        qint64 bytes = 0;
        // downloading: the whole file's size, as the server announced it, else as listed.
        qint64 total = 0;
    };

    // $XDG_DATA_HOME/Quenzal/models
    static QString defaultDirectory();

    ModelStore(ModelCatalogue catalogue, QUrl baseUrl, QString directory = defaultDirectory(),
               QObject *parent = nullptr);

    const ModelCatalogue &catalogue() const { return m_catalogue; }
    // Where the model is, once ready.
    QString path(const QString &name) const;
    Status status(const QString &name) const;

    // Returns the path of the verified model, at once if it is ready already. Throws
    // ModelDownloadError; what was saved before a failure is kept for the next download
    // unless it cannot be part of the model.
    QCoro::Task<QString> download(QString name);
    // Ends a running download with ModelDownloadError::canceled; the saved part is kept.
    void cancel(const QString &name);
    // Cancels the download and deletes the model and its saved part.
    void remove(const QString &name);

    // A transfer that brings no data for this long ends as stalled.
    void setIdleLimit(std::chrono::milliseconds limit) { m_idleLimit = limit; }

signals:
    // Bytes of the whole file so far (the resumed part included), and its size.
    void progress(const QString &name, qint64 received, qint64 total);
    void statusChanged(const QString &name);

private:
    struct Transfer;
    QNetworkAccessManager *network();

    ModelCatalogue m_catalogue;
    QUrl m_baseUrl;
    QString m_directory;
    std::chrono::milliseconds m_idleLimit{std::chrono::seconds(30)};
    QNetworkAccessManager *m_network = nullptr;
    QHash<QString, Transfer *> m_running;
};
