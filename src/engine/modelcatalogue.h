#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The speech models a user can download, each a file ggml-<name>.bin on the model host with a
// known SHA-1 and an approximate size (shown to the user, and a bound on what a download may
// bring). Tests make small catalogues of their own.
class ModelCatalogue
{
public:
    struct Model
    {
        QString name;    // e.g. "base"
        qint64 size = 0; // as listed, in bytes
        QByteArray sha1; // lower-case hex
        QString fileName() const { return ModelCatalogue::fileName(name); }
    };

    ModelCatalogue(QList<Model> models, QString defaultName);

    // The model's file, on the host and on disk.
    static QString fileName(const QString &name) { return QStringLiteral("ggml-%1.bin").arg(name); }

    // The multilingual models of the ggml model host; "base" is the default.
    static ModelCatalogue standard();

    const QList<Model> &models() const { return m_models; }
    // nullptr when there is no model of that name.
    const Model *find(const QString &name) const;
    const Model &defaultModel() const;

private:
    QList<Model> m_models;
    QString m_defaultName;
};
