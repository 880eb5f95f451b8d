#pragma once

#include "dictationbackend.h"

#include <QLibrary>

// DictationBackend that loads the dictation module (libquenzal-dictation.so, beside the program
// in a build tree, else in the library folder it was installed to) at the first request and
// hands every request on to it. The module stays loaded for the rest of the run. Without the
// module, each request says that dictation is not part of this installation.
class ModuleDictationBackend final : public DictationBackend
{
public:
    std::unique_ptr<AudioRecorder> makeRecorder(QString *error) override;
    std::unique_ptr<SpeechRecognizer> makeRecognizer(const QString &modelPath,
                                                     QString *error) override;

    // Where the module is looked for, in order.
    static QStringList modulePaths();

private:
    DictationBackend *module(QString *error);

    QLibrary m_library;
    DictationBackend *m_module = nullptr;
};
