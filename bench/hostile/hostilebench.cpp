// The engine under hostile conditions, measured on the real programs and the real keyring:
// - peak memory of quenzal-translate against a reply body that never ends (budget 64 MB);
// - entries kept when four quenzal-translate processes translate at once, 25 rounds;
// - time per translation while the keyring is frozen (SIGSTOP), six translations in one run;
// - a cache write that finds the lock taken by another process (budget: at most a second, the
//   file intact, the entry kept in memory).
// Prints the figures and the budgets; exits 1 when a budget is missed. Runs inside
// scripts/bench-hostile, which provides a private home.
#include "deepseekservice.h"
#include "endlesshttpserver.h"
#include "keychainhelper.h"
#include "keychainsecretstore.h"
#include "language.h"
#include "privatekeyring.h"
#include "testhttpserver.h"
#include "translationcache.h"
#include "translationservice.h"
#include "waitfortask.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

bool withinBudgets = true;

void report(const char *what, double value, const char *unit, double budget = 0)
{
    const bool ok = budget <= 0 || value <= budget;
    withinBudgets = withinBudgets && ok;
    if (budget > 0) {
        std::printf("%-58s %10.1f %-3s (budget %.0f %s)%s\n", what, value, unit, budget, unit,
                    ok ? "" : "  MISSED");
    } else {
        std::printf("%-58s %10.1f %s\n", what, value, unit);
    }
    std::fflush(stdout);
}

// Runs quenzal-translate with `proxy` as its HTTP proxy; its peak resident memory in KiB.
long peakOfRun(const QString &proxy, const QString &home)
{
    const QByteArray program = QByteArrayLiteral(QUENZAL_TRANSLATE);
    std::vector<QByteArray> environment;
    for (char **variable = environ; *variable; ++variable) {
        environment.emplace_back(*variable);
    }
    environment.push_back("http_proxy=" + proxy.toUtf8());
    environment.push_back("XDG_DATA_HOME=" + home.toUtf8());
    std::vector<char *> envp;
    for (QByteArray &variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    const char *argv[] = {program.constData(), "--from", "en", "--to", "de", "Hello", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    if (posix_spawn(&child, program.constData(), &actions, nullptr, const_cast<char *const *>(argv),
                    envp.data()) != 0) {
        return -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

void endlessBody(const QString &home)
{
    EndlessHttpServer endless;
    std::vector<long> peaks;
    for (int i = 0; i < 5; ++i) {
        peaks.push_back(peakOfRun(endless.url().toString(QUrl::RemovePath), home));
    }
    std::sort(peaks.begin(), peaks.end());
    report("endless body: peak resident memory of quenzal-translate, max of 5",
           double(peaks.back()) / 1024, "MB", 64);
}

void concurrentWriters(const QString &home)
{
    TestHttpServer server;
    QDir(home + QStringLiteral("/Quenzal")).removeRecursively();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("http_proxy"), server.url(QString()).toString());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home);
    int translations = 0;
    for (int round = 0; round < 25; ++round) {
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int w = 0; w < 4; ++w) {
            auto process = std::make_unique<QProcess>();
            process->setProcessEnvironment(environment);
            process->start(QStringLiteral(QUENZAL_TRANSLATE),
                           {QStringLiteral("--from"), QStringLiteral("en"), QStringLiteral("--to"),
                            QStringLiteral("de"), QStringLiteral("text %1-%2").arg(w).arg(round)});
            writers.push_back(std::move(process));
        }
        for (auto &writer : writers) {
            QSignalSpy finished(writer.get(), &QProcess::finished);
            if (writer->state() != QProcess::NotRunning) {
                finished.wait(60'000);
            }
            translations += writer->exitCode() == 0 ? 1 : 0;
        }
    }
    QFile file(home + QStringLiteral("/Quenzal/translations.json"));
    file.open(QIODevice::ReadOnly);
    const qsizetype kept = QJsonDocument::fromJson(file.readAll()).object().size();
    report("4 concurrent writers x 25 rounds: translations made", translations, "");
    report("4 concurrent writers x 25 rounds: entries kept in the file", double(kept), "");
    withinBudgets = withinBudgets && kept == translations;
}

void frozenKeyring()
{
    PrivateKeyring keyring;
    const QString error = keyring.start(PrivateKeyring::Collection::unlocked);
    if (!error.isEmpty()) {
        std::printf("frozen keyring: not measured (%s)\n", qPrintable(error));
        return;
    }
    TestHttpServer server;
    QTemporaryDir folder;
    TranslationCache cache(folder.path(), [](const QString &) {});
    KeychainHelper keychain(QStringLiteral("org.quenzal.Bench"),
                            std::make_shared<KeychainSecretStore>());
    waitForTask(keychain.save(QStringLiteral("sk-user"), KeychainHelper::deepSeekApiKeyName));
    DeepSeekService deepSeek(server.url(), [&keychain] {
        return keychain.credential(KeychainHelper::deepSeekApiKeyName, QString());
    });
    TranslationService service(cache, deepSeek);
    const Language en = *Language::find(Language::sourceLanguages(), QStringLiteral("en"));
    const Language de = *Language::find(Language::targetLanguages(), QStringLiteral("de"));
    keyring.freeze();
    for (int i = 0; i < 6; ++i) {
        QElapsedTimer timer;
        timer.start();
        waitForTask(service.translate(QStringLiteral("Hello %1").arg(i), en, de,
                                      TranslationStyle::standard));
        report(qPrintable(QStringLiteral("frozen keyring: translation %1").arg(i + 1)),
               double(timer.nsecsElapsed()) / 1e6, "ms",
               i == 0 ? double(KeychainSecretStore::defaultPatience.count()) + 1000 : 100);
    }
    keyring.thaw();
}

void heldLock()
{
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/translations.json");
    TranslationCache cache(folder.path(), [](const QString &) {});
    cache.set(QStringLiteral("k1"), QStringLiteral("Eins"));
    cache.waitForPendingWrites();
    QFile before(path);
    before.open(QIODevice::ReadOnly);
    const QByteArray written = before.readAll();
    // Another process's lock: a copy of this program holds it until it is stopped.
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--hold-lock"), path + QStringLiteral(".lock")});
    holder.waitForReadyRead(10'000);
    QElapsedTimer timer;
    timer.start();
    cache.set(QStringLiteral("k2"), QStringLiteral("Zwei"));
    cache.waitForPendingWrites();
    const double waited = double(timer.nsecsElapsed()) / 1e6;
    QFile after(path);
    after.open(QIODevice::ReadOnly);
    const bool intact = after.readAll() == written && cache.get(QStringLiteral("k2"));
    report("cache write with the lock held elsewhere: time to give up", waited, "ms", 1100);
    report("cache write with the lock held elsewhere: file intact, entry kept", intact ? 1 : 0, "");
    withinBudgets = withinBudgets && intact;
    holder.kill();
    holder.waitForFinished();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--hold-lock") {
        QLockFile lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.tryLock(10'000)) {
            return 1;
        }
        std::printf("locked\n");
        std::fflush(stdout);
        return app.exec();
    }
    QTemporaryDir home;
    endlessBody(home.path());
    concurrentWriters(home.path());
    heldLock();
    frozenKeyring();
    return withinBudgets ? 0 : 1;
}
