// Holds the tray program against a bare Qt tray icon (traybaseline) on one desktop, in
// alternating runs: exec to the icon shown in the tray, resident memory, Alt+Space to the
// popover's first paint, `quenzal --toggle` to that paint, CPU time while idle. Prints the medians,
// the ratios against the baseline and the budgets; exits 1 when a budget is missed, 2 when a figure
// could not be taken. Needs scripts/with-desktop (Xvfb, openbox, trayer), which
// scripts/bench-desktop provides.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using Microseconds = qint64;
constexpr Microseconds second = 1000000;

Microseconds now()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return Microseconds(time.tv_sec) * second + time.tv_nsec / 1000;
}

void sleepUntil(Microseconds deadline)
{
    const Microseconds left = deadline - now();
    if (left > 0) {
        const timespec time{time_t(left / second), long(left % second) * 1000};
        nanosleep(&time, nullptr);
    }
}

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "shellbench: %s\n", qPrintable(why));
    std::exit(2);
}

template <typename T> std::unique_ptr<T, decltype(&std::free)> owned(T *pointer)
{
    return {pointer, &std::free};
}

// --- The tray, watched from outside -------------------------------------------------------

struct Tray
{
    xcb_connection_t *x = nullptr;
    xcb_window_t panel = XCB_WINDOW_NONE; // trayer's panel, where the icons' sockets go
};

QByteArray wmClass(xcb_connection_t *x, xcb_window_t window)
{
    const auto reply = owned(xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr));
    return reply ? QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                              xcb_get_property_value_length(reply.get()))
                 : QByteArray();
}

xcb_window_t findPanel(xcb_connection_t *x, xcb_window_t parent)
{
    const auto tree = owned(xcb_query_tree_reply(x, xcb_query_tree(x, parent), nullptr));
    const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0;
    for (int i = 0; i < count; ++i) {
        const xcb_window_t child = xcb_query_tree_children(tree.get())[i];
        if (wmClass(x, child) == QByteArray("panel\0trayer\0", 13)) {
            return child;
        }
        if (const xcb_window_t found = findPanel(x, child)) {
            return found;
        }
    }
    return XCB_WINDOW_NONE;
}

void watchChildren(xcb_connection_t *x, xcb_window_t window)
{
    const quint32 mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);
}

// The next event, or none once `deadline` has passed.
xcb_generic_event_t *nextEvent(xcb_connection_t *x, Microseconds deadline)
{
    for (;;) {
        if (xcb_generic_event_t *event = xcb_poll_for_event(x)) {
            return event;
        }
        const Microseconds left = deadline - now();
        if (left <= 0 || xcb_connection_has_error(x)) {
            return nullptr;
        }
        pollfd descriptor{xcb_get_file_descriptor(x), POLLIN, 0};
        poll(&descriptor, 1, int(left / 1000) + 1);
    }
}

bool hasMappedChild(xcb_connection_t *x, xcb_window_t window)
{
    const auto tree = owned(xcb_query_tree_reply(x, xcb_query_tree(x, window), nullptr));
    const int count = tree ? xcb_query_tree_children_length(tree.get()) : 0;
    for (int i = 0; i < count; ++i) {
        const auto attributes = owned(xcb_get_window_attributes_reply(
            x, xcb_get_window_attributes(x, xcb_query_tree_children(tree.get())[i]), nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
            return true;
        }
    }
    return false;
}

// When the next icon shows in the tray, or 0 when none does before `deadline`. For every new
// icon trayer makes a socket window in its panel, moves the icon into it and maps it there.
Microseconds waitForNewIcon(const Tray &tray, Microseconds deadline)
{
    std::vector<xcb_window_t> sockets;
    while (const auto event = owned(nextEvent(tray.x, deadline))) {
        const int type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event.get());
            if (created->parent == tray.panel) {
                watchChildren(tray.x, created->window);
                sockets.push_back(created->window);
                // The icon may have gone in before the socket was watched.
                if (hasMappedChild(tray.x, created->window)) {
                    return now();
                }
            }
        } else if (type == XCB_MAP_NOTIFY) {
            const auto *mapped = reinterpret_cast<xcb_map_notify_event_t *>(event.get());
            if (std::find(sockets.cbegin(), sockets.cend(), mapped->event) != sockets.cend()) {
                return now();
            }
        }
    }
    return 0;
}

// --- The programs, watched from /proc and their logs -----------------------------------------

double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return NAN;
    }
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(status.readAll());
    return match.hasMatch() ? match.captured(1).toDouble() / 1024 : NAN;
}

// How many of Qt Multimedia and the PulseAudio client the program has mapped: they belong to
// dictation, whose module loads at the first dictation and never before.
double soundLibrariesMapped(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly)) {
        return NAN;
    }
    const QByteArray all = maps.readAll();
    return double(all.contains("/libQt6Multimedia.so") + all.contains("/libpulse.so"));
}

// utime + stime, in ms, with the kernel's tick (commonly 10 ms) as its resolution.
double cpuTicksMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return NAN;
    }
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces: state is the 3rd, utime the 14th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return NAN;
    }
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000 / double(sysconf(_SC_CLK_TCK));
}

// The same, from the process's CPU clock, to the nanosecond.
double cpuClockMs(qint64 pid)
{
    clockid_t clock{};
    timespec time{};
    if (clock_getcpuclockid(pid_t(pid), &clock) != 0 || clock_gettime(clock, &time) != 0) {
        return NAN;
    }
    return double(time.tv_sec) * 1000 + double(time.tv_nsec) / 1e6;
}

// The first "popover painted" after the last "shortcut" in the timing log, and the shortcut.
std::pair<Microseconds, Microseconds> shortcutAndPaint(const QString &logPath)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly)) {
        return {0, 0};
    }
    Microseconds shortcut = 0;
    Microseconds painted = 0;
    for (const QByteArray &line : log.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (line.startsWith("quenzal.timing: shortcut ")) {
            shortcut = words.last().toLongLong();
            painted = 0;
        } else if (line.startsWith("quenzal.timing: popover painted ") && shortcut && !painted) {
            painted = words.last().toLongLong();
        }
    }
    return {shortcut, painted};
}

// The first "popover painted" at or after `since` in the timing log, 0 when there is none yet.
Microseconds paintedSince(const QString &logPath, Microseconds since)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line.startsWith("quenzal.timing: popover painted ")) {
            const Microseconds painted = line.split(' ').last().toLongLong();
            if (painted >= since) {
                return painted;
            }
        }
    }
    return 0;
}

bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished() && process.exitCode() == 0;
}

// A home of its own for one start, with the timing log on.
QProcessEnvironment freshHome(const QTemporaryDir &home)
{
    for (const char *folder : {"data", "config", "cache", "state"}) {
        QDir(home.path()).mkdir(folder);
    }
    QDir(home.path()).mkdir("runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    for (const char *folder : {"data", "config", "cache", "state"}) {
        environment.insert("XDG_" + QString(folder).toUpper() + "_HOME", home.filePath(folder));
    }
    environment.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    environment.insert("QT_LOGGING_RULES", "quenzal.timing.debug=true");
    environment.insert("QT_FORCE_STDERR_LOGGING", "1");
    return environment;
}

// `process` set to start the program on `home`, its standard error into the home's log.
QProcessEnvironment prepare(QProcess &process, const QTemporaryDir &home)
{
    const QProcessEnvironment environment = freshHome(home);
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(home.filePath("stderr.log"));
    return environment;
}

// The whole `quenzal --toggle` that opens the popover: its start, the call to the running
// copy, the paint (ms).
double toggleToPaint(const QString &path, const QProcessEnvironment &environment,
                     const QString &logPath)
{
    const Microseconds asked = now();
    QProcess command;
    command.setProcessEnvironment(environment);
    command.start(path, {"--toggle"});
    if (!command.waitForFinished(5000) || command.exitCode() != 0) {
        fail("--toggle failed: " + command.readAllStandardError());
    }
    Microseconds shown = 0;
    for (const Microseconds deadline = now() + 5 * second; !shown && now() < deadline;) {
        sleepUntil(now() + 2000);
        shown = paintedSince(logPath, asked);
    }
    if (!shown) {
        fail("no \"popover painted\" after --toggle");
    }
    return double(shown - asked) / 1000;
}

// Alt+Shift+Space with text selected in another program (xclip, which answers at once): from
// the shortcut to the popover painted with the text in it (ms). Leaves the popover closed.
double selectionShortcutToPaint(const QString &logPath)
{
    if (!xdotool({"key", "alt+space"})) { // the popover is open: put it away first
        fail("xdotool failed");
    }
    QProcess owner;
    owner.start("xclip", {"-quiet", "-selection", "primary"});
    owner.write("Guten Morgen, wie geht es dir heute? Das Wetter ist schön.");
    owner.closeWriteChannel();
    sleepUntil(now() + second / 2);
    if (!xdotool({"key", "alt+shift+space"})) {
        fail("xdotool failed");
    }
    auto [shortcut, painted] = shortcutAndPaint(logPath);
    for (const Microseconds deadline = now() + 5 * second; !painted && now() < deadline;) {
        sleepUntil(now() + 2000);
        std::tie(shortcut, painted) = shortcutAndPaint(logPath);
    }
    if (!painted) {
        fail("no \"popover painted\" after Alt+Shift+Space");
    }
    sleepUntil(now() + second / 2);
    owner.kill();
    owner.waitForFinished();
    if (!xdotool({"key", "alt+space"})) {
        fail("xdotool failed");
    }
    sleepUntil(now() + second / 2);
    return double(painted - shortcut) / 1000;
}

// On any desktop, Wayland too: `quenzal --toggle` to the paint, `count` times, the popover
// closed again in between. Exits 1 over the budget.
int measureTogglesOnly(const QString &path, int count)
{
    QTemporaryDir home;
    QProcess process;
    const QProcessEnvironment environment = prepare(process, home);
    process.start(path, {});
    // Settled: its icon, its control on the bus and its shortcut are set up within that.
    sleepUntil(now() + 3 * second);
    std::vector<double> figures;
    for (int i = 0; i < count; ++i) {
        figures.push_back(toggleToPaint(path, environment, home.filePath("stderr.log")));
        sleepUntil(now() + second / 2);
        QProcess hide;
        hide.setProcessEnvironment(environment);
        hide.start(path, {"--hide"});
        hide.waitForFinished(5000);
        sleepUntil(now() + second / 2);
    }
    process.terminate();
    process.waitForFinished(5000);
    std::sort(figures.begin(), figures.end());
    const double middle = figures[figures.size() / 2];
    std::printf("quenzal --toggle to painted (ms), %d runs: median %.2f, min %.2f, max %.2f  "
                "budget <= 60  %s\n",
                count, middle, figures.front(), figures.back(), middle <= 60 ? "ok" : "MISSED");
    return middle <= 60 ? 0 : 1;
}

struct Program
{
    QString name;
    QString path;
    bool hasPopover = false;
};

enum Figure {
    startToTray,
    residentAtTwoSeconds,
    soundLibraries,
    residentAfterPopover,
    residentAfterClosing,
    shortcutToPaint,
    keyToPaint,
    commandToPaint,
    selectionToPaint,
    idleCpuClock,
    idleCpuTicks,
    idleCpuAfterPopover,
    figureCount
};
using Run = std::array<double, figureCount>; // NaN where a figure does not apply

// One start of `program` on a fresh home; with `idle` 0 only to the tray, to warm the caches.
Run measure(const Program &program, const Tray &tray, int idle)
{
    Run run;
    run.fill(NAN);
    QTemporaryDir home;
    QProcess process;
    const QProcessEnvironment environment = prepare(process, home);

    while (owned(xcb_poll_for_event(tray.x))) {
    }
    const Microseconds exec = now();
    process.start(program.path, {});
    if (!process.waitForStarted()) {
        fail(program.name + ": " + process.errorString());
    }
    const qint64 pid = process.processId();
    const Microseconds shown = waitForNewIcon(tray, exec + 20 * second);
    if (!shown) {
        fail(program.name + ": no icon showed in the tray within 20 s");
    }
    run[startToTray] = double(shown - exec) / 1000;
    if (idle > 0) {
        sleepUntil(exec + 2 * second);
        run[residentAtTwoSeconds] = residentMiB(pid);
        run[soundLibraries] = soundLibrariesMapped(pid);
        const double clockBefore = cpuClockMs(pid);
        const double ticksBefore = cpuTicksMs(pid);
        sleepUntil(exec + (2 + idle) * second);
        run[idleCpuClock] = cpuClockMs(pid) - clockBefore;
        run[idleCpuTicks] = cpuTicksMs(pid) - ticksBefore;
    }
    if (idle > 0 && program.hasPopover) {
        const Microseconds pressed = now();
        if (!xdotool({"key", "alt+space"})) {
            fail("xdotool failed");
        }
        auto [shortcut, painted] = shortcutAndPaint(home.filePath("stderr.log"));
        for (const Microseconds deadline = now() + 5 * second; !painted && now() < deadline;) {
            sleepUntil(now() + 2000);
            std::tie(shortcut, painted) = shortcutAndPaint(home.filePath("stderr.log"));
        }
        if (!painted) {
            fail(program.name + ": no \"shortcut\" and \"popover painted\" lines in its log");
        }
        run[shortcutToPaint] = double(painted - shortcut) / 1000;
        run[keyToPaint] = double(painted - pressed) / 1000;
        sleepUntil(now() + second);
        run[residentAfterPopover] = residentMiB(pid);
        // Closed again, it must go back to sleep: no caret blinking, no monitor left running.
        if (!xdotool({"key", "alt+space"})) {
            fail("xdotool failed");
        }
        sleepUntil(now() + second);
        run[residentAfterClosing] = residentMiB(pid);
        const double clockBefore = cpuClockMs(pid);
        sleepUntil(now() + idle * second);
        run[idleCpuAfterPopover] = cpuClockMs(pid) - clockBefore;
        run[commandToPaint] = toggleToPaint(program.path, environment, home.filePath("stderr.log"));
        run[selectionToPaint] = selectionShortcutToPaint(home.filePath("stderr.log"));
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
    return run;
}

QByteArray formatted(double value)
{
    return std::isnan(value) ? QByteArray("-") : QByteArray::number(value, 'f', 2);
}

double median(std::vector<double> values)
{
    std::erase_if(values, [](double value) { return std::isnan(value); });
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures the tray program against a bare Qt tray icon."));
    parser.addHelpOption();
    const QCommandLineOption runsOption("runs", "Full runs of each program (default 5).", "n", "5");
    const QCommandLineOption startsOption(
        "starts", "Further starts of each program, timed to the tray only (default 20).", "n",
        "20");
    const QCommandLineOption idleOption("idle", "Idle seconds measured (default 10).", "s", "10");
    const QCommandLineOption appOption("quenzal", "The tray program.", "path", QUENZAL_APP);
    const QCommandLineOption baselineOption("baseline", "The bare tray icon.", "path",
                                            TRAY_BASELINE);
    const QCommandLineOption togglesOption(
        "toggles-only",
        "Only `quenzal --toggle` to the paint, n times, on any desktop (Wayland too).", "n");
    parser.addOptions(
        {runsOption, startsOption, idleOption, appOption, baselineOption, togglesOption});
    parser.process(app);
    if (parser.isSet(togglesOption)) {
        return measureTogglesOnly(parser.value(appOption),
                                  std::max(1, parser.value(togglesOption).toInt()));
    }
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const int starts = std::max(0, parser.value(startsOption).toInt());
    const int idle = std::max(1, parser.value(idleOption).toInt());
    if (!qEnvironmentVariableIsSet("QUENZAL_TEST_DESKTOP")) {
        fail("needs the throwaway desktop of scripts/with-desktop; run scripts/bench-desktop");
    }

    Tray tray;
    tray.x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(tray.x)) {
        fail("cannot connect to the X server");
    }
    tray.panel = findPanel(tray.x, xcb_setup_roots_iterator(xcb_get_setup(tray.x)).data->root);
    if (!tray.panel) {
        fail("no trayer panel on this display");
    }
    watchChildren(tray.x, tray.panel);

    const std::vector<Program> programs{{"baseline", parser.value(baselineOption), false},
                                        {"Quenzal", parser.value(appOption), true}};
    std::map<QString, std::vector<Run>> results;
    for (const Program &program : programs) {
        measure(program, tray, 0);
    }
    // Alternating, so that whatever else the machine does weighs on both alike. A start takes
    // some tens of ms, as long as a passing hiccup of a busy machine: many of them steady the
    // median where a few full runs would not.
    for (int i = 0; i < starts; ++i) {
        for (const Program &program : programs) {
            results[program.name].push_back(measure(program, tray, 0));
        }
    }
    for (int i = 1; i <= runs; ++i) {
        for (const Program &program : programs) {
            const Run run = measure(program, tray, idle);
            results[program.name].push_back(run);
            std::fprintf(
                stderr,
                "run %d/%d %-8s tray %7.1f ms  rss %5.1f MiB  open %5.1f MiB  closed %5.1f MiB  "
                "shortcut->paint %5.2f ms  idle cpu %6.2f ms (ticks %3.0f ms, after "
                "popover %6.2f ms)\n",
                i, runs, qPrintable(program.name), run[startToTray], run[residentAtTwoSeconds],
                run[residentAfterPopover], run[residentAfterClosing], run[shortcutToPaint],
                run[idleCpuClock], run[idleCpuTicks], run[idleCpuAfterPopover]);
        }
    }
    const auto medianOf = [&](const QString &name, Figure figure) {
        std::vector<double> values;
        for (const Run &run : results[name]) {
            values.push_back(run[figure]);
        }
        return median(values);
    };

    struct Row
    {
        const char *label;
        Figure figure;
        Figure baselineFigure;
        double ratioLimit; // NaN: an absolute limit
        double limit;      // NaN: no budget
    };
    const QString idleLabel = QStringLiteral("idle CPU over %1 s").arg(idle);
    const QByteArray idleClock = (idleLabel + ", CPU clock (ms)").toUtf8();
    const QByteArray idleTicks = (idleLabel + ", utime+stime (ms)").toUtf8();
    const QByteArray idleAfter = (idleLabel + " after the popover (ms)").toUtf8();
    const Row rows[] = {
        {"exec to icon in the tray (ms)", startToTray, startToTray, 1.3, NAN},
        {"resident 2 s after start (MiB)", residentAtTwoSeconds, residentAtTwoSeconds, 1.5, NAN},
        {"sound libraries mapped at 2 s", soundLibraries, soundLibraries, NAN, 0},
        {"resident, popover open (MiB)", residentAfterPopover, residentAtTwoSeconds, NAN, NAN},
        {"resident, popover shown once (MiB)", residentAfterClosing, residentAtTwoSeconds, 1.5,
         NAN},
        {"shortcut to popover painted (ms)", shortcutToPaint, figureCount, NAN, 20},
        {"xdotool Alt+Space to painted (ms)", keyToPaint, figureCount, NAN, NAN},
        {"quenzal --toggle to painted (ms)", commandToPaint, figureCount, NAN, 60},
        {"Alt+Shift+Space, selection painted (ms)", selectionToPaint, figureCount, NAN, 30},
        {idleClock.constData(), idleCpuClock, idleCpuClock, NAN, 10},
        {idleTicks.constData(), idleCpuTicks, idleCpuTicks, NAN, 10},
        {idleAfter.constData(), idleCpuAfterPopover, idleCpuClock, NAN, 10},
    };
    std::printf("\nmedians of %d runs each (%d more starts for the tray); Quenzal %s\n\n", runs,
                starts, qPrintable(programs[1].path));
    std::printf("%-38s %10s %10s %7s  %-22s %s\n", "", "baseline", "Quenzal", "ratio", "budget",
                "");
    bool withinBudget = true;
    for (const Row &row : rows) {
        const double baseline =
            row.baselineFigure == figureCount ? NAN : medianOf("baseline", row.baselineFigure);
        const double quenzal = medianOf("Quenzal", row.figure);
        const double ratio = quenzal / baseline;
        QString budget;
        bool met = true;
        if (!std::isnan(row.ratioLimit)) {
            budget = QStringLiteral("<= %1 x baseline").arg(row.ratioLimit);
            met = ratio <= row.ratioLimit;
        } else if (!std::isnan(row.limit)) {
            budget = QStringLiteral("<= %1").arg(row.limit);
            met = quenzal <= row.limit;
        }
        withinBudget = withinBudget && met;
        std::printf("%-38s %10s %10s %7s  %-22s %s\n", row.label, formatted(baseline).constData(),
                    formatted(quenzal).constData(), formatted(ratio).constData(),
                    qPrintable(budget),
                    budget.isEmpty() ? ""
                    : met            ? "ok"
                                     : "MISSED");
    }
    xcb_disconnect(tray.x);
    return withinBudget ? 0 : 1;
}
