#pragma once

#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include <optional>

// The deployment's configuration, fixed when the program is built (CMake cache variables
// QUENZAL_APP_ID, QUENZAL_DEEPSEEK_ENDPOINT, QUENZAL_BUILTIN_*, QUENZAL_TELEGRAM_API_BASE,
// QUENZAL_REPORT_*, QUENZAL_WEBSITE_URL, QUENZAL_BUILD_NUMBER, QUENZAL_WHISPER_MODEL_BASE_URL).
// Linked into each program from the quenzal_deployment library, so a test program can be built with
// its own values.
namespace Deployment {

QString appId();
QString version();
QUrl deepSeekEndpoint();
// Empty when the build was given none.
QString buildNumber();

// Where problem reports go: the Bot API's base address, the chat (empty: reports are off) and
// the forum topic within it, if any.
QUrl telegramApiBase();
QString reportChatId();
std::optional<qint64> reportThreadId();

// The product's website; empty when there is none.
QUrl websiteUrl();

// Where the speech models are downloaded from: <base>/ggml-<model>.bin.
QUrl whisperModelBaseUrl();

// Built-in credentials, each byte XOR-ed with its key byte; empty when none was configured.
QByteArrayView deepSeekKeyBytes();
quint8 deepSeekKeyByte();
QByteArrayView telegramTokenBytes();
quint8 telegramTokenByte();

} // namespace Deployment
