#include "modelcatalogue.h"

using namespace Qt::StringLiterals;

ModelCatalogue::ModelCatalogue(QList<Model> models, QString defaultName)
    : m_models(std::move(models))
    , m_defaultName(std::move(defaultName))
{
    Q_ASSERT(find(m_defaultName));
}

ModelCatalogue ModelCatalogue::standard()
{
    constexpr qint64 mebibyte = 1024 * 1024;
    return ModelCatalogue(
        {
            {u"tiny"_s, 75 * mebibyte, "bd577a113a864445d4c299885e0cb97d4ba92b5f"},
            {u"base"_s, 142 * mebibyte, "465707469ff3a37a2b9b8d8f89f2f99de7299dac"},
            {u"small"_s, 466 * mebibyte, "55356645c2b361a969dfd0ef2c5a50d530afd8d5"},
            {u"large-v3-turbo-q5_0"_s, 547 * mebibyte, "e050f7970618a659205450ad97eb95a18d69c9ee"},
        },
        u"base"_s);
}

const ModelCatalogue::Model *ModelCatalogue::find(const QString &name) const
{
    for (const Model &model : m_models) {
        if (model.name == name) {
            return &model;
        }
    }
    return nullptr;
}

const ModelCatalogue::Model &ModelCatalogue::defaultModel() const
{
    return *find(m_defaultName);
}
