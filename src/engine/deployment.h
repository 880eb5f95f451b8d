#pragma once

#include <QByteArrayView>
#include <QString>
#include <QUrl>

// The deployment's configuration, fixed when the program is built (CMake cache variables
// QUENZAL_APP_ID, QUENZAL_DEEPSEEK_ENDPOINT, QUENZAL_BUILTIN_*). Linked into each program from
// the quenzal_deployment library, so a test program can be built with its own values.
namespace Deployment {

QString appId();
QString version();
QUrl deepSeekEndpoint();

// Built-in credentials, each byte XOR-ed with its key byte; empty when none was configured.
QByteArrayView deepSeekKeyBytes();
quint8 deepSeekKeyByte();
QByteArrayView telegramTokenBytes();
quint8 telegramTokenByte();

} // namespace Deployment
