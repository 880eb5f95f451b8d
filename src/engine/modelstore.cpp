#include "modelstore.h"

#include "modeldownloaderror.h"

#include <QCoreApplication>
#include <QCoro/QCoroNetworkReply>
#include <QCoro/QCoroTimer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QScopeGuard>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

#include <unistd.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// Read in steps of this size: Qt stops taking data from the connection while its buffer is
// full, so a model never sits in memory.
constexpr qint64 readStep = 256 * 1024;
// The saved part is hashed in pieces of this size, with the event loop running in between.
constexpr qint64 hashStep = 4 * 1024 * 1024;

// The listed sizes are rounded; only a body far beyond them is not the model.
qint64 sizeBound(const ModelCatalogue::Model &model)
{
    return model.size + model.size / 4;
}

struct ContentRange
{
    qint64 first = -1;
    qint64 total = -1; // -1: not given
};

// "bytes 100-199/200", or "bytes */200" with a 416.
ContentRange contentRange(const QByteArray &header)
{
    ContentRange range;
    if (!header.startsWith("bytes ")) {
        return range;
    }
    const QList<QByteArray> parts = header.mid(6).split('/');
    bool ok = false;
    const qint64 first = parts.value(0).split('-').value(0).trimmed().toLongLong(&ok);
    if (ok) {
        range.first = first;
    }
    const qint64 total = parts.value(1).trimmed().toLongLong(&ok);
    if (ok) {
        range.total = total;
    }
    return range;
}

} // namespace

struct ModelStore::Transfer
{
    QPointer<QNetworkReply> reply;
    bool canceled = false;
    qint64 received = 0; // written and hashed
    qint64 saved = 0;    // the part the download resumes from, while it is read back
    qint64 total = 0;
};

QString ModelStore::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/Quenzal/models"_s;
}

ModelStore::ModelStore(ModelCatalogue catalogue, QUrl baseUrl, QString directory, QObject *parent)
    : QObject(parent)
    , m_catalogue(std::move(catalogue))
    , m_baseUrl(std::move(baseUrl))
    , m_directory(std::move(directory))
{}

QString ModelStore::path(const QString &name) const
{
    return m_directory + u'/' + ModelCatalogue::fileName(name);
}

ModelStore::Status ModelStore::status(const QString &name) const
{
    if (const Transfer *transfer = m_running.value(name)) {
        return {State::downloading, std::max(transfer->received, transfer->saved), transfer->total};
    }
    if (const QFileInfo model(path(name)); model.isFile()) {
        return {State::ready, model.size()};
    }
    if (const QFileInfo part(path(name) + u".part"_s); part.isFile() && part.size() > 0) {
        return {State::partial, part.size()};
    }
    return {};
}

QNetworkAccessManager *ModelStore::network()
{
    if (!m_network) {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        m_network = new QNetworkAccessManager(this);
    }
    return m_network;
}

void ModelStore::cancel(const QString &name)
{
    if (Transfer *transfer = m_running.value(name)) {
        transfer->canceled = true;
        if (transfer->reply) {
            // May finish the download right here: nothing of it is touched afterwards.
            transfer->reply->abort();
        }
    }
}

void ModelStore::remove(const QString &name)
{
    cancel(name);
    QFile::remove(path(name) + u".part"_s);
    QFile::remove(path(name));
    emit statusChanged(name);
}

QCoro::Task<QString> ModelStore::download(QString name)
{
    const ModelCatalogue::Model *listed = m_catalogue.find(name);
    if (!listed) {
        throw ModelDownloadError(ModelDownloadError::unknownModel, name);
    }
    const ModelCatalogue::Model model = *listed;
    const QString target = path(name);
    if (QFileInfo(target).isFile()) {
        co_return target;
    }
    if (m_running.contains(name)) {
        throw ModelDownloadError(ModelDownloadError::alreadyRunning);
    }

    Transfer transfer;
    transfer.total = model.size;
    transfer.saved = QFileInfo(target + u".part"_s).size();
    m_running.insert(name, &transfer);
    const QPointer<ModelStore> self(this);
    const auto forget = qScopeGuard([&] {
        if (self) {
            self->m_running.remove(name);
            emit self->statusChanged(name);
        }
    });
    emit statusChanged(name);

    QDir().mkpath(m_directory);
    // Unbuffered: a full disk fails the write that meets it, not a flush long after.
    QFile partial(target + u".part"_s);
    if (!partial.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        throw ModelDownloadError(ModelDownloadError::writeFailed, partial.errorString());
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const auto discard = [&] {
        partial.resize(0);
        partial.seek(0);
        hash.reset();
        transfer.received = 0;
        transfer.saved = 0;
    };
    if (partial.size() > sizeBound(model)) {
        discard();
    }
    while (transfer.received < partial.size()) {
        const QByteArray piece = partial.read(hashStep);
        if (piece.isEmpty()) {
            throw ModelDownloadError(ModelDownloadError::writeFailed, partial.errorString());
        }
        hash.addData(piece);
        transfer.received += piece.size();
        co_await QCoro::sleepFor(0ms);
        if (!self || transfer.canceled) {
            throw ModelDownloadError(ModelDownloadError::canceled);
        }
    }

    // A second request only after the server refused the saved part's range.
    for (int attempt = 0;; ++attempt) {
        const qint64 start = partial.size();
        QUrl url = m_baseUrl;
        QString folder = url.path();
        if (!folder.endsWith(u'/')) {
            folder += u'/';
        }
        url.setPath(folder + model.fileName());
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        // Qt would otherwise ask for a compressed body, whose offsets are not the file's.
        request.setRawHeader("Accept-Encoding", "identity");
        if (start > 0) {
            request.setRawHeader("Range", "bytes=" + QByteArray::number(start) + '-');
        }
        request.setTransferTimeout(int(m_idleLimit.count()));

        const QPointer<QNetworkReply> reply = self->network()->get(request);
        const auto release = qScopeGuard([reply] {
            if (reply) {
                reply->deleteLater();
            }
        });
        reply->setReadBufferSize(readStep);
        transfer.reply = reply;

        bool headChecked = false;
        bool rangeRefused = false;
        qint64 total = -1;
        std::optional<ModelDownloadError> failure;
        // Each caller returns at once after this: aborting may end the download right away.
        const auto stop = [&](ModelDownloadError error) {
            failure = error;
            reply->abort();
        };
        // False when the reply is not the model's data from `start` on.
        const auto checkHead = [&] {
            headChecked = true;
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status == 416) {
                rangeRefused = true;
                total = contentRange(reply->rawHeader("Content-Range")).total;
                reply->abort();
                return false;
            }
            if (status == 206) {
                const ContentRange range = contentRange(reply->rawHeader("Content-Range"));
                if (range.first != start) { // not the part we lack: start afresh
                    rangeRefused = true;
                    reply->abort();
                    return false;
                }
                total = range.total;
            } else if (status == 200) {
                // The server ignored the range and sends the whole file.
                discard();
                const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
                total = length.isValid() ? length.toLongLong() : -1;
            } else {
                stop(ModelDownloadError(ModelDownloadError::serverStatus, QString::number(status)));
                return false;
            }
            if (total > sizeBound(model)) {
                discard();
                stop(ModelDownloadError(ModelDownloadError::tooLarge));
                return false;
            }
            transfer.total = total >= 0 ? total : model.size;
            return true;
        };
        const auto take = [&] {
            if (failure || rangeRefused || transfer.canceled) {
                return;
            }
            if (!headChecked && !checkHead()) {
                return;
            }
            qint64 taken = 0;
            while (reply->bytesAvailable() > 0) {
                const QByteArray chunk = reply->read(readStep);
                if (total >= 0 && transfer.received + chunk.size() > total) {
                    return stop(ModelDownloadError(ModelDownloadError::connectionLost,
                                                   u"more data than announced"_s));
                }
                if (transfer.received + chunk.size() > sizeBound(model)) {
                    discard();
                    return stop(ModelDownloadError(ModelDownloadError::tooLarge));
                }
                // A short write sets no error; the next attempt fails with the reason.
                for (qint64 written = 0, n; written < chunk.size(); written += n) {
                    n = partial.write(chunk.constData() + written, chunk.size() - written);
                    if (n <= 0) {
                        return stop(ModelDownloadError(ModelDownloadError::writeFailed,
                                                       partial.errorString()));
                    }
                }
                hash.addData(chunk);
                transfer.received += chunk.size();
                taken += chunk.size();
            }
            if (taken > 0) {
                emit self->progress(name, transfer.received, transfer.total);
            }
        };
        QObject::connect(reply.data(), &QNetworkReply::readyRead, reply.data(), take);

        co_await reply.data();
        transfer.reply = nullptr;
        if (!self || !reply || transfer.canceled) {
            throw ModelDownloadError(ModelDownloadError::canceled);
        }
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
            take(); // the head of a reply without a body, or data not read yet
        }
        if (failure) {
            throw *failure;
        }
        if (rangeRefused) {
            // Saved in full before a quit, but not yet renamed: the server has nothing more.
            if (total == start && hash.result().toHex() == model.sha1) {
                break;
            }
            discard();
            if (attempt == 0) {
                continue;
            }
            throw ModelDownloadError(ModelDownloadError::serverStatus, u"416"_s);
        }
        if (reply->error() != QNetworkReply::NoError) {
            // After a connection closed midway Qt may send the request once more on its own,
            // for a reply that has already failed: close it rather than fetch into nowhere.
            self->m_network->clearConnectionCache();
        }
        switch (reply->error()) {
        case QNetworkReply::NoError:
            break;
        case QNetworkReply::OperationCanceledError: // only the transfer time-out, here
            throw ModelDownloadError(ModelDownloadError::stalled);
        default:
            throw ModelDownloadError(headChecked ? ModelDownloadError::connectionLost
                                                 : ModelDownloadError::unreachable,
                                     reply->errorString());
        }
        if (total >= 0 && transfer.received != total) {
            // Qt may take a connection closed early for the end of the body.
            throw ModelDownloadError(
                ModelDownloadError::connectionLost,
                QCoreApplication::translate("QNetworkReply", "Connection closed"));
        }
        if (hash.result().toHex() != model.sha1) {
            partial.remove();
            throw ModelDownloadError(ModelDownloadError::checksumMismatch);
        }
        break;
    }

    // On disk before the name says it is complete.
    if (::fsync(partial.handle()) != 0) {
        throw ModelDownloadError(ModelDownloadError::writeFailed, qt_error_string(errno));
    }
    partial.close();
    QFile::remove(target);
    if (!partial.rename(target)) {
        throw ModelDownloadError(ModelDownloadError::writeFailed, partial.errorString());
    }
    co_return target;
}
