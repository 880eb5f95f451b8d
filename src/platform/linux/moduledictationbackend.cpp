#include "moduledictationbackend.h"

#include "audiorecorder.h"
#include "speechrecognizer.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

const QString moduleName = QStringLiteral("libquenzal-dictation.so");

} // namespace

QStringList ModuleDictationBackend::modulePaths()
{
    return {QCoreApplication::applicationDirPath() + u'/' + moduleName,
            QStringLiteral(QUENZAL_DICTATION_MODULE_DIR) + u'/' + moduleName};
}

DictationBackend *ModuleDictationBackend::module(QString *error)
{
    if (m_module) {
        return m_module;
    }
    QString reason;
    for (const QString &path : modulePaths()) {
        if (!QFileInfo::exists(path)) {
            continue;
        }
        m_library.setFileName(path);
        using Entry = DictationBackend *(*)();
        if (auto entry = reinterpret_cast<Entry>(m_library.resolve("quenzalDictationBackend"))) {
            m_module = entry();
            return m_module;
        }
        reason = m_library.errorString();
        break;
    }
    if (error) {
        *error = reason.isEmpty()
                     ? QCoreApplication::translate("Dictation",
                                                   "Dictation is not part of this installation.")
                     : QCoreApplication::translate("Dictation", "Dictation could not be loaded: %1")
                           .arg(reason);
    }
    return nullptr;
}

std::unique_ptr<AudioRecorder> ModuleDictationBackend::makeRecorder(QString *error)
{
    DictationBackend *backend = module(error);
    return backend ? backend->makeRecorder(error) : nullptr;
}

std::unique_ptr<SpeechRecognizer> ModuleDictationBackend::makeRecognizer(const QString &modelPath,
                                                                         QString *error)
{
    DictationBackend *backend = module(error);
    return backend ? backend->makeRecognizer(modelPath, error) : nullptr;
}
